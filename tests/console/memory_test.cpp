#include <gtest/gtest.h>

#include "console_fixture.h"

using namespace h8;
using namespace h8test;

namespace {

using Dump = Session;

TEST_F(Dump, WithoutArgumentsDumpsSixteenBytesFromZeroThenContinues) {
  board.setMem(0, {0x41, 0x0A, 0xB1, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(run("DB"),
            "000000 41 0A B1 7F 00 00 00 00 00 00 00 00 00 00 00 00 A.\xB1\x7F............\n");
  EXPECT_EQ(board.requests, (std::vector<Bytes>{{MEM_READ, 0, 0, 0, 0, 16}}));
  EXPECT_EQ(run("").substr(0, 7), "000010 ");
}

TEST_F(Dump, TwentyBytesGiveAFullLineAndAPaddedOne) {
  for (int i = 0; i < 20; i++) board.setMem(0x3E8 + i, {uint8_t('a' + i)});
  EXPECT_EQ(run("DB 1000 20"),
            "0003E8 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 abcdefghijklmnop\n"
            "0003F8 71 72 73 74" +
                std::string(12 * 3, ' ') + " qrst\n");
  EXPECT_EQ(dbg->memory.dumpAddress, 1020u);
}

TEST_F(Dump, WordsAndLongsRoundDownAndPadToTheSameColumn) {
  board.setMem(0x100, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
  EXPECT_EQ(run("DW 0x101 6"),
            "000100 1234 5678 9ABC " + std::string(5 * 5, ' ') + ".4Vx\x9A\xBC\n");
}

TEST_F(Dump, SizeZeroSetsTheAddressAndPrintsNothingFromThenOn) {
  EXPECT_EQ(run("DL 0x103 0"), "");
  EXPECT_EQ(dbg->memory.dumpAddress, 0x103u);
  EXPECT_EQ(run("DL"), "");
  EXPECT_TRUE(board.requests.empty());
}

TEST_F(Dump, SizeIsTakenModulo65536ButTheAddressMovesByAll) {
  run("DB 0x2000 0x10001");
  EXPECT_EQ(board.requests, (std::vector<Bytes>{{MEM_READ, 0, 0, 0x20, 0x00, 1}}));
  EXPECT_EQ(dbg->memory.dumpAddress, 0x12001u);
}

TEST_F(Dump, PartialLastCellShowsOnlyWhatWasRead) {
  board.setMem(0x200, {0xAA, 0xBB, 0xCC});
  EXPECT_EQ(run("DL 0x200 3"), "000200 AABBCC?? " + std::string(3 * 9, ' ') + "\xAA\xBB\xCC\n");
}

TEST_F(Dump, BadArgumentsAndFailedReads) {
  EXPECT_EQ(run("DB zz"), "Invalid Address zz\n");
  EXPECT_EQ(run("DB 10 zz"), "Invalid size zz\n");
  EXPECT_EQ(dbg->memory.dumpAddress, 10u);  // the address taken before the bad size stays
  board.fail(Fault::Restart);
  EXPECT_EQ(run("DB 0 32"), "dumpMem:Error.Responce is not MEM_READ. 80\n");
  board.fail(Fault::BadEtx);
  EXPECT_EQ(run("DB 0 32"), "dumpMem:Error receivePacket()=-4\n");
}

using Write = Session;

TEST_F(Write, SingleCellsAreCutToTheUnitAndAligned) {
  EXPECT_EQ(run("WW 0xF801 5"), "");
  EXPECT_EQ(board.requests, (std::vector<Bytes>{{MEM_WRITE, 0, 0, 0xF8, 0, 2, 0, 5}}));
  EXPECT_EQ(dbg->memory.writeAddress, 0xF802u);
  EXPECT_EQ(run("WB 0xF900 0x1234"), "");
  EXPECT_EQ(board.mem(0xF900), 0x34);
  run("WL 0xFA00 0x11223344");
  EXPECT_EQ(board.requests.back(), (Bytes{MEM_WRITE, 0, 0, 0xFA, 0, 4, 0x11, 0x22, 0x33, 0x44}));
}

TEST_F(Write, ErrorsAndStatuses) {
  EXPECT_EQ(run("WB 0x10 zz"), "Invalid DATA zz\n");
  EXPECT_EQ(dbg->repeatLine, "");
  EXPECT_EQ(run("WL $"), "Invalid Address $\n");
  EXPECT_EQ(dbg->memory.writeAddress, 0xFFFFFFFFu);
  keys.line("");
  EXPECT_EQ(run("WL"), "FFFFFFFC:>");
  board.fail(Fault::WrongCode);
  EXPECT_EQ(run("WB 0 1"), "writeMemSingle():ProtocolError 126\n");
  EXPECT_EQ(dbg->memory.writeAddress, 0u);
  board.fail(Fault::BadEtx);
  EXPECT_EQ(run("WB 0 1"), "writeMemSingle():PacketError -4\n");
}

TEST_F(Write, InteractiveModeTakesPlainHexUntilAnEmptyLine) {
  keys.line("1 2 3");
  keys.line("10,ff");
  keys.line("");
  EXPECT_EQ(run("WB 0xF900"), "00F900:>00F903:>00F905:>");
  EXPECT_EQ(board.mem(0xF900), 1);
  EXPECT_EQ(board.mem(0xF902), 3);
  EXPECT_EQ(board.mem(0xF903), 0x10);
  EXPECT_EQ(board.mem(0xF904), 0xFF);
  EXPECT_EQ(dbg->memory.writeAddress, 0xF900u);  // the interactive write leaves the stored address
  EXPECT_EQ(dbg->repeatLine, "WB");
  EXPECT_EQ(keys.prompts, (std::vector<std::string>{"00F900:>", "00F903:>", "00F905:>"}));
}

TEST_F(Write, InteractiveWordsWithoutANumberAreSkippedAndOverlongLinesRefused) {
  keys.line("1 . 0x3");
  keys.line(std::string(256, '7'));
  keys.line("");
  EXPECT_EQ(run("WB 0xF900"),
            "00F900:>Invalid DATA .\n00F903:>"
            "Line too long (255 characters at most); nothing written\n00F903:>");
  EXPECT_EQ(board.requests.size(), 2u);
  EXPECT_EQ(board.mem(0xF902), 3);
}

}  // namespace

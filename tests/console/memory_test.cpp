#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "console_fixture.h"

using namespace h8;
using namespace h8test;

namespace {

using Memory = Session;

// Dumps and single writes in order, on exact bytes: what each prints, the dump or write address
// it leaves (a dump without an address goes on from there) and how many requests it sent.
TEST_F(Memory, DumpsAndSingleWritesOnExactBytes) {
  board.setMem(0, cat({{0x41, 0x0A, 0xB1, 0x7F, 0x20}, Bytes(27, 0)}));
  for (uint8_t i = 0; i < 20; i++) board.setMem(0x3E8 + i, {uint8_t('a' + i)});
  board.setMem(0x100, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
  board.setMem(0x200, {0xAA, 0xBB, 0xCC});
  board.setMem(0x2000, {'Z'});
  keys.line("");  // for the interactive WL
  const std::string zeros = "00 00 00 00 00 00 00 00 00 00 00 ", blanks(15 * 3, ' ');
  // clang-format off
  const std::tuple<const char*, std::optional<Fault>, std::string, uint32_t, size_t> rows[] = {
      {"DB", {}, "000000 41 0A B1 7F 20 " + zeros + "A.\xB1\x7F ...........\n", 0x10, 1},
      {"", {}, "000010 00 00 00 00 00 " + zeros + "................\n", 0x20, 1},
      {"DB 1000 20", {}, "0003E8 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 abcdefghijklmnop\n"
                         "0003F8 71 72 73 74" + std::string(12 * 3, ' ') + " qrst\n", 1020, 2},
      // Words and longs round the address down and pad to the same column.
      {"DW 0x101 6", {}, "000100 1234 5678 9ABC " + std::string(5 * 5, ' ') + ".4Vx\x9A\xBC\n",
       0x106, 1},
      {"DL 0x200 3", {}, "000200 AABBCC?? " + std::string(3 * 9, ' ') + "\xAA\xBB\xCC\n", 0x203, 1},
      {"DL 0x103 0", {}, "", 0x103, 0},  // size 0 sets the address and prints nothing from then on
      {"DL", {}, "", 0x103, 0},
      // The size is taken modulo 65,536, but the address moves by all of it.
      {"DB 0x2000 0x10001", {}, "002000 5A " + blanks + "Z\n", 0x12001, 1},
      {"DB zz", {}, "Invalid Address zz\n", 0x12001, 0},
      {"DB 10 zz", {}, "Invalid size zz\n", 10, 0},  // the address before the bad size stays
      {"DB 0 32", Fault::Restart, "dumpMem:Error.Responce is not MEM_READ. 80\n", 32, 1},
      {"DB 0 32", Fault::BadEtx, "dumpMem:Error receivePacket()=-4\n", 32, 1},
      {"DB 0 1", Fault::BadSum, "000000 41 " + blanks + "A\n", 1, 1},  // the SUM is not checked
      {"DB 0 4", Fault::Raw, "Error: short reply to MEM_READ (2 of 4 bytes)\n", 4, 1},
      // Single cells are cut to the unit and aligned.
      {"WW 0xF801 5", {}, "", 0xF802, 1},
      {"WL 0xFA00 0x11223344", {}, "", 0xFA04, 1},
      {"WB 0xF900 0x1234", {}, "", 0xF901, 1},
      // The flash refuses a write: said, and the address stays.
      {"WB 0x1000 0", {}, "writeMemSingle():Write refused by the board (status 0)\n", 0x1000, 1},
      {"WB 0x10 zz", {}, "Invalid DATA zz\n", 0x10, 0},
      {"WL $", {}, "Invalid Address $\n", 0xFFFFFFFF, 0},  // stored before it is checked
      {"WL", {}, "FFFFFFFC:>", 0xFFFFFFFC, 0},
      {"WB 0 1", Fault::WrongCode, "writeMemSingle():ProtocolError 126\n", 0, 1},
      {"WB 0 1", Fault::BadEtx, "writeMemSingle():PacketError -4\n", 0, 1},
  };
  // clang-format on
  for (const auto& [line, fault, printed, address, requests] : rows) {
    SCOPED_TRACE(line);
    if (fault) board.fail(*fault, frame(MEM_READ, {1, 2}));
    EXPECT_EQ(run(line), printed);
    EXPECT_EQ(line[0] == 'W' ? dbg->memory.writeAddress : dbg->memory.dumpAddress, address);
    EXPECT_EQ(board.requests.size(), requests);
  }
  for (auto [at, value] : {std::pair{0xF800, 0},
                           {0xF801, 5},
                           {0xF900, 0x34},
                           {0xFA00, 0x11},
                           {0xFA01, 0x22},
                           {0xFA02, 0x33},
                           {0xFA03, 0x44}})
    EXPECT_EQ(board.mem(at), value);
  board.textBeforeReply = "OK\r\n\x01";  // text before the reply is shown first
  EXPECT_EQ(run("DB 0 1"), "OK\r\n000000 41 " + blanks + "A\n");
}

// Plain hexadecimal words until an empty line; a word without a number skips its cell, an
// overlong line writes nothing.
TEST_F(Memory, InteractiveWriteTakesHexWordsUntilAnEmptyLine) {
  const std::string overlong(256, '7');
  for (const char* line : {"1 2 3", "10,ff", ". 0x3", overlong.c_str(), ""}) keys.line(line);
  EXPECT_EQ(run("WB 0xF900"),
            "00F900:>00F903:>00F905:>Invalid DATA .\n00F907:>"
            "Line too long (255 characters at most); nothing written\n00F907:>");
  EXPECT_EQ(board.requests.size(), 6u);
  for (auto [address, value] :
       {std::pair{0xF900, 1}, {0xF902, 3}, {0xF903, 0x10}, {0xF904, 0xFF}, {0xF906, 3}})
    EXPECT_EQ(board.mem(address), value);
  EXPECT_EQ(dbg->memory.writeAddress, 0xF900u);  // the interactive write leaves the stored address
  EXPECT_EQ(dbg->repeatLine, "WB");
  EXPECT_EQ(keys.prompts,
            (std::vector<std::string>{"00F900:>", "00F903:>", "00F905:>", "00F907:>", "00F907:>"}));
}

}  // namespace

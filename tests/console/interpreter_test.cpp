#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "console/help.h"
#include "console_fixture.h"

using namespace h8;
using namespace h8test;

namespace {

using Interpreter = Session;

// Words are split at blanks, commas, tabs and newlines; the command word ignores case, words
// past the second argument are ignored, and an empty line before any command is unknown.
TEST_F(Interpreter, CommandWordsIgnoreCaseAndSeparatorsMix) {
  EXPECT_EQ(splitWords(",,a, b\t\tc\n"), (std::vector<std::string>{"a", "b", "c"}));
  for (const char* line : {"", " ,\t", "dbx"}) EXPECT_EQ(run(line), "Unknown Command\n");
  board.setMem(0x100, {0x41});
  std::string a = run("db,256,1");
  EXPECT_EQ(run("Db\t256 1 extra words"), a);
  EXPECT_EQ(a.substr(0, 10), "000100 41 ");
}

// The repeat line each command leaves, in order: its own name after a dump, write or listing that
// went through, "r", "s" and "bs" for R, S and BS/BC, cleared by FE and by a failure, kept by the
// others.
TEST_F(Interpreter, RepeatLineFollowsTheCommandStatus) {
  // clang-format off
  for (auto [line, repeat] : {std::pair{"DB 0 4", "DB"}, {"DB nosuchsymbol", ""}, {"DW 0 2", "DW"},
           {"DL 0 4", "DL"}, {"WB 0xF800 1", "WB"}, {"WW zz", ""}, {"WL 0xF800 1", "WL"},
           {"DA 0 1", "DA"}, {"R er1 5", "r"}, {"HELP", "r"}, {"H", "r"}, {"XYZ", "r"}, {"FW", "r"},
           {"LO", "r"}, {"USR", "r"}, {"BS", "bs"}, {"FE", ""}, {"BC", "bs"}, {"S 0", "s"},
           {"S $", ""}})
    EXPECT_EQ((run(line), dbg->repeatLine), repeat) << line;
  // clang-format on
}

// Q prints nothing and ends the loop; so does the end of input. A line's trailing CR (a pasted
// line on a terminal whose output is a pipe) is no part of the command.
TEST_F(Interpreter, QuitOrTheEndOfInputEndsTheLoop) {
  dbg->commandLoop();
  EXPECT_EQ(out.take(), ">");
  board.setMem(0x1000, {0x41, 0x42, 0x43, 0x44});
  keys.line("DB 0x1000 4\r\r");
  keys.line("q\r");
  keys.line("db");
  dbg->commandLoop();
  EXPECT_EQ(out.text, ">001000 41 42 43 44 " + std::string(36, ' ') + "ABCD\n>");
  EXPECT_TRUE(dbg->quit);
}

TEST_F(Interpreter, OverlongLineIsRefusedWholeAndRunsNothing) {
  std::string line = "DB 0 1" + std::string(122, ' ');
  ASSERT_EQ(line.size(), 128u);
  EXPECT_EQ(run(line), "Command line too long (127 characters at most)\n");
  EXPECT_TRUE(board.sent.empty());
  board.setMem(0, {0});
  EXPECT_EQ(run(line.substr(0, 127)).substr(0, 10), "000000 00 ");  // 127 characters still run
}

TEST_F(Interpreter, BoardBytesAreEchoedAndAnUnaskedFrameRereadsTheVersion) {
  board.schedule(3, {'h', 'i', '\n'});
  Bytes restart = frame(RESTART);
  board.schedule(5, restart);
  keys.line("q", 10);
  dbg->commandLoop();
  std::string expected = ">hi\n" + std::string(restart.begin(), restart.end()) + "\n>";
  EXPECT_EQ(out.text, expected);
  EXPECT_EQ(board.codes(), (std::vector<uint8_t>{VERSION}));
}

TEST_F(Interpreter, HelpPrintsTheCodePage932Screen) {
  std::ifstream f(H8_SOURCE_DIR "/tests/console/help_cp932.bin", std::ios::binary);
  std::string expected((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_EQ(expected.size(), 1327u);
  EXPECT_EQ(run("h"), expected);
  EXPECT_EQ(run("HELP"), expected);
  EXPECT_EQ(helpLineCount, 26);
}

}  // namespace

#include <gtest/gtest.h>

#include <tuple>

#include "console_fixture.h"

using namespace h8;
using namespace h8test;

namespace {

// The listing line of a NOP at 0x1000 (zero bytes).
const std::string kNopLine =
    "001000 0000 " + std::string(20, ' ') + "NOP" + std::string(29, ' ') + "\n";

// ER0..ER6 = 0x11111111 times n, SP FF7C, CCR 85, PC 1000 on a NOP; a terminal that gives no
// keys unless the test types them.
struct Registers : Session {
  void SetUp() override {
    for (int i = 0; i < 7; i++) board.setReg(i, 0x11111111u * uint32_t(i));
    board.setReg(REG_SP, 0xFF7C), board.setReg(REG_CCR, 0x85), board.setReg(REG_PC, 0x1000);
    board.setMem(0x1000, Bytes(10, 0));
    keys.endOfInput = false;
  }
};

TEST_F(Registers, ShownWholeOrInPartsThenTheInstructionAtThePc) {
  EXPECT_EQ(run("R"),
            "ER0:00000000 ER1:11111111 ER2:22222222 ER3:33333333\n"
            "ER4:44444444 ER5:55555555 ER6:66666666 ER7:0000FF7C\n"
            "PC :00001000  CCR:I----Z-C\n" +
                kNopLine);
  std::vector<uint8_t> codes(11, REG_READ);
  codes.push_back(MEM_READ);
  EXPECT_EQ(board.codes(), codes);
  EXPECT_EQ(board.requests[8], (Bytes{REG_READ, REG_PC}));
  EXPECT_EQ(board.requests[9], (Bytes{REG_READ, REG_CCR}));
  EXPECT_EQ(dbg->repeatLine, "r");
  char flags[9];
  for (auto [ccr, letters] : {std::pair{0u, "--------"}, {0xFFu, "IiHUNZVC"}, {0x180u, "I-------"}})
    EXPECT_STREQ((RegisterCommands::ccrFlags(ccr, flags), flags), letters);
  board.setReg(1, 0xAABBCCDD);
  // clang-format off
  const char* parts[][2] = {{"R er1", "ER1 : AABBCCDD\n"}, {"R r1", "R1 : CCDD\n"},
      {"R e1", "E1 : AABB\n"}, {"R r1h", "R1H : CC\n"}, {"R r1l", "R1L : DD\n"},
      {"R sp", "SP : 0000FF7C\n"}, {"R er7", "  Invalid register name ER7\n"}};
  // clang-format on
  for (auto& [line, shown] : parts) EXPECT_EQ(run(line), shown);
  EXPECT_TRUE(board.requests.empty());  // the unknown name sent nothing
}

TEST_F(Registers, PartWritesMergeIntoTheWholeRegister) {
  const std::tuple<const char*, int, uint32_t> cases[] = {
      {"R R1H 0x12", 1, 0xAABB12DD},  {"R E1 0x1234", 1, 0x123412DD},
      {"R r1 0x5678", 1, 0x12345678}, {"R r0l 0x1FF", 0, 0x000000FF},
      {"R pc 0x2000", 9, 0x2000},
  };
  board.setReg(0, 0);
  board.setReg(1, 0xAABBCCDD);
  for (auto [line, selector, value] : cases) {
    run(line);
    EXPECT_EQ(board.reg(selector), value) << line;
  }
  EXPECT_EQ(board.requests, (std::vector<Bytes>{{REG_WRITE, 9, 0, 0, 0x20, 0}}));  // whole: no read
  run("R r1 0x5678");
  EXPECT_EQ(board.requests,
            (std::vector<Bytes>{{REG_READ, 1}, {REG_WRITE, 1, 0x12, 0x34, 0x56, 0x78}}));
  // The value is evaluated before the name is looked up; one that does not evaluate is refused.
  EXPECT_EQ(run("R XX @pc"), "  Invalid register name XX\n");
  EXPECT_EQ(board.requests, (std::vector<Bytes>{{REG_READ, 9}}));
  for (const char* line : {"R er2 $", "R pc 1+", "R XX 99999999999"}) {
    std::string value = std::string(line).substr(std::string(line).rfind(' ') + 1);
    EXPECT_EQ(run(line), "  Invalid register value " + value + "\n");
    EXPECT_TRUE(board.requests.empty()) << line;  // nothing read or written
  }
}

// BS, BC and DA in order: what each prints, the repeat line and the listing address it leaves.
// None of the breakpoint commands talks to the board.
TEST_F(Registers, BreakpointAndListingCommands) {
  board.setMem(0x400, {0x79, 0x00, 0x12, 0x34, 0x54, 0x70});
  const std::string da =
      "000400 7900 1234                MOV.W   #1234:16,R0             \n"
      "000404 5470                     RTS                             \n";
  // clang-format off
  const std::tuple<const char*, std::string, const char*, uint32_t> rows[] = {
      {"BS", "No breakpoint\n", "bs", 0}, {"BS 0x1002", "", "bs", 0},
      {"BS 0x1001", "Invalid Break Address 00001001\n", "bs", 0},
      {"BS qq", "Invalid Break Address qq\n", "bs", 0},
      {"BS 0x1003", "Invalid Break Address 00001003\n", "bs", 0},
      {"", "Break = 00001002\n", "bs", 0},
      {"BC", "Clear Breakpoint\n", "bs", 0}, {"", "No breakpoint\n", "bs", 0},
      {"BC", "Clear Breakpoint\n", "bs", 0},
      {"DA 0x400 0", "", "DA", 0x400}, {"DA 0x400 2", da, "DA", 0x406},
      {"DA xyz", "Invalid Address xyz\n", "", 0x406}, {"DA 0 xyz", "Invalid size xyz\n", "", 0},
  };
  // clang-format on
  for (const auto& [line, printed, repeat, address] : rows) {
    EXPECT_EQ(run(line), printed) << line;
    EXPECT_EQ(dbg->repeatLine, repeat) << line;
    EXPECT_EQ(dbg->listing.daAddress, address) << line;
    EXPECT_TRUE(line[0] == 'D' || board.sent.empty()) << line;
  }
}

// A lost line or an interrupted wait ends a listing at the line whose read failed, however many
// lines were asked for.
TEST_F(Registers, ListingEndsWhenTheLineIsLostOrTheWaitInterrupted) {
  const std::string nop = "000400" + kNopLine.substr(6);
  for (bool lost : {false, true}) {  // a lost line stays lost: last
    if (lost) board.hangLimit = 1;
    board.fail(Fault::Silence);
    if (!lost) board.callAt(50, [&] { EXPECT_TRUE(dbg->console.interrupt.request()); });
    const std::string shown = lost ? "readMem:Error receivePacket()=-1\n" + nop
                                   : nop + "Interrupted: gave up waiting for the board\n";
    EXPECT_EQ(run("DA 0x400 FFFFFFFF"), shown);
    EXPECT_EQ(board.codes(), (std::vector<uint8_t>{MEM_READ}));
    EXPECT_EQ(dbg->listing.daAddress, 0x402u);
    EXPECT_EQ(dbg->repeatLine, "");
  }
}

using Running = Registers;

// G sets the breakpoint or clears it, checks SP (its low 16 bits) against the stack window, runs
// and reports the stop with the registers and the PC line, then clears the breakpoint.
TEST_F(Running, GoReportsTheStopAndSetsTheRepeatLine) {
  run("BS 0x1000");
  board.core.stops.push_back(STOP_BREAK);
  std::string text = run("G");
  EXPECT_EQ(text.substr(0, 6), "Break\n");
  EXPECT_EQ(text.substr(text.size() - kNopLine.size()), kNopLine);  // registers, then the PC line
  EXPECT_EQ(std::vector<Bytes>(board.requests.begin(), board.requests.begin() + 3),
            (std::vector<Bytes>{{BREAK_WRITE, 0, 0, 0x10, 0}, {REG_READ, REG_SP}, {GO}}));
  EXPECT_EQ(board.codes().back(), BREAK_CLEAR);
  EXPECT_EQ(dbg->repeatLine, "s");
  run("BC");
  const std::tuple<uint32_t, int, const char*> rows[] = {
      // SP, stop (-1: none), first line
      // clang-format off
      {0xFF7C, STOP_ABORT, "Abort by User\n"}, {0xFF7C, 13, "Exception SLEEP\n"},
      {0xFF7C, 8, "Exception TRAP 0\n"}, {0xFF7C, 25, "Exception AD\n"},
      {0xFF7C, 40, "Exception vector 40\n"}, {0xF780, STOP_ABORT, "Abort by User\n"},
      {0x1234FF7C, STOP_ABORT, "Abort by User\n"},
      {0xFF7E, -1, "Not valid stack(FF7E). Can't set execution-address on Stack\n"},
      {0xF77E, -1, "Not valid stack(F77E). Can't set execution-address on Stack\n"},
      // clang-format on
  };
  for (auto [sp, stop, first] : rows) {
    board.setReg(REG_SP, sp);
    if (stop >= 0) board.core.stops.push_back(stop);
    text = run("G");
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), first);
    EXPECT_EQ(dbg->repeatLine, stop == STOP_ABORT ? "g" : "");
    if (stop < 0) {
      EXPECT_EQ(text, first);
      EXPECT_EQ(board.codes(), (std::vector<uint8_t>{BREAK_CLEAR, REG_READ, BREAK_CLEAR}));
    }
  }
}

TEST_F(Running, ProgramTextIsShownAndKeysAreForwarded) {
  board.core.text = "Hello\r\n\x7F\x80\x01!";
  keys.key('a');
  keys.key('b');
  board.schedule(5, frame(GO, {STOP_ABORT}));
  std::string text = run("G");
  EXPECT_EQ(text.substr(0, 22), "Hello\r\n\x7F!Abort by User");
  std::string sent(board.sent.begin(), board.sent.end());
  size_t go = sent.find(std::string("\x02\x02\x41", 3));
  ASSERT_NE(go, std::string::npos);
  EXPECT_EQ(sent.substr(go + 5, 2), "ab");
}

TEST_F(Running, EscapeRestartAndPipedInputEndOrKeepTheWait) {
  keys.key(27, 3);
  EXPECT_EQ(run("G"), "Unknown packet\n");
  EXPECT_EQ(dbg->repeatLine, "");
  EXPECT_EQ(board.codes().back(), BREAK_CLEAR);
  board.resetAt(2);  // the program left running is dropped
  EXPECT_EQ(run("G"), "Reset!\n");
  keys.isInteractive = false;  // a script's next line stays a command
  keys.line("r");
  board.core.stops.push_back(STOP_ABORT);
  EXPECT_EQ(run("G").substr(0, 14), "Abort by User\n");
  EXPECT_TRUE(keys.keysRead.size() == 1 && keys.keysRead[0] == 27);
}

TEST_F(Running, StepTakesCountedStepsAtThePc) {
  const std::string shown = run("R");  // each step shows the registers and the PC line
  board.core.stops = {STOP_BREAK, STOP_BREAK, STOP_BREAK};
  EXPECT_EQ(run("S 3"), shown + shown + shown);
  EXPECT_EQ(std::vector<Bytes>(board.requests.begin(), board.requests.begin() + 4),
            (std::vector<Bytes>{
                {REG_READ, 9}, {BREAK_WRITE, 0, 0, 0x10, 0}, {GO}, {BREAK_CLEAR, 0, 0, 0, 0}}));
  EXPECT_EQ(dbg->repeatLine, "s");
}

TEST_F(Running, StepFailures) {
  EXPECT_EQ(run("S 0"), "");
  EXPECT_TRUE(board.sent.empty());
  EXPECT_EQ(dbg->repeatLine, "s");
  EXPECT_EQ(run("S $"), "Invalid steps $\n");
  EXPECT_EQ(dbg->repeatLine, "");
  board.core.stops = {13};
  EXPECT_EQ(run("S"), "Return with Exception. code=13\n");
  board.schedule(2, frame(RESTART));
  EXPECT_EQ(run("S"), "Return with invalid responce. packet=80\n");
  EXPECT_EQ(dbg->repeatLine, "");
}

// Ctrl-C while a command waits for the board gives up that command with one line; the session
// goes on. At the prompt the key is not taken (it ends the program as it always has).
TEST_F(Registers, InterruptGivesUpTheWaitingCommandOnly) {
  // The command, a silent board or a program that never stops, the requests sent, the repeat.
  const std::tuple<const char*, bool, size_t, const char*> cases[] = {
      {"DB 0 32", true, 1, ""},
      {"R", true, 1, "r"},  // R's repeat line is always R
      {"G", false, 3, ""},  // BREAK_CLEAR, REG_READ SP, GO
  };
  for (auto [line, silent, requests, repeat] : cases) {
    SCOPED_TRACE(line);
    if (silent) board.fail(Fault::Silence);
    board.callAt(50, [&] { EXPECT_TRUE(dbg->console.interrupt.request()); });
    EXPECT_EQ(run(line), "Interrupted: gave up waiting for the board\n");
    EXPECT_EQ(board.requests.size(), requests);
    EXPECT_EQ(dbg->repeatLine, repeat);
    // The program goes on running on the board; the monitor answers again after the others.
    if (silent) {
      EXPECT_EQ(run("DB 0x1000 1"), "001000 00 " + std::string(45, ' ') + ".\n");
    }
  }
  EXPECT_FALSE(dbg->console.interrupt.request());
}

}  // namespace

#include "sim/monitor_server.h"

#include <gtest/gtest.h>

#include "common/bigendian.h"
#include "link/requests.h"
#include "sim_support.h"

using namespace h8;
using h8test::frame;
using simtest::Bytes;

namespace {

Bytes be32(uint32_t v) {
  Bytes b(4);
  store32(b.data(), v);
  return b;
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// A core that runs until told to stop, emitting text and reading keys on the way.
class ScriptedCore : public CpuCore {
 public:
  void start(Board&) override { starts++; }
  int run(Board& board, uint32_t budget) override {
    lastBudget = budget;
    slices++;
    for (char c : emit) board.sciOutput.push_back(uint8_t(c));
    emit.clear();
    return stopWith;
  }
  int stopWith = RUN_CONTINUES;
  std::string emit;
  int starts = 0;
  int slices = 0;
  uint32_t lastBudget = 0;
};

class MonitorServerTest : public ::testing::Test {
 protected:
  Bytes exchange(const Bytes& request) {
    for (uint8_t b : request) server.receive(b);
    return port.take();
  }
  void writeRam(uint32_t address, const Bytes& data) {
    for (size_t done = 0; done < data.size(); done += 16) {
      Bytes chunk(data.begin() + long(done), data.begin() + long(std::min(done + 16, data.size())));
      Bytes payload = cat({be32(address + uint32_t(done)), {uint8_t(chunk.size())}, chunk});
      ASSERT_EQ(exchange(frame(MEM_WRITE, payload)), frame(MEM_WRITE, {1}));
    }
  }
  Bytes flashBytes(uint32_t address, uint32_t count) {
    Bytes b;
    for (uint32_t i = 0; i < count; i++) b.push_back(board.read(address + i));
    return b;
  }

  Board board;
  PlaceholderCore placeholder;
  simtest::MemoryPort port;
  StringOutput log;
  MonitorServer server{board, placeholder, port, log};
};

class RunningServerTest : public MonitorServerTest {
 protected:
  ScriptedCore core;
  MonitorServer runner{board, core, port, log};
  Bytes send(const Bytes& bytes) {
    for (uint8_t b : bytes) runner.receive(b);
    return port.take();
  }
};

Bytes block(uint8_t seed) {
  Bytes b(128);
  for (size_t i = 0; i < b.size(); i++) b[i] = uint8_t(seed ^ (i * 5));
  return b;
}

}  // namespace

// --- identification and areas ---

TEST_F(MonitorServerTest, VersionIsOneZeroBuildOne) {
  EXPECT_EQ(exchange(frame(VERSION)), frame(VERSION, {1, 0, 1}));
}

TEST_F(MonitorServerTest, FlashProgAreaIsF780Size400) {
  EXPECT_EQ(exchange(frame(FLASH_PROG_AREA)),
            frame(FLASH_PROG_AREA, {0, 0, 0xF7, 0x80, 0, 0, 0x04, 0x00}));
}

TEST_F(MonitorServerTest, UserDataAreaIsFC00Size100) {
  EXPECT_EQ(exchange(frame(USER_DATA_AREA)),
            frame(USER_DATA_AREA, {0, 0, 0xFC, 0x00, 0, 0, 0x01, 0x00}));
}

TEST_F(MonitorServerTest, UnknownCodeIsNotAnswered) {
  EXPECT_EQ(exchange(frame(0x7E)), Bytes());
  EXPECT_EQ(exchange(frame(RESTART)), Bytes());
  EXPECT_EQ(exchange(frame(VERSION)), frame(VERSION, {1, 0, 1}));
}

TEST_F(MonitorServerTest, FrameWithBadSumIsIgnored) {
  Bytes bad = frame(VERSION);
  bad[3] ^= 1;
  EXPECT_EQ(exchange(bad), Bytes());
  EXPECT_FALSE(server.hostSpoke());
}

TEST_F(MonitorServerTest, TextOutsideFramesIsIgnoredWhileIdle) {
  EXPECT_EQ(exchange({'h', 'i', '\r'}), Bytes());
  EXPECT_TRUE(board.sciInput.empty());
  EXPECT_EQ(exchange(frame(VERSION)), frame(VERSION, {1, 0, 1}));
}

// --- memory ---

TEST_F(MonitorServerTest, MemReadReturnsTheMonitorVectors) {
  EXPECT_EQ(exchange(frame(MEM_READ, {0, 0, 0, 0, 4})), frame(MEM_READ, {0x01, 0x00, 0x02, 0x04}));
}

TEST_F(MonitorServerTest, MemReadOfErasedFlashAndHolesGivesFF) {
  EXPECT_EQ(exchange(frame(MEM_READ, {0, 0, 0x10, 0x00, 3})), frame(MEM_READ, {0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(exchange(frame(MEM_READ, {0, 0, 0x90, 0x00, 2})), frame(MEM_READ, {0xFF, 0xFF}));
}

TEST_F(MonitorServerTest, MemReadGivesAtMostSixteenBytes) {
  Bytes reply = exchange(frame(MEM_READ, {0, 0, 0x10, 0x00, 27}));
  EXPECT_EQ(reply, frame(MEM_READ, Bytes(16, 0xFF)));
  EXPECT_EQ(exchange(frame(MEM_READ, {0, 0, 0x10, 0x00, 0})), frame(MEM_READ));
}

TEST_F(MonitorServerTest, MemWriteToRamReadsBack) {
  EXPECT_EQ(exchange(frame(MEM_WRITE, {0, 0, 0xFC, 0x00, 3, 0xDE, 0xAD, 0x42})),
            frame(MEM_WRITE, {1}));
  EXPECT_EQ(exchange(frame(MEM_READ, {0, 0, 0xFB, 0xFF, 5})),
            frame(MEM_READ, {0x00, 0xDE, 0xAD, 0x42, 0x00}));
}

TEST_F(MonitorServerTest, MemWriteToIoRegisterIsAccepted) {
  EXPECT_EQ(exchange(frame(MEM_WRITE, {0, 0, 0xFF, 0xA9, 1, 0x40})), frame(MEM_WRITE, {1}));
  EXPECT_EQ(board.read(SCI3_BRR), 0x40);
}

TEST_F(MonitorServerTest, MemWriteToFlashAnswersNGAndChangesNothing) {
  EXPECT_EQ(exchange(frame(MEM_WRITE, {0, 0, 0x10, 0x00, 2, 0x00, 0x00})), frame(MEM_WRITE, {0}));
  EXPECT_EQ(board.read(0x1000), 0xFF);
  EXPECT_EQ(exchange(frame(MEM_WRITE, {0, 0, 0x00, 0x00, 1, 0x00})), frame(MEM_WRITE, {0}));
  EXPECT_EQ(board.read(0x0000), 0x01);
}

TEST_F(MonitorServerTest, MemWritePartlyOutsideRamWritesNothing) {
  EXPECT_EQ(exchange(frame(MEM_WRITE, {0, 0, 0xFF, 0xFF, 2, 0x11, 0x22})), frame(MEM_WRITE, {0}));
  EXPECT_EQ(board.read(0xFFFF), 0x00);
  EXPECT_EQ(exchange(frame(MEM_WRITE, {0, 1, 0xF7, 0x80, 1, 0x11})), frame(MEM_WRITE, {0}));
  EXPECT_EQ(board.read(0xF780), 0x00);
}

TEST_F(MonitorServerTest, MemWriteWithInconsistentCountAnswersNG) {
  // Count 3 with two data bytes, count 0, count 17.
  EXPECT_EQ(exchange(frame(MEM_WRITE, {0, 0, 0xFC, 0x00, 3, 0x11, 0x22})), frame(MEM_WRITE, {0}));
  EXPECT_EQ(exchange(frame(MEM_WRITE, {0, 0, 0xFC, 0x00, 0})), frame(MEM_WRITE, {0}));
  Bytes big = cat({be32(0xFC00), {17}, Bytes(17, 0x33)});
  EXPECT_EQ(exchange(frame(MEM_WRITE, big)), frame(MEM_WRITE, {0}));
  EXPECT_EQ(board.read(0xFC00), 0x00);
}

// --- registers ---

TEST_F(MonitorServerTest, RegistersReadTheirResetValues) {
  const uint32_t expected[10] = {0, 0, 0, 0, 0, 0, 0, 0xFF7C, 0x80, 0x1000};
  for (uint8_t r = 0; r < 10; r++) {
    EXPECT_EQ(exchange(frame(REG_READ, {r})), frame(REG_READ, be32(expected[r]))) << int(r);
  }
}

TEST_F(MonitorServerTest, RegWriteIsReadBack) {
  EXPECT_EQ(exchange(frame(REG_WRITE, cat({{3}, be32(0xCAFEF00D)}))), frame(REG_WRITE, {1}));
  EXPECT_EQ(exchange(frame(REG_READ, {3})), frame(REG_READ, be32(0xCAFEF00D)));
  EXPECT_EQ(exchange(frame(REG_WRITE, cat({{8}, be32(0x000001C4)}))), frame(REG_WRITE, {1}));
  EXPECT_EQ(exchange(frame(REG_READ, {8})), frame(REG_READ, be32(0xC4)));
}

TEST_F(MonitorServerTest, UnknownSelectorsFailQuietly) {
  EXPECT_EQ(exchange(frame(REG_WRITE, cat({{10}, be32(5)}))), frame(REG_WRITE, {0}));
  EXPECT_EQ(exchange(frame(REG_READ, {10})), frame(REG_READ, be32(0)));
  EXPECT_EQ(exchange(frame(REG_READ, {0xFF})), frame(REG_READ, be32(0)));
}

TEST_F(MonitorServerTest, RegWriteWithoutItsValueFails) {
  EXPECT_EQ(exchange(frame(REG_WRITE, {1, 0x12})), frame(REG_WRITE, {0}));
  EXPECT_EQ(board.reg(1), 0u);
}

// --- breakpoint ---

TEST_F(MonitorServerTest, BreakpointWriteReadClear) {
  EXPECT_EQ(exchange(frame(BREAK_READ, {0})), frame(BREAK_READ, be32(0)));
  EXPECT_EQ(exchange(frame(BREAK_WRITE, be32(0x1234))), frame(BREAK_WRITE));
  EXPECT_TRUE(board.breakpointSet);
  EXPECT_EQ(exchange(frame(BREAK_READ, {0})), frame(BREAK_READ, be32(0x1234)));
  EXPECT_EQ(exchange(frame(BREAK_CLEAR, be32(0x1234))), frame(BREAK_CLEAR));  // payload ignored
  EXPECT_FALSE(board.breakpointSet);
  EXPECT_EQ(exchange(frame(BREAK_READ, {0})), frame(BREAK_READ, be32(0)));
}

// --- GO with the placeholder core ---

TEST_F(MonitorServerTest, GoWithoutBreakpointStopsWithSleep) {
  EXPECT_EQ(exchange(frame(GO)), Bytes());
  EXPECT_TRUE(server.running());
  server.runSlice();
  EXPECT_EQ(port.take(), frame(GO, {13}));
  EXPECT_FALSE(server.running());
  EXPECT_EQ(board.reg(REG_PC), 0x1000u);
}

TEST_F(MonitorServerTest, GoWithBreakpointElsewhereStopsThere) {
  exchange(frame(BREAK_WRITE, be32(0x1234)));
  exchange(frame(GO));
  server.runSlice();
  EXPECT_EQ(port.take(), frame(GO, {12}));
  EXPECT_EQ(board.reg(REG_PC), 0x1234u);
}

TEST_F(MonitorServerTest, GoWithBreakpointAtPcStepsOneInstruction) {
  Bytes code(128, 0xFF);
  const uint8_t movl[] = {0x7A, 0x00, 0x12, 0x34, 0x56, 0x78};  // mov.l #H'12345678,er0
  std::copy(std::begin(movl), std::end(movl), code.begin());
  code[6] = 0x00;  // nop
  code[7] = 0x00;
  ASSERT_EQ(board.programBlock(0x1000, code.data()), FLASH_OK);
  exchange(frame(BREAK_WRITE, be32(0x1000)));
  exchange(frame(GO));
  server.runSlice();
  EXPECT_EQ(port.take(), frame(GO, {12}));
  EXPECT_EQ(board.reg(REG_PC), 0x1006u);
  exchange(frame(BREAK_WRITE, be32(0x1006)));
  exchange(frame(GO));
  server.runSlice();
  EXPECT_EQ(port.take(), frame(GO, {12}));
  EXPECT_EQ(board.reg(REG_PC), 0x1008u);
}

TEST_F(MonitorServerTest, SliceWhileStoppedSendsNothing) {
  server.runSlice();
  EXPECT_EQ(port.take(), Bytes());
}

// --- a running program (scripted core) ---

TEST_F(RunningServerTest, ProgramOutputGoesOutAsTextBeforeTheStopReport) {
  send(frame(GO));
  EXPECT_EQ(core.starts, 1);
  core.emit = "Hello\r\n";
  runner.runSlice(500);
  EXPECT_EQ(core.lastBudget, 500u);
  EXPECT_EQ(port.take(), Bytes({'H', 'e', 'l', 'l', 'o', '\r', '\n'}));
  EXPECT_TRUE(runner.running());
  core.emit = "!";
  core.stopWith = 8;
  runner.runSlice();
  EXPECT_EQ(port.take(), cat({{'!'}, frame(GO, {8})}));
  EXPECT_FALSE(runner.running());
}

TEST_F(RunningServerTest, KeysWhileRunningReachTheProgram) {
  send(frame(GO));
  EXPECT_EQ(send({'a', 'b', 0x1B}), Bytes());
  EXPECT_EQ(board.sciInput, std::deque<uint8_t>({'a', 'b', 0x1B}));
}

TEST_F(RunningServerTest, KeyThatLooksLikeStxIsStillAKey) {
  send(frame(GO));
  send({0x02, 0x05});  // STX and a plausible COUNT: held while they might be a frame
  EXPECT_TRUE(board.sciInput.empty());
  send({'x', 'y', 'z', 'w', 'v'});
  EXPECT_TRUE(board.sciInput.empty());
  send({0x00});  // no ETX where it belongs: a rejected frame
  EXPECT_EQ(board.sciInput, std::deque<uint8_t>({0x02, 0x05, 'x', 'y', 'z', 'w', 'v', 0x00}));
  send({0x02, 'A'});  // COUNT above 29: rejected at once
  EXPECT_EQ(board.sciInput.size(), 10u);
  EXPECT_EQ(board.sciInput.back(), 'A');
}

TEST_F(RunningServerTest, RequestsAreAnsweredWhileRunning) {
  send(frame(GO));
  EXPECT_EQ(send(cat({{'k'}, frame(REG_READ, {9})})), frame(REG_READ, be32(0x1000)));
  EXPECT_EQ(send(frame(BREAK_CLEAR, be32(0))), frame(BREAK_CLEAR));
  EXPECT_EQ(board.sciInput, std::deque<uint8_t>({'k'}));
  EXPECT_TRUE(runner.running());
}

TEST_F(RunningServerTest, GoWhileRunningIsIgnored) {
  send(frame(GO));
  EXPECT_EQ(send(frame(GO)), Bytes());
  EXPECT_EQ(core.starts, 1);
}

TEST_F(RunningServerTest, KeyQueueIsBounded) {
  send(frame(GO));
  for (size_t i = 0; i < KEY_QUEUE_MAX + 10; i++) runner.receive('k');
  EXPECT_EQ(board.sciInput.size(), KEY_QUEUE_MAX);
}

TEST_F(RunningServerTest, AbortStopsARunningProgramWithCodeSeven) {
  send(frame(GO));
  core.emit = "tail";
  runner.runSlice();
  port.take();
  runner.abort();
  EXPECT_EQ(port.take(), frame(GO, {7}));
  EXPECT_FALSE(runner.running());
  runner.abort();  // nothing runs: the switch does nothing
  EXPECT_EQ(port.take(), Bytes());
}

// --- reset ---

TEST_F(MonitorServerTest, ResetBeforeAnyHostSpokeSendsNothing) {
  exchange({'n', 'o', 'i', 's', 'e'});
  server.reset();
  EXPECT_EQ(port.take(), Bytes());
}

TEST_F(MonitorServerTest, ResetAfterAHostSpokeSendsRestart) {
  exchange(frame(VERSION));
  server.reset();
  EXPECT_EQ(port.take(), Bytes({0x02, 0x02, 0x50, 0xAE, 0x03}));
  server.reset();
  EXPECT_EQ(port.take(), frame(RESTART));
}

TEST_F(MonitorServerTest, ResetRestoresRegistersAndClearsTheBreakpoint) {
  exchange(frame(REG_WRITE, cat({{9}, be32(0x2000)})));
  exchange(frame(BREAK_WRITE, be32(0x2000)));
  server.reset();
  EXPECT_EQ(board.reg(REG_PC), 0x1000u);
  EXPECT_FALSE(board.breakpointSet);
}

TEST_F(MonitorServerTest, ResetDropsAHalfReceivedFrame) {
  Bytes version = frame(VERSION);
  exchange(Bytes(version.begin(), version.begin() + 3));
  server.reset();
  EXPECT_EQ(exchange(version), frame(VERSION, {1, 0, 1}));
}

TEST_F(RunningServerTest, ResetDropsARunningProgramWithoutAStopReport) {
  send(frame(GO));
  runner.reset();
  EXPECT_EQ(port.take(), frame(RESTART));
  EXPECT_FALSE(runner.running());
  runner.runSlice();
  EXPECT_EQ(core.slices, 0);
  EXPECT_EQ(port.take(), Bytes());
}

// --- flash ---

TEST_F(MonitorServerTest, FlashEraseOfBlockFourClearsTheUserArea) {
  board.programBlock(0x3000, Bytes(128, 0).data());
  EXPECT_EQ(exchange(frame(FLASH_ERASE, {4})), frame(FLASH_ERASE, {1}));
  EXPECT_EQ(board.read(0x3000), 0xFF);
}

TEST_F(MonitorServerTest, FlashEraseOfTheMonitorIsRefused) {
  EXPECT_EQ(exchange(frame(FLASH_ERASE, {0})), frame(FLASH_ERASE, {0}));
  EXPECT_EQ(exchange(frame(FLASH_ERASE)), frame(FLASH_ERASE, {0}));
  EXPECT_EQ(board.read(0x0000), 0x01);
}

TEST_F(MonitorServerTest, FlashWriteProgramsABlockFromRam) {
  Bytes data = block(0x5A);
  writeRam(0xFC00, data);
  EXPECT_EQ(exchange(frame(FLASH_WRITE, cat({be32(0xFC00), be32(0x1080)}))),
            frame(FLASH_WRITE, {1}));
  EXPECT_EQ(flashBytes(0x1080, 128), data);
  EXPECT_EQ(board.read(0x1100), 0xFF);
}

TEST_F(MonitorServerTest, FlashWriteOverProgrammedBitsAnswersNG) {
  writeRam(0xFC00, Bytes(128, 0x0F));
  exchange(frame(FLASH_WRITE, cat({be32(0xFC00), be32(0x7F80)})));
  writeRam(0xFC00, Bytes(128, 0xF1));
  EXPECT_EQ(exchange(frame(FLASH_WRITE, cat({be32(0xFC00), be32(0x7F80)}))),
            frame(FLASH_WRITE, {0}));
  EXPECT_EQ(flashBytes(0x7F80, 128), Bytes(128, 0x01));
}

TEST_F(MonitorServerTest, FlashWriteWithBadAddressesAnswersNG) {
  writeRam(0xFC00, Bytes(128, 0x00));
  const uint32_t bad[][2] = {{0xFC00, 0x0F80}, {0xFC00, 0x1040}, {0xFC00, 0x8000},
                             {0xFF01, 0x1000}, {0x1000, 0x2000}, {0xF700, 0x1000}};
  for (const auto& b : bad) {
    EXPECT_EQ(exchange(frame(FLASH_WRITE, cat({be32(b[0]), be32(b[1])}))), frame(FLASH_WRITE, {0}))
        << std::hex << b[0] << " " << b[1];
  }
  EXPECT_EQ(exchange(frame(FLASH_WRITE, be32(0xFC00))), frame(FLASH_WRITE, {0}));
  for (uint32_t a : {0x0F80u, 0x1000u, 0x1040u, 0x2000u}) EXPECT_EQ(board.read(a), 0xFF) << a;
}

TEST_F(MonitorServerTest, FlashChangesAreWrittenToTheFlashFile) {
  simtest::TempDir dir;
  server.flashPath = dir.file("flash.bin");
  writeRam(0xFC00, block(0x21));
  exchange(frame(FLASH_WRITE, cat({be32(0xFC00), be32(0x2000)})));
  Bytes file = simtest::readFile(server.flashPath);
  ASSERT_EQ(file.size(), FLASH_SIZE);
  EXPECT_EQ(Bytes(file.begin() + 0x2000, file.begin() + 0x2080), block(0x21));

  exchange(frame(FLASH_ERASE, {4}));
  file = simtest::readFile(server.flashPath);
  EXPECT_EQ(file[0x2000], 0xFF);

  // A program survives a restart of the simulator: a new board loads the file.
  writeRam(0xFC00, block(0x77));
  exchange(frame(FLASH_WRITE, cat({be32(0xFC00), be32(0x7F80)})));
  Board restarted;
  std::string error;
  ASSERT_TRUE(loadFlashImage(server.flashPath, restarted, error)) << error;
  for (uint32_t i = 0; i < 128; i++) EXPECT_EQ(restarted.read(0x7F80 + i), block(0x77)[i]);
}

TEST_F(MonitorServerTest, FailedFlashFileSaveIsLogged) {
  server.flashPath = "/nonexistent/dir/flash.bin";
  EXPECT_EQ(exchange(frame(FLASH_ERASE, {4})), frame(FLASH_ERASE, {1}));
  EXPECT_EQ(log.text, "h8sim: /nonexistent/dir/flash.bin.tmp: No such file or directory\n");
}

// --- logging ---

TEST_F(MonitorServerTest, QuietByDefault) {
  exchange(frame(VERSION));
  EXPECT_EQ(log.text, "");
}

TEST_F(MonitorServerTest, VerboseLogsRequestsAndReplies) {
  server.verbose = true;
  exchange(frame(REG_READ, {7}));
  exchange(frame(0x7E));
  EXPECT_EQ(log.text,
            "h8sim: > REG_READ 07\n"
            "h8sim: < REG_READ 00 00 FF 7C\n"
            "h8sim: > unknown request 7E, not answered\n");
}

#include "link/monitor.h"

#include <gtest/gtest.h>

#include "support/board_line.h"

using namespace h8;
using namespace h8test;

namespace {

struct MonitorTest : ::testing::Test {
  BoardLine board;
  StringOutput out;
  Link link{board, out};
  Monitor mon{link};
};

TEST_F(MonitorTest, FindRegIsCaseBlindAndUpperCasesInPlace) {
  std::string n = "er0";
  EXPECT_EQ(Monitor::findReg(n), 0);
  EXPECT_EQ(n, "ER0");
  std::string sp = "sp", er7 = "ER7", r1l = "r1l", e4 = "E4", pc = "Pc";
  EXPECT_EQ(Monitor::findReg(sp), 7);
  EXPECT_EQ(Monitor::findReg(er7), -1);
  EXPECT_EQ(Monitor::findReg(r1l), 0x401);
  EXPECT_EQ(Monitor::findReg(e4), 0x204);
  EXPECT_EQ(Monitor::findReg(pc), 9);
}

TEST_F(MonitorTest, ReadMemChunksBySixteen) {
  for (int i = 0; i < 40; i++) board.setMem(0x2000 + i, {uint8_t(i)});
  uint8_t buf[40] = {};
  EXPECT_TRUE(mon.readMem(0x2000, 40, buf));
  ASSERT_EQ(board.requests.size(), 3u);
  EXPECT_EQ(board.requests[0], (Bytes{0, 0, 0, 0x20, 0x00, 16}));
  EXPECT_EQ(board.requests[1], (Bytes{0, 0, 0, 0x20, 0x10, 16}));
  EXPECT_EQ(board.requests[2], (Bytes{0, 0, 0, 0x20, 0x20, 8}));
  EXPECT_EQ(buf[39], 39);
}

TEST_F(MonitorTest, ZeroOr65536BytesSendNothing) {
  uint8_t buf[1];
  mon.readMem(0, 0, buf);
  mon.readMem(0, 65536, buf);
  mon.writeMem(0, 65536, buf);
  EXPECT_TRUE(board.sent.empty());
}

TEST_F(MonitorTest, ReadMemTakesRestartAsWrongCodeWithoutHandshake) {
  board.fail(Fault::Restart);
  uint8_t buf[4];
  EXPECT_FALSE(mon.readMem(0, 4, buf));
  EXPECT_EQ(out.text, "readMem:Error.Responce is not MEM_READ. 80\n");
  EXPECT_EQ(board.codes(), (std::vector<uint8_t>{MEM_READ}));
}

TEST_F(MonitorTest, ReadMemReportsReceiveErrorAndStops) {
  board.fail(Fault::BadEtx);
  uint8_t buf[32] = {};
  EXPECT_FALSE(mon.readMem(0, 32, buf));
  EXPECT_EQ(out.text, "readMem:Error receivePacket()=-4\n");
  EXPECT_EQ(board.requests.size(), 1u);
}

TEST_F(MonitorTest, WriteMemChecksCodeAndStatus) {
  uint8_t data[20] = {1, 2, 3};
  EXPECT_TRUE(mon.writeMem(0xF800, 20, data));
  EXPECT_EQ(board.mem(0xF802), 3);
  ASSERT_EQ(board.requests.size(), 2u);
  EXPECT_EQ(board.requests[1].size(), 1u + 5 + 4);

  board.fail(Fault::StatusNG);
  EXPECT_FALSE(mon.writeMem(0xF800, 4, data));
  board.fail(Fault::WrongCode);
  EXPECT_FALSE(mon.writeMem(0xF800, 4, data));
  EXPECT_EQ(out.text,
            "writeMem:Error.Responce of MEM_WRITE =NG\n"
            "writeMem:Error.Responce is not MEM_WRITE. 126\n");
}

TEST_F(MonitorTest, RegistersTravelBySelector) {
  board.setReg(1, 0x12345678);
  EXPECT_EQ(mon.readReg(0x101), 0x12345678u);
  EXPECT_EQ(board.requests.back(), (Bytes{REG_READ, 1}));
  mon.writeReg(0x302, 0xAABBCCDD);
  EXPECT_EQ(board.reg(2), 0xAABBCCDDu);
  EXPECT_EQ(board.requests.back(), (Bytes{REG_WRITE, 2, 0xAA, 0xBB, 0xCC, 0xDD}));
  EXPECT_EQ(out.text, "");
}

TEST_F(MonitorTest, RegisterErrors) {
  board.fail(Fault::WrongCode);
  EXPECT_EQ(mon.readReg(0), 0xFFFFFFFFu);
  board.fail(Fault::Raw, frame(REG_WRITE, {2}));
  mon.writeReg(0, 1);  // status 2 is success
  board.fail(Fault::StatusNG);
  mon.writeReg(0, 1);
  board.fail(Fault::BadEtx);
  mon.writeReg(0, 1);
  EXPECT_EQ(out.text,
            "Error not valid packet at readReg()\n"
            "Error at write register\n"
            "Packet error at writeReg()\n");
}

TEST_F(MonitorTest, VersionAndAreas) {
  board.replies[VERSION] = {1, 2, 3};  // digits that show their order
  int a, b, c;
  EXPECT_EQ(mon.getVersion(a, b, c), 1);
  EXPECT_EQ(a * 100 + b * 10 + c, 123);
  uint32_t s, n;
  EXPECT_EQ(mon.getFlashProgArea(s, n), 1);
  EXPECT_EQ(s, 0xF780u);
  EXPECT_EQ(n, 0x400u);
  EXPECT_EQ(mon.getUserDataArea(s, n), 1);
  EXPECT_EQ(s, 0xFC00u);
}

TEST_F(MonitorTest, RestartDuringWaitResponseAsksVersionAgain) {
  board.fail(Fault::Restart);
  int a = 9, b = 9, c = 9;
  EXPECT_EQ(mon.getVersion(a, b, c), 0);
  EXPECT_EQ(a + b + c, 0);
  EXPECT_EQ(board.codes(), (std::vector<uint8_t>{VERSION, VERSION}));
  EXPECT_EQ(out.text, "Tareget board ReStarted\nError at getting Version\n");
}

TEST_F(MonitorTest, RestartHandshakeFailures) {
  board.fail(Fault::Restart);
  board.fail(Fault::WrongCode);
  EXPECT_EQ(mon.clearBreakpoint(), 0);
  board.fail(Fault::Restart);
  board.fail(Fault::BadEtx);
  uint32_t s, n;
  EXPECT_EQ(mon.getUserDataArea(s, n), 0);
  board.fail(Fault::WrongCode);
  EXPECT_EQ(mon.writeBreakpoint(0x1000), 0);
  board.fail(Fault::BadEtx);
  EXPECT_EQ(mon.readBreakpoint(), 0u);
  EXPECT_EQ(out.text,
            "Error. Target restarted but bad responce\nError at clear-Breakpoint\n"
            "Error. Target restarted but no responce\nError at getting User Data area.\n"
            "Error at write-Breakpoint\n"
            "Error waiting packet receive.\nError at read-Breakpoint\n");
}

TEST_F(MonitorTest, BreakpointRequestsCarryTheirPayloads) {
  EXPECT_EQ(mon.writeBreakpoint(0x1234), 1);
  EXPECT_EQ(mon.readBreakpoint(), 0x1234u);
  EXPECT_EQ(mon.clearBreakpoint(), 1);
  EXPECT_EQ(board.requests,
            (std::vector<Bytes>{
                {BREAK_WRITE, 0, 0, 0x12, 0x34}, {BREAK_READ, 0}, {BREAK_CLEAR, 0, 0, 0, 0}}));
}

}  // namespace

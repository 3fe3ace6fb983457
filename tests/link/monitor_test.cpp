#include "link/monitor.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/board_line.h"

using namespace h8;
using namespace h8test;

namespace {

struct MonitorTest : MonitorRig {
  // Runs the call that sends a request of `code`: its result, plus the outputs a failure zeroes.
  uint32_t call(uint8_t code) {
    uint8_t data[4] = {};
    uint32_t start = 9, size = 9;
    int major = 9, minor = 9, build = 9;
    switch (code) {  // clang-format off
      case MEM_WRITE: return mon.writeMem(0xF800, 4, data);
      case REG_READ: return mon.readReg(0);
      case REG_WRITE: return mon.writeReg(0, 1), 1;
      case VERSION: return mon.getVersion(major, minor, build) + major + minor + build;
      case USER_DATA_AREA: return mon.getUserDataArea(start, size) + start + size;
      case BREAK_READ: return mon.readBreakpoint();
      case BREAK_WRITE: return mon.writeBreakpoint(0x1000);
      default: return mon.clearBreakpoint();
    }  // clang-format on
  }
};

// The failures the console tests do not show: the faults on the replies to a request, what its
// call returns and prints. A RESTART brings one VERSION request, and no more.
TEST_F(MonitorTest, EachFailurePrintsItsLine) {
  const std::tuple<uint8_t, std::vector<Fault>, uint32_t, std::string> rows[] = {
      // clang-format off
      {MEM_WRITE, {Fault::WrongCode}, 0, "writeMem:Error.Responce is not MEM_WRITE. 126\n"},
      {MEM_WRITE, {Fault::StatusNG}, 0, "writeMem:Error.Responce of MEM_WRITE =NG\n"},  // status 2
      {REG_READ, {Fault::BadEtx}, 0xFFFFFFFF, "Packet error at readReg()\n"},
      {REG_WRITE, {Fault::Raw}, 1, ""},  // status 2 is success here
      {REG_WRITE, {Fault::StatusNG}, 1, "Error at write register\n"},
      {REG_WRITE, {Fault::BadEtx}, 1, "Packet error at writeReg()\n"},
      {REG_WRITE, {Fault::WrongCode}, 1, "Error not valid packet at writeReg()\n"},
      {VERSION, {Fault::Restart}, 0, "Tareget board ReStarted\nError at getting Version\n"},
      {BREAK_CLEAR, {Fault::Restart, Fault::WrongCode}, 0,
       "Error. Target restarted but bad responce\nError at clear-Breakpoint\n"},
      {USER_DATA_AREA, {Fault::Restart, Fault::BadEtx}, 0,
       "Error. Target restarted but no responce\nError at getting User Data area.\n"},
      {BREAK_WRITE, {Fault::WrongCode}, 0, "Error at write-Breakpoint\n"},
      {BREAK_READ, {Fault::BadEtx}, 0, "Error waiting packet receive.\nError at read-Breakpoint\n"},
      // clang-format on
  };
  for (const auto& [code, faults, result, printed] : rows) {
    SCOPED_TRACE(printed);
    board.clearLog();
    for (Fault f : faults) board.fail(f, frame(REG_WRITE, {2}));  // Raw: REG_WRITE's status 2
    EXPECT_EQ(call(code), result);
    EXPECT_EQ(out.take(), printed);
    std::vector<uint8_t> codes{code};
    if (faults[0] == Fault::Restart) codes.push_back(VERSION);
    EXPECT_EQ(board.codes(), codes);
  }
}

TEST_F(MonitorTest, MemoryMovesInChunksOfSixteenAndBreakpointRequestsCarryTheirPayloads) {
  uint8_t buffer[40] = {};
  for (uint8_t i = 0; i < 40; i++) buffer[i] = i;
  EXPECT_TRUE(mon.writeMem(0xF800, 40, buffer) && mon.readMem(0xF800, 40, buffer));
  EXPECT_TRUE(mon.readMem(0, 0, buffer) && mon.readMem(0, 65536, buffer));  // nothing sent
  EXPECT_TRUE(mon.writeMem(0, 65536, buffer));
  EXPECT_EQ(buffer[39], 39);
  EXPECT_EQ(mon.writeBreakpoint(0x1234) + mon.readBreakpoint() + mon.clearBreakpoint(), 0x1236u);
  std::vector<Bytes> sizes;
  for (const Bytes& r : board.requests) sizes.push_back({r[0], uint8_t(r.size()), r.back()});
  // Code, length and last byte of each request.
  // clang-format off
  EXPECT_EQ(sizes, (std::vector<Bytes>{{MEM_WRITE, 22, 15}, {MEM_WRITE, 22, 31},
                                       {MEM_WRITE, 14, 39}, {MEM_READ, 6, 16}, {MEM_READ, 6, 16},
                                       {MEM_READ, 6, 8}, {BREAK_WRITE, 5, 0x34}, {BREAK_READ, 2, 0},
                                       {BREAK_CLEAR, 5, 0}}));
  // clang-format on
  EXPECT_EQ(board.requests[5], (Bytes{MEM_READ, 0, 0, 0xF8, 0x20, 8}));
  EXPECT_EQ(board.requests[6], (Bytes{BREAK_WRITE, 0, 0, 0x12, 0x34}));
}

}  // namespace

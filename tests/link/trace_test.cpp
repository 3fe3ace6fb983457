#include "link/trace.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/board_line.h"

using namespace h8;
using namespace h8test;

namespace {

struct TraceTest : MonitorRig {
  StringOutput traced;
  LineTrace trace{traced};
  TraceTest() { link.trace = &trace; }

  // The trace's lines without their times, checked to have them.
  std::vector<std::string> lines() {
    trace.flush();
    std::vector<std::string> result;
    std::istringstream in(traced.take());
    for (std::string line; std::getline(in, line);) {
      EXPECT_EQ(line.find(" ms "), 10u) << line;
      result.push_back(line.substr(14));
    }
    return result;
  }
};

// One line per frame with its request's fields decoded, one per run of text, one per event; a
// sent line for every frame the board received.
TEST_F(TraceTest, EveryFrameAndEventIsOneDecodedLine) {
  uint8_t data[2] = {0xAB, 0xCD}, read[2];
  int major, minor, build;
  uint32_t start, size;
  board.setReg(REG_PC, 0x1234);
  board.setMem(0xF800, {1, 2});
  mon.getVersion(major, minor, build);
  mon.getUserDataArea(start, size);
  mon.readMem(0xF800, 2, read);
  mon.writeMem(0xF900, 2, data);
  mon.readReg(REG_PC);
  mon.writeReg(REG_CCR, 0x80);
  mon.writeBreakpoint(0x1000);
  board.textBeforeReply = "hi\n";
  mon.clearBreakpoint();
  board.core.stops = {STOP_BREAK};
  mon.go();
  uint8_t b;
  while (link.readAndFeed(&b) != FEED_COMPLETE) board.waitStep();
  board.fail(Fault::Silence);
  link.comTimeout = 3;
  mon.readReg(0);
  EXPECT_EQ(lines(), (std::vector<std::string>{
                         "> VERSION",
                         "< VERSION version 1.0 build 1",
                         "> USER_DATA_AREA",
                         "< USER_DATA_AREA start 0000FC00 size 00000100",
                         "> MEM_READ address 0000F800 length 2",
                         "< MEM_READ 2 bytes: 01 02",
                         "> MEM_WRITE address 0000F900 length 2 AB CD",
                         "< MEM_WRITE status 1",
                         "> REG_READ register PC",
                         "< REG_READ value 00001234",
                         "> REG_WRITE register CCR value 00000080",
                         "< REG_WRITE status 1",
                         "> BREAK_WRITE address 00001000",
                         "< BREAK_WRITE",
                         "> BREAK_CLEAR address 00000000",
                         "< text \"hi\\x0A\"",
                         "< BREAK_CLEAR",
                         "> GO",
                         "< GO stop code 12 (BREAK)",
                         "> REG_READ register ER0",
                         "! no frame: time-out",
                     }));
  EXPECT_EQ(board.requests.size(), 10u);
}

}  // namespace

#include "sim/monitor_server.h"

#include <gtest/gtest.h>

#include <tuple>

#include "common/target.h"
#include "support/board_line.h"

using namespace h8;
using namespace h8test;

namespace {

// Sends `bytes` to the monitor and returns what it sent back.
Bytes talk(BoardLine& line, const Bytes& bytes) {
  line.write(bytes.data(), int(bytes.size()));
  Bytes reply(line.available());
  line.read(reply.data(), int(reply.size()));
  return reply;
}

const Bytes OK = {1}, NG = {0}, ZERO = {0, 0, 0, 0};

// One host's requests in order (code, payload) with the exact reply payload; later rows read
// back the effects of earlier ones. RESTART, never a request, stands for the reset switch.
// clang-format off
const std::tuple<uint8_t, Bytes, Bytes> SCRIPT[] = {
    {MEM_READ, {0, 0, 0x10, 0, 27}, Bytes(16, 0xFF)},       // erased flash, 16 at most
    {MEM_READ, {0, 1, 0xF7, 0x80, 1}, {0xFF}},              // above 64 KiB
    {MEM_WRITE, {0, 0, 0xFC, 0, 3, 0xDE, 0xAD, 0x42}, OK},  // RAM
    {MEM_READ, {0, 0, 0xFB, 0xFF, 5}, {0, 0xDE, 0xAD, 0x42, 0}},
    {MEM_WRITE, {0, 0, 0xFF, 0xA8, 2, 0x5A, 0x5A}, OK},  // SCI3 SMR, BRR
    {MEM_WRITE, {0, 0, 0xFF, 0xFF, 2, 1, 1}, NG},        // I/O, then past 0xFFFF
    {MEM_WRITE, {0, 1, 0xF7, 0x80, 1, 1}, NG},           // RAM + 64 KiB
    {MEM_WRITE, {0, 0, 0x10, 0, 1, 0}, NG},              // flash: FLASH_WRITE only
    {MEM_WRITE, {0, 0, 0xFC, 0, 3, 1, 1}, NG},           // count above the data
    {MEM_WRITE, {0, 0, 0xFC, 0, 1, 1, 1}, NG},           // count below it
    {MEM_WRITE, cat({{0, 0, 0xFC, 0, 17}, Bytes(17, 1)}), NG},
    {MEM_READ, {0, 0, 0xFF, 0xFF, 1}, {0}},  // NG wrote nothing
    {REG_WRITE, {3, 0xCA, 0xFE, 0xF0, 0x0D}, OK}, {REG_READ, {3}, {0xCA, 0xFE, 0xF0, 0x0D}},
    {REG_WRITE, {8, 0, 0, 1, 0xC4}, OK}, {REG_READ, {8}, {0, 0, 0, 0xC4}},  // CCR keeps 8 bits
    {REG_WRITE, {9, 0xAB, 0x12, 0, 0}, OK}, {REG_READ, {9}, {0, 0x12, 0, 0}},  // PC keeps 24 bits
    {REG_WRITE, {9, 0, 0, 0x20, 0}, OK},
    {REG_WRITE, {10, 0, 0, 0, 5}, NG}, {REG_READ, {10}, ZERO},
    {REG_WRITE, {1, 0x12}, NG},                                            // value missing
    {MEM_WRITE, {0, 0, 0xFD, 0, 6, 0x7A, 0, 0x12, 0x34, 0x56, 0x78}, OK},  // mov.l #x,er0; nops
    {FLASH_WRITE, {0, 0, 0xFD, 0, 0, 0, 0x20, 0}, OK},
    {MEM_READ, {0, 0, 0x20, 0, 7}, {0x7A, 0, 0x12, 0x34, 0x56, 0x78, 0}},
    {MEM_READ, {0, 0, 0x20, 0x7F, 2}, {0, 0xFF}},  // 128 bytes exactly
    // The placeholder core: a breakpoint at the PC stops one instruction on, one elsewhere at
    // itself; without one the program sleeps where it is.
    {BREAK_WRITE, {0, 0, 0x20, 0}, {}}, {GO, {}, {STOP_BREAK}}, {REG_READ, {9}, {0, 0, 0x20, 6}},
    {BREAK_CLEAR, ZERO, {}}, {GO, {}, {STOP_SLEEP}}, {REG_READ, {9}, {0, 0, 0x20, 6}},
    {BREAK_WRITE, {0, 0, 0x20, 0x10}, {}}, {GO, {}, {STOP_BREAK}},
    {REG_READ, {9}, {0, 0, 0x20, 0x10}},
    {BREAK_READ, {0}, {0, 0, 0x20, 0x10}},
    {RESTART, {}, {}},  // registers and I/O to their reset values, breakpoint cleared
    {REG_READ, {3}, ZERO}, {REG_READ, {7}, {0, 0, 0xFF, 0x7C}}, {REG_READ, {8}, {0, 0, 0, 0x80}},
    {REG_READ, {9}, {0, 0, 0x10, 0}}, {BREAK_READ, {0}, ZERO},
    {MEM_READ, {0, 0, 0xFF, 0xA8, 6}, {0, MONITOR_BRR, SCR3_TE | SCR3_RE, 0xFF, 0x84, 0}},
    {MEM_READ, {0, 0, 0xFC, 0, 1}, {0xDE}},  // RAM kept
    {MEM_WRITE, {0, 0, 0xFD, 0, 1, 0x85}, OK},
    {FLASH_WRITE, {0, 0, 0xFD, 0, 0, 0, 0x20, 0}, NG},     // needs ones the flash lacks
    {MEM_READ, {0, 0, 0x20, 0, 1}, {0x7A & 0x85}},         // bits cleared all the same
    {FLASH_WRITE, {0, 0, 0xFD, 0, 0, 0, 0x7F, 0x80}, OK},  // the last block
    {FLASH_ERASE, {3}, NG}, {FLASH_ERASE, {4}, OK}, {MEM_READ, {0, 0, 0x7F, 0x80, 1}, {0xFF}},
    {MEM_READ, {0, 0, 0, 0, 2}, {1, 0}},                   // the monitor is kept
    {FLASH_WRITE, {0, 0, 0xFD, 0, 0, 0, 0x0F, 0x80}, NG},  // into the monitor
    {FLASH_WRITE, {0, 0, 0xFD, 0, 0, 0, 0x10, 0x08}, NG},  // unaligned
    {FLASH_WRITE, {0, 0, 0xFD, 0, 0, 0, 0x80, 0}, NG},     // past the flash
    {FLASH_WRITE, {0, 0, 0xFF, 1, 0, 0, 0x10, 0}, NG},     // RAM, then I/O
    {FLASH_WRITE, {0, 0, 0xF7, 0, 0, 0, 0x10, 0}, NG},     // I/O
    {FLASH_WRITE, {0, 0, 0xFD, 0}, NG},
};
// clang-format on

}  // namespace

TEST(MonitorServer, EveryRequestGetsItsExactReply) {
  PlaceholderCore placeholder;
  BoardLine line(&placeholder);
  std::vector<std::chrono::microseconds> held;
  line.server.flashTimes = FLASH_TIMES_TYPICAL;
  line.server.holdReply = [&held](std::chrono::microseconds d) { held.push_back(d); };
  const uint8_t two[] = {1, 1};
  EXPECT_FALSE(line.board.place(
      0xFFFF, two, 2));  // 0x10000 is unmapped: nothing placed, as a read of 0xFFFF below shows
  for (const auto& [code, request, reply] : SCRIPT) {
    if (code == RESTART) line.server.reset();
    EXPECT_EQ(talk(line, code == RESTART ? Bytes() : frame(code, request)), frame(code, reply))
        << "request " << testing::PrintToString(request);
  }
  // The part's times hold the replies to the two programs and the erase that were done.
  using std::chrono::milliseconds;
  EXPECT_EQ(held, (std::vector<std::chrono::microseconds>{milliseconds(7), milliseconds(7),
                                                          milliseconds(100)}));
}

TEST(MonitorServer, ResetSendsRestartOnlyAfterAHostSpokeAndDropsAHalfFrame) {
  BoardLine line;
  // Noise, a bad SUM and half a frame: nobody has spoken yet.
  EXPECT_EQ(talk(line, {'n', 0x02, 0x02, VERSION, 0xED, 0x03, 0x02, 0x02, VERSION}), Bytes());
  line.server.reset();
  // 7E is no request: it gets no reply.
  EXPECT_EQ(talk(line, cat({frame(VERSION), frame(0x7E)})), frame(VERSION, {1, 0, 1}));
  line.server.reset();
  EXPECT_EQ(talk(line, {}), Bytes({0x02, 0x02, 0x50, 0xAE, 0x03}));
}

TEST(MonitorServer, RunningProgramTakesKeysBetweenAnsweredRequests) {
  BoardLine line;
  std::deque<uint8_t>& keys = line.board.sciInput;
  line.core.text = "S";  // once: the second GO is ignored while the program runs
  EXPECT_EQ(talk(line, cat({frame(GO), frame(GO)})), Bytes({'S'}));
  line.board.sciOutput = {'H', 'i'};
  EXPECT_EQ(talk(line, cat({{'k'}, frame(REG_READ, {9})})),
            cat({frame(REG_READ, {0, 0, 0x10, 0}), {'H', 'i'}}));
  // STX and a plausible COUNT are held while they might start a frame; a missing ETX
  // rejects it and every held byte is a key; COUNT above 29 rejects at once.
  talk(line, {0x02, 0x05, 'x', 'y', 'z', 'w', 'v'});
  EXPECT_EQ(keys, std::deque<uint8_t>({'k'}));
  talk(line, {0x00, 0x02, 'A'});
  EXPECT_EQ(keys, std::deque<uint8_t>({'k', 0x02, 0x05, 'x', 'y', 'z', 'w', 'v', 0x00, 0x02, 'A'}));
  talk(line, Bytes(KEY_QUEUE_MAX, 'k'));
  EXPECT_EQ(keys.size(), KEY_QUEUE_MAX);
  line.board.sciOutput = {'!'};
  line.core.stops = {8};
  EXPECT_EQ(talk(line, {}), cat({{'!'}, frame(GO, {8})}));
  line.core.text = "";
  talk(line, frame(GO));
  line.server.abort();
  EXPECT_EQ(talk(line, {}), frame(GO, {STOP_ABORT}));
  line.server.abort();  // nothing runs: the switch sends nothing
  EXPECT_EQ(talk(line, frame(GO)), Bytes());
  line.board.sciOutput = {'x'};
  line.server.reset();  // drops the program and its output without a stop report
  EXPECT_EQ(talk(line, {}), frame(RESTART));
}

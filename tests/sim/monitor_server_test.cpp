#include "sim/monitor_server.h"

#include <gtest/gtest.h>

#include "common/target.h"
#include "support/fake_board.h"

using namespace h8;
using h8test::Bytes;
using h8test::frame;

namespace {

Bytes cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A core that runs until told to stop, emitting text on the way.
struct ScriptedCore : CpuCore {
  void start(Board&) override { starts++; }
  int run(Board& board, uint32_t) override {
    board.sciOutput.insert(board.sciOutput.end(), emit.begin(), emit.end());
    emit.clear();
    return std::exchange(stopWith, RUN_CONTINUES);
  }
  int stopWith = RUN_CONTINUES, starts = 0;
  std::string emit;
};

// A board whose monitor runs `core` (or the placeholder), seen from the host's end of the line.
struct Rig : SerialPort {
  explicit Rig(CpuCore* core = nullptr) : server{board, core ? *core : placeholder, *this, log} {}
  bool open(const std::string&, long) override { return true; }
  int close() override { return 1; }
  int write(const uint8_t* data, int n) override {
    sent.insert(sent.end(), data, data + n);
    return n;
  }
  int read(uint8_t*, int) override { return 0; }
  unsigned available() override { return 0; }
  void waitStep() override {}
  // Feeds bytes to the monitor, lets it run one slice and returns what it sent.
  Bytes exchange(const Bytes& bytes) {
    for (uint8_t b : bytes) server.receive(b);
    server.runSlice(500);
    return std::exchange(sent, {});
  }
  Board board;
  PlaceholderCore placeholder;
  StringOutput log;
  Bytes sent;
  MonitorServer server;
};

const Bytes OK = {1}, NG = {0}, ZERO = {0, 0, 0, 0};

// One host's requests in order (code, payload) with the exact reply payload; later rows read
// back the effects of earlier ones. RESTART, never a request, stands for the reset switch.
struct ScriptedExchange {
  uint8_t code;
  Bytes request, reply;
};
const ScriptedExchange SCRIPT[] = {
    {MEM_READ, {0, 0, 0x10, 0, 27}, Bytes(16, 0xFF)},       // erased flash, 16 at most
    {MEM_READ, {0, 1, 0xF7, 0x80, 1}, {0xFF}},              // above 64 KiB
    {MEM_WRITE, {0, 0, 0xFC, 0, 3, 0xDE, 0xAD, 0x42}, OK},  // RAM
    {MEM_READ, {0, 0, 0xFB, 0xFF, 5}, {0, 0xDE, 0xAD, 0x42, 0}},
    {MEM_WRITE, {0, 0, 0xFF, 0xA8, 2, 0x5A, 0x5A}, OK},  // SCI3 SMR, BRR
    {MEM_WRITE, {0, 0, 0xFF, 0xFF, 2, 1, 1}, NG},        // I/O, then past 0xFFFF
    {MEM_WRITE, {0, 1, 0xF7, 0x80, 1, 1}, NG},           // RAM + 64 KiB
    {MEM_WRITE, {0, 0, 0xFC, 0, 3, 1, 1}, NG},           // count above the data
    {MEM_WRITE, cat({0, 0, 0xFC, 0, 17}, Bytes(17, 1)), NG},
    {MEM_READ, {0, 0, 0xFF, 0xFF, 1}, {0}},  // NG wrote nothing
    {REG_WRITE, {3, 0xCA, 0xFE, 0xF0, 0x0D}, OK},
    {REG_READ, {3}, {0xCA, 0xFE, 0xF0, 0x0D}},
    {REG_WRITE, {8, 0, 0, 1, 0xC4}, OK},  // CCR keeps 8 bits
    {REG_READ, {8}, {0, 0, 0, 0xC4}},
    {REG_WRITE, {9, 0xAB, 0, 0x20, 0}, OK},  // PC keeps 24 bits
    {REG_READ, {9}, {0, 0, 0x20, 0}},
    {REG_WRITE, {10, 0, 0, 0, 5}, NG},
    {REG_READ, {10}, ZERO},
    {REG_WRITE, {1, 0x12}, NG},                                            // value missing
    {MEM_WRITE, {0, 0, 0xFD, 0, 6, 0x7A, 0, 0x12, 0x34, 0x56, 0x78}, OK},  // mov.l #x,er0; nops
    {FLASH_WRITE, {0, 0, 0xFD, 0, 0, 0, 0x20, 0}, OK},
    {MEM_READ, {0, 0, 0x20, 0, 7}, {0x7A, 0, 0x12, 0x34, 0x56, 0x78, 0}},
    {MEM_READ, {0, 0, 0x20, 0x7F, 2}, {0, 0xFF}},  // 128 bytes exactly
    {BREAK_WRITE, {0, 0, 0x20, 0}, {}},
    {GO, {}, {12}},  // breakpoint at the PC: one instruction on
    {REG_READ, {9}, {0, 0, 0x20, 6}},
    {BREAK_READ, {0}, {0, 0, 0x20, 0}},
    {RESTART, {}, {}},  // registers and I/O to their reset values, breakpoint cleared
    {REG_READ, {3}, ZERO},
    {REG_READ, {8}, {0, 0, 0, 0x80}},
    {BREAK_READ, {0}, ZERO},
    {MEM_READ, {0, 0, 0xFF, 0xA8, 6}, {0, MONITOR_BRR, SCR3_TE | SCR3_RE, 0xFF, 0x84, 0}},
    {MEM_READ, {0, 0, 0xFC, 0, 1}, {0xDE}},  // RAM kept
    {MEM_WRITE, {0, 0, 0xFD, 0, 1, 0x85}, OK},
    {FLASH_WRITE, {0, 0, 0xFD, 0, 0, 0, 0x20, 0}, NG},     // needs ones the flash lacks
    {MEM_READ, {0, 0, 0x20, 0, 1}, {0x7A & 0x85}},         // bits cleared all the same
    {FLASH_WRITE, {0, 0, 0xFD, 0, 0, 0, 0x7F, 0x80}, OK},  // the last block
    {FLASH_ERASE, {0}, NG},
    {FLASH_ERASE, {4}, OK},
    {MEM_READ, {0, 0, 0x7F, 0x80, 1}, {0xFF}},
    {MEM_READ, {0, 0, 0, 0, 2}, {1, 0}},                   // the monitor is kept
    {FLASH_WRITE, {0, 0, 0xFD, 0, 0, 0, 0x0F, 0x80}, NG},  // into the monitor
    {FLASH_WRITE, {0, 0, 0xFD, 0, 0, 0, 0x10, 0x08}, NG},  // unaligned
    {FLASH_WRITE, {0, 0, 0xFD, 0, 0, 0, 0x80, 0}, NG},     // past the flash
    {FLASH_WRITE, {0, 0, 0xFF, 1, 0, 0, 0x10, 0}, NG},     // RAM, then I/O
    {FLASH_WRITE, {0, 0, 0xF7, 0, 0, 0, 0x10, 0}, NG},     // I/O
    {FLASH_WRITE, {0, 0, 0xFD, 0}, NG},
};

}  // namespace

TEST(MonitorServer, EveryRequestGetsItsExactReply) {
  Rig r;
  for (const ScriptedExchange& e : SCRIPT) {
    if (e.code == RESTART) r.server.reset();
    EXPECT_EQ(r.exchange(e.code == RESTART ? Bytes() : frame(e.code, e.request)),
              frame(e.code, e.reply))
        << "row " << &e - SCRIPT;
  }
}

TEST(MonitorServer, ResetSendsRestartOnlyAfterAHostSpokeAndDropsAHalfFrame) {
  Rig r;
  // Noise, a bad SUM and half a frame: nobody has spoken yet.
  EXPECT_EQ(r.exchange({'n', 0x02, 0x02, VERSION, 0xED, 0x03, 0x02, 0x02, VERSION}), Bytes());
  r.server.reset();
  EXPECT_EQ(r.exchange(cat(frame(VERSION), frame(0x7E))), frame(VERSION, {1, 0, 1}));  // 7E unknown
  r.server.reset();
  EXPECT_EQ(r.sent, Bytes({0x02, 0x02, 0x50, 0xAE, 0x03}));
}

TEST(MonitorServer, RunningProgramTakesKeysBetweenAnsweredRequests) {
  ScriptedCore core;
  Rig r(&core);
  EXPECT_EQ(r.exchange(cat(frame(GO), frame(GO))), Bytes());  // the second ignored while running
  EXPECT_EQ(core.starts, 1);
  core.emit = "Hi\r\n";
  EXPECT_EQ(r.exchange(cat({'k'}, frame(REG_READ, {9}))),
            cat(frame(REG_READ, {0, 0, 0x10, 0}), {'H', 'i', '\r', '\n'}));
  // STX and a plausible COUNT are held while they might start a frame; a missing ETX
  // rejects it and every held byte is a key; COUNT above 29 rejects at once.
  r.exchange({0x02, 0x05, 'x', 'y', 'z', 'w', 'v'});
  EXPECT_EQ(r.board.sciInput, std::deque<uint8_t>({'k'}));
  r.exchange({0x00, 0x02, 'A'});
  EXPECT_EQ(r.board.sciInput,
            std::deque<uint8_t>({'k', 0x02, 0x05, 'x', 'y', 'z', 'w', 'v', 0x00, 0x02, 'A'}));
  r.exchange(Bytes(KEY_QUEUE_MAX, 'k'));
  EXPECT_EQ(r.board.sciInput.size(), KEY_QUEUE_MAX);
  core.emit = "!";
  core.stopWith = 8;
  EXPECT_EQ(r.exchange({}), cat({'!'}, frame(GO, {8})));
  r.exchange(frame(GO));
  r.server.abort();
  EXPECT_EQ(r.exchange({}), frame(GO, {STOP_ABORT}));
  r.server.abort();  // nothing runs: the switch sends nothing
  EXPECT_EQ(r.exchange(frame(GO)), Bytes());
  core.emit = "x";
  r.server.reset();  // drops the program without a stop report
  EXPECT_EQ(r.exchange({}), frame(RESTART));
}

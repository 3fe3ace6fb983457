// The simulated board seen from the host's end of the line, for tests: what the host writes goes
// to h8sim's MonitorServer over a real Board (GO runs a ScriptedCore unless the test names a
// core), and every frame the monitor sends comes back through a fault injector.
//
//   write(p, n)             record the bytes (sent, requests) and hand them to the monitor, which
//                           answers and lets a running program run one slice
//   read/available          the bytes on their way to the host
//   waitStep()              one poll step: scheduled bytes and resets fall due, a running program
//                           runs a slice; after `hangLimit` steps with nothing to come the line
//                           is lost, so a broken test cannot hang
//   fail(f) / failOn(c, f)  a fault for the next frame (of code c; taken before fail()'s)
//   replies[c]              a payload in place of the monitor's in every frame of code c
//   textBeforeReply         text sent just before the next frame
//   inject(b) / schedule(n, b) / resetAt(n)   bytes now, bytes or the reset switch n steps on
//   callAt(n, f)            run f n steps on (the user interrupting a wait)
//   setMem/mem, setReg/reg  the board's memory (any mapped address, flash too) and registers
//   sent, requests, codes() what the host sent: every byte, and TYPE + payload of each frame
// MonitorRig: a test fixture with the host's Link and Monitor over a BoardLine.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/output.h"
#include "link/link.h"
#include "link/monitor.h"
#include "link/serial.h"
#include "sim/board.h"
#include "sim/core.h"
#include "sim/faults.h"
#include "sim/monitor_server.h"

namespace h8test {

using Bytes = std::vector<uint8_t>;

inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
inline Bytes be32(uint32_t v) {
  return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}
// A complete frame around TYPE and payload, with a correct SUM.
inline Bytes frame(uint8_t type, const Bytes& payload = {}) { return h8::makeFrame(type, payload); }

// A program for GO: each start sends `text` as its output; run() stops with the next of `stops`
// and keeps running when none is left.
struct ScriptedCore : h8::CpuCore {
  void start(h8::Board& board) override {
    board.sciOutput.insert(board.sciOutput.end(), text.begin(), text.end());
  }
  int run(h8::Board&, uint32_t) override;
  std::string text;
  std::deque<int> stops;
};

using h8::Fault;  // the faults h8sim's --fault injects (sim/faults.h)

class BoardLine : public h8::SerialPort {
 public:
  explicit BoardLine(h8::CpuCore* core = nullptr)
      : server(board, core ? *core : this->core, monitorEnd_, quiet_) {}

  bool open(const std::string& name, long speed) override {
    openedName = name;
    openedSpeed = speed;
    return openResult;
  }
  int close() override { return closed = true; }
  int write(const uint8_t* data, int n) override;
  int read(uint8_t* buffer, int n) override;
  unsigned available() override { return unsigned(rx_.size()); }
  void waitStep() override;
  bool lost() const override { return lost_; }
  long speed() const override { return speedInUse; }
  std::string openError() const override { return openFailure; }

  void setMem(uint32_t address, const Bytes& bytes);
  uint8_t mem(uint32_t address) const { return board.read(address); }
  void setReg(int selector, uint32_t value) { board.setReg(selector, value); }
  uint32_t reg(int selector) const { return board.reg(selector); }

  void fail(Fault f, Bytes raw = {}) { faults_[-1].push_back({f, raw}); }
  void failOn(uint8_t code, Fault f, Bytes raw = {}) { faults_[code].push_back({f, raw}); }
  std::map<uint8_t, Bytes> replies;
  std::string textBeforeReply;

  void inject(const Bytes& bytes) { rx_.insert(rx_.end(), bytes.begin(), bytes.end()); }
  void schedule(int steps, const Bytes& bytes) { due_.emplace(steps_ + steps, bytes); }
  void resetAt(int steps) { due_.emplace(steps_ + steps, Bytes()); }
  // `f` runs at the poll step n steps on: what the user does while the host waits.
  void callAt(int steps, std::function<void()> f) { calls_.emplace(steps_ + steps, std::move(f)); }

  Bytes sent;
  std::vector<Bytes> requests;
  std::vector<uint8_t> codes() const;
  void clearLog() { sent.clear(), requests.clear(); }
  long steps() const { return steps_; }
  long hangLimit = 200000;

  bool openResult = true, closed = false;
  std::string openFailure;  // the reason a failed open gives
  long speedInUse = 0;      // the speed the open port reports (0: not known)
  std::string openedName;
  long openedSpeed = 0;

  h8::Board board;
  ScriptedCore core;

 private:
  // The monitor's end of the line: what it writes goes through the fault injector.
  struct MonitorEnd : h8::SerialPort {
    explicit MonitorEnd(BoardLine& l) : line(l) {}
    bool open(const std::string&, long) override { return true; }
    int close() override { return 0; }
    int write(const uint8_t* data, int n) override {
      return line.fromMonitor(Bytes(data, data + n)), n;
    }
    int read(uint8_t*, int) override { return 0; }
    unsigned available() override { return 0; }
    void waitStep() override {}
    BoardLine& line;
  };
  void fromMonitor(Bytes bytes);

  std::deque<uint8_t> rx_;
  std::map<int, std::deque<std::pair<Fault, Bytes>>> faults_;  // by code; -1: any frame
  std::multimap<long, Bytes> due_;                             // by step; no bytes: a reset
  std::multimap<long, std::function<void()>> calls_;
  long steps_ = 0, idleSteps_ = 0;
  bool lost_ = false;
  h8::NullOutput quiet_;
  h8::Link requestFrames_{*this, quiet_};  // recognises the host's frames for `requests`
  MonitorEnd monitorEnd_{*this};

 public:
  h8::MonitorServer server;
};

// The host's Link and Monitor over a BoardLine, for the tests of what lies under the console.
struct MonitorRig : ::testing::Test {
  BoardLine board;
  h8::StringOutput out;
  h8::Link link{board, out};
  h8::Monitor mon{link};
};

}  // namespace h8test

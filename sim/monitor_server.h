// The monitor's side of the protocol: recognises the host's request frames on a SerialPort,
// answers each with one reply frame carrying the request's code, runs the user program on a
// CpuCore, and announces resets with RESTART.
//
//   receive(b)          one byte from the host. Frames are requests; other bytes are keys for
//                       the user program while it runs and are ignored otherwise
//   receiveFromPort()   receive() every byte the port has waiting
//   running()           true between GO and the stop report
//   runSlice(budget)    let the core run; sends the program's SCI3 output as text and, when the
//                       program stops, the GO frame with the stop code
//   abort()             the abort switch: a running program stops with stop code 7
//   reset()             the reset switch: board reset, a running program is dropped, and RESTART
//                       is sent once a host has spoken (never before)
//
// Requests that arrive while the program runs are answered between slices, as an interrupt
// driven monitor would; a GO while running is ignored. Unknown codes get no reply. Each frame
// goes to the port in one write(); the program's text in writes of its own.
// Owns: the run state, the frame recogniser (a Link) and the key bytes of a frame in progress.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/output.h"
#include "link/link.h"
#include "link/serial.h"
#include "sim/board.h"
#include "sim/core.h"

namespace h8 {

constexpr uint8_t MONITOR_VERSION[3] = {1, 0, 1};  // major, minor, build
constexpr uint32_t RUN_SLICE = 20000;              // instructions per slice
constexpr size_t KEY_QUEUE_MAX = 4096;

// How long the part takes to erase a block and to program 128 bytes, from the H8/3664's flash
// characteristics: typical and maximum. Zero: at once.
struct FlashTimes {
  std::chrono::microseconds erase{0};
  std::chrono::microseconds program{0};
};
constexpr FlashTimes FLASH_TIMES_TYPICAL{std::chrono::milliseconds(100),
                                         std::chrono::milliseconds(7)};
constexpr FlashTimes FLASH_TIMES_MAX{std::chrono::milliseconds(1200),
                                     std::chrono::milliseconds(200)};

class MonitorServer {
 public:
  // `log` receives error messages, and with `verbose` one line per request and reply.
  MonitorServer(Board& board, CpuCore& core, SerialPort& port, Output& log);

  // When set, the flash image is written to this file after every erase and program.
  std::string flashPath;
  bool verbose = false;
  // With holdReply set, the reply to an erase or a program waits its FlashTimes on the line.
  FlashTimes flashTimes;
  std::function<void(std::chrono::microseconds)> holdReply;

  void receive(uint8_t b);
  void receiveFromPort();
  bool running() const { return running_; }
  void runSlice(uint32_t budget = RUN_SLICE);
  void abort();
  void reset();
  bool hostSpoke() const { return hostSpoke_; }

  // Writes the flash image to flashPath (true when there is none); errors go to the log.
  bool saveFlash();

 private:
  struct Request {
    uint8_t code;
    void (MonitorServer::*handle)();
  };
  static const Request REQUESTS[];

  void handleFrame();
  void beginReply();
  void sendReply();
  void sendStop(int code);
  void sendProgramOutput();
  void giveKeys(const uint8_t* bytes, size_t n);
  int payloadLength() const;

  void memRead();
  void memWrite();
  void regRead();
  void regWrite();
  void version();
  void flashProgArea();
  void userDataArea();
  void breakRead();
  void breakWrite();
  void breakClear();
  void go();
  void flashErase();
  void flashWrite();

  Board& board_;
  CpuCore& core_;
  SerialPort& port_;
  Output& log_;
  NullOutput quiet_;
  std::unique_ptr<Link> link_;
  const Request* current_ = nullptr;
  bool running_ = false;
  bool hostSpoke_ = false;
  std::vector<uint8_t> frameBytes_;  // bytes of a frame being recognised while running
};

}  // namespace h8

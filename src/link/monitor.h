// Requests to the board's monitor: the only door to the wire above the frame layer. Each is one
// request frame and one reply frame over a Link.
//
//   findReg(name)          register code for a name (upper-cases `name` in place), -1 unknown
//   waitResponse(code)     WAIT_OK expected reply arrived (read position at its payload),
//                          WAIT_NO_FRAME, WAIT_RESTARTED (answered with a VERSION request), else
//                          the unexpected code
//   request(exchange, n)   send the request being built (begin/put*) and take its reply as the
//                          Exchange says, printing the Exchange's message for a failure. A
//                          reply with fewer than `n` payload bytes (those the caller takes) is
//                          SHORT: "Error: short reply to NAME (got of n bytes)"
//   getVersion/getFlashProgArea/getUserDataArea   1 done, 0 failed (outputs zeroed first)
//   readMem/writeMem       move `count` bytes (16-bit; 0 moves nothing) in chunks of at most
//                          16; print their own error and stop at the first failing chunk.
//                          They return true when every chunk went through.
//   readReg(code)          register value (selector = low 8 bits); 0xFFFFFFFF on failure
//   writeReg(code, value)  errors are printed
//   readBreakpoint()       the monitor's breakpoint, 0 on failure
//   writeBreakpoint/clearBreakpoint  1 done, 0 failed
//   eraseFlash(x)          FLASH_ERASE of the user area; programFlash(source, target, x)
//                          FLASH_WRITE of one block; the Exchange names the caller's messages
//   go()                   send GO; the stop report comes later, to the caller's run loop
//   failures               count of the exchanges that failed, for the caller to compare
//
// Every failure prints one line through the link's output; nothing is retried. Owns no state
// but the failure count.
#pragma once

#include <cstdint>
#include <string>

#include "common/target.h"
#include "link/link.h"

namespace h8 {

// waitResponse's results besides an unexpected code.
enum WaitResult { WAIT_NO_FRAME = -1, WAIT_OK = 0, WAIT_RESTARTED = RESTART };

// What came of an exchange.
enum class Reply { OK, NO_FRAME, WRONG_CODE, REFUSED, RESTARTED, SHORT };

// How a reply's status byte is judged.
enum class StatusByte {
  NONE,             // not read
  ONE_IS_DONE,      // 1 done, anything else refused (MEM_WRITE, FLASH_WRITE)
  ZERO_IS_REFUSED,  // 0 refused, anything else done (REG_WRITE)
};

// One kind of exchange: how its reply is taken and what each failure prints. A message may hold
// one %d: the receive result (noFrame) or the code that came (wrongCode). With `handshake` the
// reply is taken by waitResponse, which answers a RESTART and prints its own line first; its
// failures all print `wrongCode`.
struct Exchange {
  uint8_t code;
  bool handshake;
  StatusByte status;
  const char* noFrame;
  const char* wrongCode;
  const char* refused;
};

class Monitor {
 public:
  explicit Monitor(Link& link) : link_(link), out_(link.out()) {}

  static int findReg(std::string& name);

  int waitResponse(int expected);
  Reply request(const Exchange& exchange, int replyBytes = 0);
  // Exchanges that failed so far (batch mode ends the run at a command that adds to it).
  long failures = 0;

  int getVersion(int& major, int& minor, int& build);
  int getFlashProgArea(uint32_t& start, uint32_t& size);
  int getUserDataArea(uint32_t& start, uint32_t& size);
  bool readMem(uint32_t address, uint32_t count, uint8_t* buffer);
  bool writeMem(uint32_t address, uint32_t count, const uint8_t* data);
  // The same with the caller's exchange (its own messages, and whether the status is read).
  bool readMem(uint32_t address, uint32_t count, uint8_t* buffer, const Exchange& exchange);
  bool writeMem(uint32_t address, uint32_t count, const uint8_t* data, const Exchange& exchange);
  uint32_t readReg(int code);
  void writeReg(int code, uint32_t value);
  uint32_t readBreakpoint();
  int writeBreakpoint(uint32_t address);
  int clearBreakpoint();
  Reply eraseFlash(const Exchange& exchange);
  Reply programFlash(uint32_t source, uint32_t target, const Exchange& exchange);
  void go();

 private:
  Reply exchange(const Exchange& exchange, int replyBytes);

  Link& link_;
  Output& out_;
};

}  // namespace h8

// Requests to the board's monitor, each one request frame and one reply frame over a Link.
//
//   findReg(name)          register code for a name (upper-cases `name` in place), -1 unknown
//   waitResponse(code)     0 expected reply arrived (read position at its payload), -1 no frame,
//                          80 the monitor restarted (answered with a VERSION request), else the
//                          unexpected code
//   getVersion/getFlashProgArea/getUserDataArea   1 done, 0 failed (outputs zeroed first)
//   readMem/writeMem       move `count` bytes (16-bit; 0 moves nothing) in chunks of at most
//                          16; print their own error and stop at the first failing chunk.
//                          They return true when every chunk went through.
//   readReg(code)          register value (selector = low 8 bits); 0xFFFFFFFF on failure
//   writeReg(code, value)  errors are printed
//   readBreakpoint()       the monitor's breakpoint, 0 on failure
//   writeBreakpoint/clearBreakpoint  1 done, 0 failed
//
// Every failure prints one line through the link's output; nothing is retried.
#pragma once

#include <cstdint>
#include <string>

#include "link/link.h"
#include "link/requests.h"

namespace h8 {

struct RegisterName {
  const char* name;
  int code;  // low 8 bits: selector; bits above: 0 whole, 1 Rn, 2 En, 3 RnH, 4 RnL
};

// Lookup order; the stack pointer is named SP (there is no ER7).
extern const RegisterName registerNames[42];
extern const int registerNameCount;

class Monitor {
 public:
  explicit Monitor(Link& link) : link_(link), out_(link.out()) {}

  Link& link() { return link_; }

  static int findReg(std::string& name);

  int waitResponse(int expected);
  int getVersion(int& major, int& minor, int& build);
  int getFlashProgArea(uint32_t& start, uint32_t& size);
  int getUserDataArea(uint32_t& start, uint32_t& size);
  bool readMem(uint32_t address, uint32_t count, uint8_t* buffer);
  bool writeMem(uint32_t address, uint32_t count, const uint8_t* data);
  uint32_t readReg(int code);
  void writeReg(int code, uint32_t value);
  uint32_t readBreakpoint();
  int writeBreakpoint(uint32_t address);
  int clearBreakpoint();

 private:
  // Ends and sends the request being built and waits for its reply; prints `failure` and
  // returns false when the reply does not come.
  bool exchange(int code, const char* failure);

  Link& link_;
  Output& out_;
};

}  // namespace h8

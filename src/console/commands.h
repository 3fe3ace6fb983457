// The command families. Each owns its own state and answers its commands; a handler takes the
// command's argument words and returns 0 when done or a negative status after a reported error
// (G returns the stop code when the program stopped). What a command does with words beyond
// those it takes: it ignores them.
//
//   MemoryCommands    DB/DW/DL dump and WB/WW/WL write (unit 1, 2 or 4): dump and write positions
//   ListingCommands   DA: the listing position and line count; listAt() lists one instruction
//   RegisterCommands  R: the full display, one register or part, setting one
//   RunCommands       G, S, BS, BC: the breakpoint, the run loop and the stop reports
//   FlashCommands     FE, FW, LO, USR: the memory image and RAM save areas, the write buffer's
//                     lower bound (the user data area start-up found)
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "console/console.h"
#include "load/flash.h"

namespace h8 {

class MemoryCommands {
 public:
  explicit MemoryCommands(Console& console) : c_(console) {}

  int dump(const Words& args, int unit);
  int write(const Words& args, int unit);
  void dumpMem(uint32_t address, uint32_t count, int unit);
  uint32_t writeMemSingle(uint32_t address, uint32_t value, int unit);
  uint32_t interactiveWrite(uint32_t address, int unit);

  uint32_t dumpAddress = 0;
  uint32_t dumpSize = 16;
  uint32_t writeAddress = 0;

 private:
  Console& c_;
};

class ListingCommands {
 public:
  explicit ListingCommands(Console& console) : c_(console) {}

  int disassemble(const Words& args);
  // Prints the label and listing line of the instruction at `address`; returns the next address.
  uint32_t listAt(uint32_t address);

  uint32_t daAddress = 0;
  uint32_t daCount = 10;

 private:
  Console& c_;
};

class RegisterCommands {
 public:
  RegisterCommands(Console& console, ListingCommands& listing) : c_(console), listing_(listing) {}

  int registers(const Words& args);
  void showRegisters();
  // The full display, then the listing line at the PC (R, and every stop).
  void showRegistersAndPc();
  void showRegister(std::string name);
  void setRegister(std::string name, uint32_t value);
  // "IiHUNZVC" with a '-' for every clear bit of the low 8 bits of `value`.
  static void ccrFlags(uint32_t value, char* text);

 private:
  Console& c_;
  ListingCommands& listing_;
};

class RunCommands {
 public:
  RunCommands(Console& console, RegisterCommands& registers) : c_(console), registers_(registers) {}

  int go(const Words& args);
  int step(const Words& args);
  int setBreak(const Words& args);
  int clearBreak(const Words& args);
  // Sends GO and waits: the code of the frame that ended the run, or -1 (ESC, lost line, an
  // interrupt, runLimit passed).
  int runAndWait();

  bool breakSet = false;
  uint32_t breakAddress = 0;
  long runLimit = 0;       // seconds a run may take before it is given up (batch -t); 0 none
  bool timedOut = false;   // a run was given up at runLimit

 private:
  int runUserProgram();

  Console& c_;
  RegisterCommands& registers_;
};

class FlashCommands {
 public:
  explicit FlashCommands(Console& console) : c_(console), state_(std::make_unique<FlashState>()) {}

  int erase(const Words& args);
  int writeBlock(const Words& args);
  int load(const Words& args);
  int userFlag(const Words& args);

  FlashState& state() { return *state_; }
  uint32_t userDataStart = 0;  // FW's lowest buffer address

 private:
  Console& c_;
  std::unique_ptr<FlashState> state_;
};

}  // namespace h8

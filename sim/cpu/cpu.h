// The H8/300H CPU in normal mode (16-bit addresses), as the H8/3664 runs it.
//
//   H8Cpu(bus)        a core that reads and writes through `bus`; registers all zero
//   run(budget)       executes until a stop or until `budget` more instructions have run;
//                     RUN_CONTINUES when the budget ran out, else a stop code (STOP_* of
//                     common/target.h); PC is then where the program resumes: after TRAPA,
//                     SLEEP and the break, at the instruction not yet run for NMI and
//                     interrupts, at the offending instruction for STOP_UNDEFINED and
//                     STOP_ADDRESS_ERROR
//   regs              ER0..ER7 (ER7 = SP), PC and CCR; the caller may change them between runs
//   instructions      instructions executed so far
//   states            execution states (clock cycles) so far, per the programming manual's
//                     counts with every on-chip access (ROM, RAM, I/O) at 2 states
//   breakSet/breakAddress  the address break: run() stops after the instruction at it ran
//
// Effective addresses keep their low 16 bits; word and long accesses use the even address.
// PC is kept 16 bits and even. Exceptions are not taken: run() stops and reports the vector.
// Choices where the manual leaves results open: see cpu.cpp.
#pragma once

#include <cstdint>

#include "common/target.h"
#include "sim/cpu/bus.h"

namespace h8 {

constexpr int RUN_CONTINUES = -1;

struct CpuRegisters {
  uint32_t er[8];  // er[7] is SP
  uint32_t pc;
  uint8_t ccr;
};

class H8Cpu {
 public:
  explicit H8Cpu(CpuBus& bus) : bus(bus) {}

  CpuRegisters regs{};
  uint64_t instructions = 0;  // executed so far
  uint64_t states = 0;        // execution states so far (clock cycles)
  bool breakSet = false;
  uint16_t breakAddress = 0;  // the address break

  int run(uint64_t budget);

  CpuBus& bus;
};

}  // namespace h8

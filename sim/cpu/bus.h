// What the CPU core sees of the board.
//
//   memory[a]          ROM and RAM contents by 16-bit address (the core reads and writes it)
//   regions[a >> 7]    what a 128-byte page holds: RAM, ROM, IO (peripherals) or NONE
//   ioRead/ioWrite     one byte of an IO page; the core calls them for IO pages only, with
//                      `now` set to its state count
//   eventAt/event      the core calls event(states) once its state counter reaches eventAt
//   pending            interrupt requests, bit n = exception vector n (7 NMI, 14..25 maskable)
//
// The core stores to RAM pages only: ROM keeps its contents (a CPU store into flash changes
// nothing) and NONE pages read as 0xFF. Word and long accesses are big-endian byte sequences.
#pragma once

#include <cstdint>

namespace h8 {

enum class Region : uint8_t { RAM, ROM, IO, NONE };

class CpuBus {
 public:
  virtual ~CpuBus() = default;
  uint8_t memory[65536] = {};  // ROM and RAM contents, by 16-bit address
  Region regions[512] = {};    // region of page address >> 7
  virtual uint8_t ioRead(uint16_t address) = 0;
  virtual void ioWrite(uint16_t address, uint8_t value) = 0;
  uint64_t now = 0;  // the core's state count at the I/O access in progress
  // Peripherals that count time: the core calls event() once its state counter reaches eventAt.
  uint64_t eventAt = UINT64_MAX;
  virtual void event(uint64_t states) { (void)states; }
  // Pending interrupt requests, bit n = exception vector n (7 = NMI, 14..25 maskable).
  uint32_t pending = 0;
};

}  // namespace h8

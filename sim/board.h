// The simulated H8/3664 board: its memory map, flash ROM, RAM and on-chip peripherals as the
// CPU core sees them (a CpuBus), the CPU registers as the monitor keeps them for a stopped
// program, the monitor's one breakpoint, and the SCI3 byte queues that the core and the line
// share.
//
//   read(a)                    one byte at a target address; unmapped addresses read 0xFF
//   writable(a, n)             true when every byte of a..a+n-1 is RAM or an I/O register
//   write(a, data, n)          store n bytes when writable(a, n); else change nothing, false
//   place(a, data, n)          store n bytes at mapped addresses, flash included (start-up
//                              loading, tests); false, changing nothing, when one is unmapped
//   eraseFlash(block)          block 4 sets 0x1000..0x7FFF to 0xFF; other blocks are refused
//   programFlash(src, dst)     program 128 bytes from RAM at src into the flash block at dst:
//                              new = old AND data; FLASH_OK, or the reason it failed
//   programBlock(dst, data)    the same from 128 host bytes (start-up download)
//   reset()                    registers, breakpoint, I/O registers and SCI3 queues to their
//                              reset values; RAM and flash keep their contents
//   giveKey(b)                 a byte from the line for the program (SCI3's receive side)
//   startRun(states)           a program starts at the core's state count `states`
//   setClock/setFlowControl    the CPU clock the peripherals count in; whether received bytes
//                              wait for the program instead of overrunning (h8sim exec)
//   loadFlashImage/saveFlashImage   the 32 KiB flash image in a file (--flash)
//
// Memory map: flash 0x0000-0x7FFF (0x0000-0x0FFF the monitor's own, read-only), I/O registers
// 0xF700-0xF77F and 0xFF80-0xFFFF, RAM 0xF780-0xFF7F. Addresses above 0xFFFF are unmapped. The
// host's reads of I/O registers have no side effects (a read of RDR leaves RDRF as it was); its
// writes act as the program's would.
// Owns: all of the above; nothing else keeps board state.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>

#include "common/output.h"
#include "load/flash.h"
#include "sim/cpu/bus.h"
#include "sim/peripherals.h"

namespace h8 {

enum FlashResult {
  FLASH_OK,
  FLASH_BAD_SOURCE,       // the 128 source bytes do not all lie in RAM
  FLASH_BAD_DESTINATION,  // not a 128-byte block of the user area
  FLASH_VERIFY_FAILED,    // a byte needed a 1 where the flash held a 0
};

class Board : public CpuBus {
 public:
  Board();
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  uint8_t read(uint32_t address) const;
  bool writable(uint32_t address, uint32_t count) const;
  bool write(uint32_t address, const uint8_t* data, uint32_t count);
  bool place(uint32_t address, const uint8_t* data, uint32_t count);

  bool eraseFlash(int block);
  FlashResult programFlash(uint32_t source, uint32_t destination);
  FlashResult programBlock(uint32_t destination, const uint8_t* data);
  // A fault on purpose: the first byte of the block programmed last gets its low bit inverted.
  void spoilLastProgrammed() { memory[lastProgrammed_] ^= 0x01; }

  void reset();

  uint32_t reg(int selector) const { return regs_[selector]; }
  // Stores a register; CCR keeps 8 bits and PC 24, as the CPU does. False for a bad selector.
  bool setReg(int selector, uint32_t value);

  bool breakpointSet = false;
  uint32_t breakpoint = 0;

  Peripherals peripherals;
  // Bytes the user program sent through SCI3 and has not yet gone out on the line, and keys
  // from the line that the program has not yet received.
  std::deque<uint8_t>& sciOutput = peripherals.transmitted;
  std::deque<uint8_t>& sciInput = peripherals.received;
  void giveKey(uint8_t b);

  void startRun(uint64_t states);
  void setClock(double hz) { peripherals.clockHz = hz; }
  void setFlowControl(bool on) { peripherals.flowControl = on; }

  // Flash image, 0x0000..0x7FFF (the monitor's area included).
  const uint8_t* flash() const { return memory; }

  // CpuBus
  uint8_t ioRead(uint16_t address) override;
  void ioWrite(uint16_t address, uint8_t value) override;
  void event(uint64_t states) override;

 private:
  void installMonitor();
  Region region(uint32_t address) const {
    return address > 0xFFFF ? Region::NONE : regions[address >> 7];
  }
  // Interrupt requests and the next event from the peripherals' state.
  void updateInterrupts();

  uint32_t regs_[REGISTER_COUNT] = {};
  uint32_t lastProgrammed_ = USER_FLASH_START;
};

// The flash image file of --flash: exactly FLASH_END bytes. Loading keeps the board's monitor
// area. Both return false with a message in `error`.
bool loadFlashImage(const std::string& path, Board& board, std::string& error);
bool saveFlashImage(const std::string& path, const Board& board, std::string& error);

// Downloads a SYSROF file as the debugger's LO does: load it into a 0xFF-filled image of the
// user area, erase the user flash, program every block that is not blank. Messages go to `out`.
bool programSysrof(const std::string& path, Board& board, Output& out);

}  // namespace h8

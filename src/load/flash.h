// Flash download: the procedures behind LO (loadFile) and USR (writeUserFlag).
//
//   loadFile(mon, out, st, name)  save the write buffer and flash programming RAM, clear and load
//                                 the image from a SYSROF file (or a COFF, ELF, S-record or
//                                 Intel HEX file, converted in memory), erase the user flash, program
//                                 every block that is not blank, restore the RAM. 1 done, 0 failed
//                                 (the failure is printed; RAM is not restored after a failure).
//                                 A null name is refused before anything is sent.
//   writeUserFlag(mon, out, st)   program the block at 0x7F80 with the flag byte 0x7FFF = 0x00,
//                                 saving and restoring the RAM as loadFile does. 1 done, 0 failed.
//   isBlankBlock(p)               true when all 128 bytes are 0xFF (erased flash)
//
// With `verify` set, both read every block they programmed back once all are programmed, and
// report each block that differs ("Verify: block %08lX differs at %08lX: written %02X, read
// %02X"); the command then fails, after the RAM is restored.
//
// Both LO and USR refuse a flash programming area larger than the 2,048-byte save area before
// anything is erased or written, and so does a failed read of either RAM area. The commands
// around them are the console's. Owns nothing beyond the FlashState it is given.
#pragma once

#include <cstdint>

#include "common/output.h"
#include "common/target.h"
#include "link/monitor.h"
#include "load/sysrof.h"

namespace h8 {

constexpr uint32_t RAM_SAVE_SIZE = 2048;

struct FlashState {
  uint8_t memImage[65536];
  uint8_t bufferSave[2048];
  uint8_t progAreaSave[2048];
  bool verify = false;  // read programmed blocks back (h8dbg -V)
};
static_assert(sizeof(FlashState::memImage) == MEM_IMAGE_SIZE);
static_assert(sizeof(FlashState::progAreaSave) == RAM_SAVE_SIZE);

int loadFile(Monitor& mon, Output& out, FlashState& state, const char* name);
int writeUserFlag(Monitor& mon, Output& out, FlashState& state);
bool isBlankBlock(const uint8_t* block);

}  // namespace h8

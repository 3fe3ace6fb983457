// Flash download and the flash commands: LO (loadFile), USR (writeUserFlag), FE and FW.
//
//   loadFile(mon, out, st, name)  save the write buffer and flash programming RAM, clear and load
//                                 the image from a SYSROF file, erase the user flash, program
//                                 every block that is not blank, restore the RAM. 1 done, 0 failed
//                                 (the failure is printed; RAM is not restored after a failure).
//                                 A null name is refused before anything is sent.
//   writeUserFlag(mon, out, st)   program the block at 0x7F80 with the flag byte 0x7FFF = 0x00,
//                                 saving and restoring the RAM as loadFile does. 1 done, 0 failed.
//   isBlankBlock(p)               true when all 128 bytes are 0xFF (erased flash)
//   loCommand/usrCommand          the console cases: run the operation, print its closing line
//   feCommand                     erase the user flash area
//   fwCommand                     program one block from a target RAM address the user names
//
// Both LO and USR refuse a flash programming area larger than the 2,048-byte save area before
// anything is erased or written. `argc` counts the operand words after the command word:
// "LO file" gives 1 with word1 = "file", "FW a b" gives 2.
// The repeat line is the console's business. Owns nothing beyond the FlashState it is given.
#pragma once

#include <cstdint>

#include "common/output.h"
#include "expr/expr.h"
#include "link/monitor.h"
#include "load/sysrof.h"

namespace h8 {

constexpr uint32_t USER_FLASH_START = 0x1000;
constexpr uint32_t USER_FLASH_LIMIT = 0x8000;
constexpr uint32_t FLASH_BLOCK_SIZE = 128;
constexpr uint32_t FLAG_BLOCK = 0x7F80;  // holds the flag byte 0x7FFF; FW refuses it
constexpr uint8_t ERASE_USER_AREA = 4;   // FLASH_ERASE block holding 0x1000..0x7FFF
constexpr uint32_t RAM_SAVE_SIZE = 2048;
constexpr uint32_t FW_BUFFER_MAX = 0xFF00;

struct FlashState {
  uint8_t memImage[65536];
  uint8_t bufferSave[2048];
  uint8_t progAreaSave[2048];
};
static_assert(sizeof(FlashState::memImage) == MEM_IMAGE_SIZE);
static_assert(sizeof(FlashState::progAreaSave) == RAM_SAVE_SIZE);

int loadFile(Monitor& mon, Output& out, FlashState& state, const char* name);
int writeUserFlag(Monitor& mon, Output& out, FlashState& state);
bool isBlankBlock(const uint8_t* block);

void loCommand(Monitor& mon, Output& out, FlashState& state, int argc, const char* word1);
void usrCommand(Monitor& mon, Output& out, FlashState& state);
void feCommand(Monitor& mon, Output& out);
void fwCommand(Monitor& mon, Evaluator& eval, Output& out, uint32_t userDataStart, int argc,
               const char* word1, const char* word2);

}  // namespace h8

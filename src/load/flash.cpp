#include "load/flash.h"

#include <cstdio>
#include <cstring>

#include "load/program_load.h"

namespace h8 {

namespace {

// Where the RAM that LO and USR borrow lies, and what it held before.
struct SavedRam {
  uint32_t buffer = 0;    // write buffer B: start of the user data area
  uint32_t progArea = 0;  // flash programming RAM P
  uint32_t progSize = 0;  // its size S
};

// Saves target RAM that LO or USR is about to borrow. When the read fails, nothing may be erased
// or written: the restore would otherwise put stale bytes into the board's RAM.
bool saveRam(Monitor& mon, Output& out, uint32_t address, uint32_t size, uint8_t* save) {
  if (mon.readMem(address, size, save)) return true;
  out.printf("Can't save Target RAM %08lX - %08lX: nothing erased or written\n",
             (unsigned long)address, (unsigned long)uint32_t(address + size - 1));
  return false;
}

// Steps shared by LO and USR: find both RAM areas and save their contents. Nothing is written
// to the target here, so a refusal leaves the board as it was.
bool prepare(Monitor& mon, Output& out, FlashState& state, SavedRam& ram) {
  uint32_t size = 0;
  if (!mon.getUserDataArea(ram.buffer, size)) {
    out.puts("Can't read Target buffer RAM address\n");
    return false;
  }
  out.printf("Flash-ROM write buffer address = %08lX\n", (unsigned long)ram.buffer);
  if (!saveRam(mon, out, ram.buffer, FLASH_BLOCK_SIZE, state.bufferSave)) return false;
  if (!mon.getFlashProgArea(ram.progArea, ram.progSize)) {
    out.puts("Can't read Target Flash-ROM programming RAM address\n");
    return false;
  }
  if (ram.progSize > RAM_SAVE_SIZE) {
    out.printf("Flash-ROM program/data area too large to save: size = %08lX (limit %08lX)\n",
               (unsigned long)ram.progSize, (unsigned long)RAM_SAVE_SIZE);
    return false;
  }
  if (!saveRam(mon, out, ram.progArea, ram.progSize, state.progAreaSave)) return false;
  out.printf("Flash-ROM program/data address = %08lX  size = %08lX\n", (unsigned long)ram.progArea,
             (unsigned long)ram.progSize);
  return true;
}

void restore(Monitor& mon, FlashState& state, const SavedRam& ram) {
  mon.writeMem(ram.buffer, FLASH_BLOCK_SIZE, state.bufferSave);
  mon.writeMem(ram.progArea, ram.progSize, state.progAreaSave);
}

constexpr Exchange LO_ERASE = {FLASH_ERASE,
                               false,
                               StatusByte::NONE,
                               "loadFile:Error at FlashROM Erase\n",
                               "loadFile:Error Bad responce packet\n",
                               nullptr};
constexpr Exchange USR_PROGRAM = {FLASH_WRITE,
                                  false,
                                  StatusByte::ONE_IS_DONE,
                                  "Error. No responce.\n",
                                  "Error Bad responce packet\n",
                                  "Error FlashROM write NG.\n"};

// Programs the image block at `offset` through the write buffer. The progress line stays open
// (it ends in '\r'); a failure message is printed over it as the board's users know it.
bool programBlock(Monitor& mon, Output& out, FlashState& state, uint32_t buffer, uint32_t offset) {
  uint32_t target = USER_FLASH_START + offset;
  out.printf("FlashWrite:Source Address = %08lX : Target Address=%08lX\r", (unsigned long)buffer,
             (unsigned long)target);
  out.flush();
  // A failed buffer write (reported by writeMem) fails the block: the buffer holds stale RAM.
  if (!mon.writeMem(buffer, FLASH_BLOCK_SIZE, state.memImage + offset)) return false;
  // The messages name the block, so they are made for it.
  char noReply[64], refused[64];
  snprintf(noReply, sizeof noReply, "loadFile:Error at FlashROM Writting address=%08lX\n",
           (unsigned long)target);
  snprintf(refused, sizeof refused, "loadFile:Error FlashROM write NG address=%08lX\n",
           (unsigned long)target);
  const Exchange program = {
      FLASH_WRITE, false, StatusByte::ONE_IS_DONE, noReply, "loadFile:Error Bad responce packet\n",
      refused};
  return mon.programFlash(buffer, target, program) == Reply::OK;
}

// Reads the programmed block at `target` back and compares it with `expected`.
bool verifyBlock(Monitor& mon, Output& out, uint32_t target, const uint8_t* expected) {
  uint8_t read[FLASH_BLOCK_SIZE];
  if (!mon.readMem(target, FLASH_BLOCK_SIZE, read)) return false;
  for (uint32_t i = 0; i < FLASH_BLOCK_SIZE; i++) {
    if (read[i] != expected[i]) {
      out.printf("Verify: block %08lX differs at %08lX: written %02X, read %02X\n",
                 (unsigned long)target, (unsigned long)(target + i), expected[i], read[i]);
      return false;
    }
  }
  return true;
}

}  // namespace

bool isBlankBlock(const uint8_t* block) {
  uint8_t all = 0xFF;
  for (uint32_t i = 0; i < FLASH_BLOCK_SIZE; i++) all &= block[i];
  return all == 0xFF;
}

int loadFile(Monitor& mon, Output& out, FlashState& state, const char* name) {
  if (name == nullptr) {
    out.puts("loadFile:Error no file name. Usage: LO filename\n");
    return 0;
  }
  SavedRam ram;
  if (!prepare(mon, out, state, ram)) return 0;

  memset(state.memImage, 0xFF, sizeof state.memImage);
  out.printf("memImage cleared. load from file %s\n", name);
  const char* format = "SYSROF";
  if (!loadProgram(name, state.memImage, USER_FLASH_START, USER_FLASH_END, out, &format)) {
    out.printf("loadFile:Error at load %s file %s\n", format, name);
    return 0;
  }
  out.printf("finished to load %s. Erase flash-ROM\n", name);

  // A RESTART in place of the erase reply is a bad reply here, not a reason for the VERSION
  // handshake.
  if (mon.eraseFlash(LO_ERASE) != Reply::OK) return 0;
  out.puts("finished to erase. write to Flash-ROM\n");

  for (uint32_t offset = 0; offset < USER_FLASH_END - USER_FLASH_START;
       offset += FLASH_BLOCK_SIZE) {
    if (isBlankBlock(state.memImage + offset)) continue;
    if (!programBlock(mon, out, state, ram.buffer, offset)) return 0;
  }
  out.put('\n');
  bool verified = true;
  for (uint32_t offset = 0; state.verify && offset < USER_FLASH_END - USER_FLASH_START;
       offset += FLASH_BLOCK_SIZE) {
    if (isBlankBlock(state.memImage + offset)) continue;
    verified = verifyBlock(mon, out, USER_FLASH_START + offset, state.memImage + offset) && verified;
  }
  if (state.verify && verified) out.puts("Verified: every block reads back as written\n");
  restore(mon, state, ram);
  return verified ? 1 : 0;
}

int writeUserFlag(Monitor& mon, Output& out, FlashState& state) {
  SavedRam ram;
  if (!prepare(mon, out, state, ram)) return 0;

  memset(state.memImage, 0xFF, FLASH_BLOCK_SIZE - 1);
  state.memImage[FLASH_BLOCK_SIZE - 1] = 0x00;
  if (!mon.writeMem(ram.buffer, FLASH_BLOCK_SIZE, state.memImage)) return false;

  if (mon.programFlash(ram.buffer, FLAG_BLOCK, USR_PROGRAM) != Reply::OK) return 0;
  bool verified = !state.verify || verifyBlock(mon, out, FLAG_BLOCK, state.memImage);
  restore(mon, state, ram);
  return verified ? 1 : 0;
}

}  // namespace h8

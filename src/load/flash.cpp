#include "load/flash.h"

#include <cstring>

namespace h8 {

namespace {

// Where the RAM that LO and USR borrow lies, and what it held before.
struct SavedRam {
  uint32_t buffer = 0;    // write buffer B: start of the user data area
  uint32_t progArea = 0;  // flash programming RAM P
  uint32_t progSize = 0;  // its size S
};

// Steps shared by LO and USR: find both RAM areas and save their contents. Nothing is written
// to the target here, so a refusal leaves the board as it was.
bool prepare(Monitor& mon, Output& out, FlashState& state, SavedRam& ram) {
  uint32_t size = 0;
  if (!mon.getUserDataArea(ram.buffer, size)) {
    out.puts("Can't read Target buffer RAM address\n");
    return false;
  }
  out.printf("Flash-ROM write buffer address = %08lX\n", (unsigned long)ram.buffer);
  mon.readMem(ram.buffer, FLASH_BLOCK_SIZE, state.bufferSave);
  if (!mon.getFlashProgArea(ram.progArea, ram.progSize)) {
    out.puts("Can't read Target Flash-ROM programming RAM address\n");
    return false;
  }
  if (ram.progSize > RAM_SAVE_SIZE) {
    out.printf("Flash-ROM program/data area too large to save: size = %08lX (limit %08lX)\n",
               (unsigned long)ram.progSize, (unsigned long)RAM_SAVE_SIZE);
    return false;
  }
  mon.readMem(ram.progArea, ram.progSize, state.progAreaSave);
  out.printf("Flash-ROM program/data address = %08lX  size = %08lX\n", (unsigned long)ram.progArea,
             (unsigned long)ram.progSize);
  return true;
}

void restore(Monitor& mon, FlashState& state, const SavedRam& ram) {
  mon.writeMem(ram.buffer, FLASH_BLOCK_SIZE, state.bufferSave);
  mon.writeMem(ram.progArea, ram.progSize, state.progAreaSave);
}

void sendFlashErase(Link& link) {
  link.beginPacket(FLASH_ERASE);
  link.putByte(ERASE_USER_AREA);
  link.endPacket();
  link.sendPacket();
}

void sendFlashWrite(Link& link, uint32_t source, uint32_t target) {
  link.beginPacket(FLASH_WRITE);
  link.putLong(source);
  link.putLong(target);
  link.endPacket();
  link.sendPacket();
}

// Programs the image block at `offset` through the write buffer. The progress line stays open
// (it ends in '\r'); a failure message is printed over it as the board's users know it.
bool programBlock(Monitor& mon, Output& out, FlashState& state, uint32_t buffer, uint32_t offset) {
  Link& link = mon.link();
  uint32_t target = USER_FLASH_START + offset;
  out.printf("FlashWrite:Source Address = %08lX : Target Address=%08lX\r", (unsigned long)buffer,
             (unsigned long)target);
  out.flush();
  // A failed buffer write is reported by writeMem; the block is programmed all the same.
  mon.writeMem(buffer, FLASH_BLOCK_SIZE, state.memImage + offset);
  sendFlashWrite(link, buffer, target);
  if (link.receivePacket() <= 0) {
    out.printf("loadFile:Error at FlashROM Writting address=%08lX\n", (unsigned long)target);
    return false;
  }
  if (link.getByte() != FLASH_WRITE) {
    out.puts("loadFile:Error Bad responce packet\n");
    return false;
  }
  if (link.getByte() != 1) {
    out.printf("loadFile:Error FlashROM write NG address=%08lX\n", (unsigned long)target);
    return false;
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
  if (!loadSysrof(name, state.memImage, USER_FLASH_START, USER_FLASH_LIMIT, out)) {
    out.printf("loadFile:Error at load SYSROF file %s\n", name);
    return 0;
  }
  out.printf("finished to load %s. Erase flash-ROM\n", name);

  // The erase reply is checked by hand: a RESTART in its place is a bad reply here, not a
  // reason for the VERSION handshake.
  Link& link = mon.link();
  sendFlashErase(link);
  if (link.receivePacket() <= 0) {
    out.puts("loadFile:Error at FlashROM Erase\n");
    return 0;
  }
  if (link.getByte() != FLASH_ERASE) {
    out.puts("loadFile:Error Bad responce packet\n");
    return 0;
  }
  out.puts("finished to erase. write to Flash-ROM\n");

  for (uint32_t offset = 0; offset < USER_FLASH_LIMIT - USER_FLASH_START;
       offset += FLASH_BLOCK_SIZE) {
    if (isBlankBlock(state.memImage + offset)) continue;
    if (!programBlock(mon, out, state, ram.buffer, offset)) return 0;
  }
  out.put('\n');
  restore(mon, state, ram);
  return 1;
}

int writeUserFlag(Monitor& mon, Output& out, FlashState& state) {
  SavedRam ram;
  if (!prepare(mon, out, state, ram)) return 0;

  memset(state.memImage, 0xFF, FLASH_BLOCK_SIZE - 1);
  state.memImage[FLASH_BLOCK_SIZE - 1] = 0x00;
  mon.writeMem(ram.buffer, FLASH_BLOCK_SIZE, state.memImage);

  Link& link = mon.link();
  sendFlashWrite(link, ram.buffer, FLAG_BLOCK);
  if (link.receivePacket() <= 0) {
    out.puts("Error. No responce.\n");
    return 0;
  }
  if (link.getByte() != FLASH_WRITE) {
    out.puts("Error Bad responce packet\n");
    return 0;
  }
  if (link.getByte() != 1) {
    out.puts("Error FlashROM write NG.\n");
    return 0;
  }
  restore(mon, state, ram);
  return 1;
}

void loCommand(Monitor& mon, Output& out, FlashState& state, int argc, const char* word1) {
  const char* name = argc >= 1 ? word1 : nullptr;
  const char* shown = name != nullptr ? name : "(no file name)";
  if (loadFile(mon, out, state, name)) {
    out.printf("Finished to load %s\n", shown);
  } else {
    out.printf("Error loading %s\n", shown);
  }
}

void usrCommand(Monitor& mon, Output& out, FlashState& state) {
  out.puts("Precede user program execution. Write flag.\n");
  if (writeUserFlag(mon, out, state)) {
    out.puts("Succeed.\n");
  } else {
    out.puts("Fail to write flag.\n");
  }
}

void feCommand(Monitor& mon, Output& out) {
  sendFlashErase(mon.link());
  if (mon.waitResponse(FLASH_ERASE) != 0) out.puts("Error at Flash-ROM erase\n");
}

void fwCommand(Monitor& mon, Evaluator& eval, Output& out, uint32_t userDataStart, int argc,
               const char* word1, const char* word2) {
  if (argc < 2 || word1 == nullptr || word2 == nullptr) {
    out.puts("Error FlashROM address missing\n");
    return;
  }
  // exprError is not consulted: a failed expression gives 0xFFFFFFFF, which both tests refuse.
  uint32_t buffer = eval.evalExpression(word1);
  if (buffer < userDataStart || buffer > FW_BUFFER_MAX) {
    out.puts("Error. Bad write-buffer address.\n");
    return;
  }
  uint32_t target = eval.evalExpression(word2);
  if (target % FLASH_BLOCK_SIZE != 0 || target < USER_FLASH_START || target >= FLAG_BLOCK) {
    out.puts("Error. Bad flash-ROM address.\n");
    return;
  }
  sendFlashWrite(mon.link(), buffer, target);
  if (mon.waitResponse(FLASH_WRITE) != 0) out.puts("Error at Flash-ROM write\n");
}

}  // namespace h8

#include "sim/board.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/bigendian.h"
#include "load/sysrof.h"

namespace h8 {

namespace {

constexpr int VECTOR_COUNT = 26;
constexpr uint32_t MONITOR_RESET_ENTRY = 0x0100;
constexpr uint32_t MONITOR_HANDLERS = 0x0200;
constexpr uint32_t MONITOR_ID = 0x0040;
constexpr char MONITOR_ID_TEXT[] = "H8SIM MONITOR 1.0";

bool inRange(uint32_t address, uint32_t start, uint32_t end) {
  return address >= start && address < end;
}

}  // namespace

Board::Board() {
  for (uint32_t page = 0; page < std::size(regions); page++) {
    uint32_t a = page << 7;
    regions[page] = inRange(a, FLASH_START, FLASH_END) ? Region::ROM
                    : inRange(a, RAM_START, RAM_END)   ? Region::RAM
                    : inRange(a, IO_LOW_START, IO_LOW_END) || inRange(a, IO_HIGH_START, IO_HIGH_END)
                        ? Region::IO
                        : Region::NONE;
  }
  std::memset(memory + FLASH_START, 0xFF, FLASH_END - FLASH_START);
  installMonitor();
  reset();
}

// A plausible monitor ROM: a vector table whose entries point into the monitor, a reset entry
// that sets up a stack and waits, one RTE stub per vector, and an identifying string. Nothing
// executes it yet; it makes DB and DA of the monitor's area show what a real board would.
void Board::installMonitor() {
  std::memset(memory, 0xFF, USER_FLASH_START);
  for (int v = 0; v < VECTOR_COUNT; v++) {
    uint32_t target = v == 0 ? MONITOR_RESET_ENTRY : MONITOR_HANDLERS + 4 * uint32_t(v);
    store16(&memory[2 * v], target);
  }
  const uint8_t resetCode[] = {0x79, 0x07, 0xFF, 0x80,  // mov.w #H'FF80,r7
                               0x40, 0xFE};             // bra  $
  std::memcpy(&memory[MONITOR_RESET_ENTRY], resetCode, sizeof resetCode);
  for (int v = 1; v < VECTOR_COUNT; v++) {
    const uint8_t stub[] = {0x56, 0x70, 0x00, 0x00};  // rte ; nop
    std::memcpy(&memory[MONITOR_HANDLERS + 4 * v], stub, sizeof stub);
  }
  std::memcpy(&memory[MONITOR_ID], MONITOR_ID_TEXT, sizeof MONITOR_ID_TEXT);
}

uint8_t Board::read(uint32_t address) const {
  switch (region(address)) {
    case Region::ROM:
    case Region::RAM:
      return memory[address];
    case Region::IO:
      return peripherals.peek(address);
    default:
      return 0xFF;
  }
}

bool Board::writable(uint32_t address, uint32_t count) const {
  for (uint32_t i = 0; i < count; i++) {
    uint32_t a = address + i;
    if (a < address) return false;  // wrapped past 0xFFFFFFFF
    Region r = region(a);
    if (r != Region::RAM && r != Region::IO) return false;  // flash takes FLASH_WRITE only
  }
  return true;
}

bool Board::write(uint32_t address, const uint8_t* data, uint32_t count) {
  return writable(address, count) && place(address, data, count);
}

bool Board::place(uint32_t address, const uint8_t* data, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) {
    if (address + i < address || region(address + i) == Region::NONE) return false;
  }
  for (uint32_t i = 0; i < count; i++) {
    uint32_t a = address + i;
    if (region(a) == Region::IO) {
      peripherals.write(a, data[i], now);
    } else {
      memory[a] = data[i];
    }
  }
  updateInterrupts();
  return true;
}

bool Board::eraseFlash(int block) {
  if (block != ERASE_USER_AREA) return false;
  std::memset(&memory[USER_FLASH_START], 0xFF, USER_FLASH_END - USER_FLASH_START);
  return true;
}

// Like the real flash: programming can only turn ones into zeros, every byte is programmed as
// far as it can be, and the verify afterwards reports a block that does not hold the data.
FlashResult Board::programFlash(uint32_t source, uint32_t destination) {
  if (source < RAM_START || source > RAM_END - FLASH_BLOCK_SIZE) return FLASH_BAD_SOURCE;
  return programBlock(destination, &memory[source]);
}

FlashResult Board::programBlock(uint32_t destination, const uint8_t* data) {
  if (destination % FLASH_BLOCK_SIZE != 0 || destination < USER_FLASH_START ||
      destination > USER_FLASH_END - FLASH_BLOCK_SIZE) {
    return FLASH_BAD_DESTINATION;
  }
  bool verified = true;
  lastProgrammed_ = destination;
  for (uint32_t i = 0; i < FLASH_BLOCK_SIZE; i++) {
    uint8_t& cell = memory[destination + i];
    cell &= data[i];
    if (cell != data[i]) verified = false;
  }
  return verified ? FLASH_OK : FLASH_VERIFY_FAILED;
}

void Board::reset() {
  for (uint32_t& r : regs_) r = 0;
  regs_[7] = RESET_SP;
  regs_[8] = RESET_CCR;
  regs_[9] = USER_FLASH_START;
  breakpointSet = false;
  breakpoint = 0;
  peripherals.reset(now);
  pending = 0;
  updateInterrupts();
}

void Board::updateInterrupts() {
  pending = (pending & (1u << STOP_ABORT)) | peripherals.pending();
  eventAt = peripherals.nextEvent();
}

void Board::giveKey(uint8_t b) {
  sciInput.push_back(b);
  eventAt = 0;  // the receiver looks at it at the next instruction
}

void Board::startRun(uint64_t states) {
  now = states;
  peripherals.advance(now);
  updateInterrupts();
}

uint8_t Board::ioRead(uint16_t address) {
  uint8_t v = peripherals.read(address, now);
  updateInterrupts();
  return v;
}

void Board::ioWrite(uint16_t address, uint8_t value) {
  peripherals.write(address, value, now);
  updateInterrupts();
}

void Board::event(uint64_t states) {
  now = states;
  peripherals.advance(states);
  updateInterrupts();
}

bool Board::setReg(int selector, uint32_t value) {
  if (selector < 0 || selector >= REGISTER_COUNT) return false;
  if (selector == 8) value &= 0xFF;
  if (selector == 9) value &= 0xFFFFFF;
  regs_[selector] = value;
  return true;
}

bool loadFlashImage(const std::string& path, Board& board, std::string& error) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  std::array<uint8_t, FLASH_END> image;
  size_t n = std::fread(image.data(), 1, image.size(), f);
  bool longer = std::fgetc(f) != EOF;
  std::fclose(f);
  if (n != image.size() || longer) {
    error = path + ": not a flash image (" + std::to_string(FLASH_END) + " bytes expected)";
    return false;
  }
  return board.place(USER_FLASH_START, &image[USER_FLASH_START], USER_FLASH_END - USER_FLASH_START);
}

bool saveFlashImage(const std::string& path, const Board& board, std::string& error) {
  // Written beside the target and renamed over it, so an interrupted write never leaves half an
  // image behind.
  std::string temp = path + ".tmp";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) {
    error = temp + ": " + std::strerror(errno);
    return false;
  }
  size_t n = std::fwrite(board.flash(), 1, FLASH_END, f);
  bool closed = std::fclose(f) == 0;
  if (n != FLASH_END || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
    error = path + ": " + std::strerror(errno);
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

bool programSysrof(const std::string& path, Board& board, Output& out) {
  std::vector<uint8_t> image(USER_FLASH_END - USER_FLASH_START, 0xFF);
  // The whole file is checked before the flash is touched; the loader's line says what is wrong.
  StringOutput problem;
  if (!loadSysrof(path.c_str(), image.data(), USER_FLASH_START, USER_FLASH_END, problem)) {
    out.printf("h8sim: %s", problem.text.c_str());
    return false;
  }
  board.eraseFlash(ERASE_USER_AREA);
  for (uint32_t offset = 0; offset < image.size(); offset += FLASH_BLOCK_SIZE) {
    const uint8_t* block = &image[offset];
    bool blank = std::all_of(block, block + FLASH_BLOCK_SIZE, [](uint8_t b) { return b == 0xFF; });
    if (!blank) board.programBlock(USER_FLASH_START + offset, block);
  }
  return true;
}

}  // namespace h8

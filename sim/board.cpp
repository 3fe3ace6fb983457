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
  flash_.fill(0xFF);
  installMonitor();
  reset();
}

// A plausible monitor ROM: a vector table whose entries point into the monitor, a reset entry
// that sets up a stack and waits, one RTE stub per vector, and an identifying string. Nothing
// executes it yet; it makes DB and DA of the monitor's area show what a real board would.
void Board::installMonitor() {
  std::memset(flash_.data(), 0xFF, USER_FLASH_START);
  for (int v = 0; v < VECTOR_COUNT; v++) {
    uint32_t target = v == 0 ? MONITOR_RESET_ENTRY : MONITOR_HANDLERS + 4 * uint32_t(v);
    store16(&flash_[2 * v], target);
  }
  const uint8_t resetCode[] = {0x79, 0x07, 0xFF, 0x80,  // mov.w #H'FF80,r7
                               0x40, 0xFE};             // bra  $
  std::memcpy(&flash_[MONITOR_RESET_ENTRY], resetCode, sizeof resetCode);
  for (int v = 1; v < VECTOR_COUNT; v++) {
    const uint8_t stub[] = {0x56, 0x70, 0x00, 0x00};  // rte ; nop
    std::memcpy(&flash_[MONITOR_HANDLERS + 4 * v], stub, sizeof stub);
  }
  std::memcpy(&flash_[MONITOR_ID], MONITOR_ID_TEXT, sizeof MONITOR_ID_TEXT);
}

const uint8_t* Board::cell(uint32_t address) const {
  if (inRange(address, FLASH_START, FLASH_END)) return &flash_[address - FLASH_START];
  if (inRange(address, RAM_START, RAM_END)) return &ram_[address - RAM_START];
  if (inRange(address, IO_LOW_START, IO_LOW_END)) return &ioLow_[address - IO_LOW_START];
  if (inRange(address, IO_HIGH_START, IO_HIGH_END)) return &ioHigh_[address - IO_HIGH_START];
  return nullptr;
}

uint8_t Board::read(uint32_t address) const {
  const uint8_t* c = cell(address);
  return c ? *c : 0xFF;
}

bool Board::writable(uint32_t address, uint32_t count) const {
  for (uint32_t i = 0; i < count; i++) {
    uint32_t a = address + i;
    if (a < address) return false;                         // wrapped past 0xFFFFFFFF
    if (inRange(a, FLASH_START, FLASH_END)) return false;  // flash takes FLASH_WRITE only
    if (!cell(a)) return false;
  }
  return true;
}

bool Board::write(uint32_t address, const uint8_t* data, uint32_t count) {
  return writable(address, count) && place(address, data, count);
}

bool Board::place(uint32_t address, const uint8_t* data, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) {
    if (address + i < address || !cell(address + i)) return false;
  }
  for (uint32_t i = 0; i < count; i++) *cell(address + i) = data[i];
  return true;
}

bool Board::eraseFlash(int block) {
  if (block != ERASE_USER_AREA) return false;
  std::memset(&flash_[USER_FLASH_START], 0xFF, USER_FLASH_END - USER_FLASH_START);
  return true;
}

// Like the real flash: programming can only turn ones into zeros, every byte is programmed as
// far as it can be, and the verify afterwards reports a block that does not hold the data.
FlashResult Board::programFlash(uint32_t source, uint32_t destination) {
  if (source < RAM_START || source > RAM_END - FLASH_BLOCK_SIZE) return FLASH_BAD_SOURCE;
  return programBlock(destination, &ram_[source - RAM_START]);
}

FlashResult Board::programBlock(uint32_t destination, const uint8_t* data) {
  if (destination % FLASH_BLOCK_SIZE != 0 || destination < USER_FLASH_START ||
      destination > USER_FLASH_END - FLASH_BLOCK_SIZE) {
    return FLASH_BAD_DESTINATION;
  }
  bool verified = true;
  for (uint32_t i = 0; i < FLASH_BLOCK_SIZE; i++) {
    uint8_t& cell = flash_[destination + i];
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
  ioLow_.fill(0);
  ioHigh_.fill(0);
  ioHigh_[SCI3_BRR - IO_HIGH_START] = 0xFF;
  ioHigh_[SCI3_TDR - IO_HIGH_START] = 0xFF;
  ioHigh_[SCI3_SSR - IO_HIGH_START] = 0x84;  // TDRE and TEND: the transmitter is idle
  sciOutput.clear();
  sciInput.clear();
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
  size_t n = std::fwrite(board.flash().data(), 1, FLASH_END, f);
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
  if (!loadSysrof(path.c_str(), image.data(), USER_FLASH_START, USER_FLASH_END, out)) {
    out.printf("h8sim: %s: no program loaded (not a SYSROF file, or data outside %04X..%04X)\n",
               path.c_str(), unsigned(USER_FLASH_START), unsigned(USER_FLASH_END - 1));
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

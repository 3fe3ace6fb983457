#include "link/monitor.h"

#include <cctype>
#include <cstring>

namespace h8 {

const RegisterName registerNames[] = {
    {"ER0", 0x000}, {"ER1", 0x001}, {"ER2", 0x002}, {"ER3", 0x003}, {"ER4", 0x004}, {"ER5", 0x005},
    {"ER6", 0x006}, {"SP", 0x007},  {"CCR", 0x008}, {"PC", 0x009},  {"R0", 0x100},  {"R1", 0x101},
    {"R2", 0x102},  {"R3", 0x103},  {"R4", 0x104},  {"R5", 0x105},  {"R6", 0x106},  {"R7", 0x107},
    {"E0", 0x200},  {"E1", 0x201},  {"E2", 0x202},  {"E3", 0x203},  {"E4", 0x204},  {"E5", 0x205},
    {"E6", 0x206},  {"E7", 0x207},  {"R0H", 0x300}, {"R1H", 0x301}, {"R2H", 0x302}, {"R3H", 0x303},
    {"R4H", 0x304}, {"R5H", 0x305}, {"R6H", 0x306}, {"R7H", 0x307}, {"R0L", 0x400}, {"R1L", 0x401},
    {"R2L", 0x402}, {"R3L", 0x403}, {"R4L", 0x404}, {"R5L", 0x405}, {"R6L", 0x406}, {"R7L", 0x407},
};
const int registerNameCount = int(std::size(registerNames));
static_assert(std::size(registerNames) == 42);

namespace {
constexpr uint32_t kChunk = 16;
}  // namespace

int Monitor::findReg(std::string& name) {
  for (char& c : name) c = char(toupper(static_cast<unsigned char>(c)));
  for (const RegisterName& r : registerNames) {
    if (name == r.name) return r.code;
  }
  return -1;
}

int Monitor::waitResponse(int expected) {
  if (link_.receivePacket() <= 0) {
    out_.puts("Error waiting packet receive.\n");
    return -1;
  }
  int code = link_.getByte();
  if (code != RESTART) return code == expected ? 0 : code;
  link_.beginPacket(VERSION);
  link_.endPacket();
  link_.sendPacket();
  if (link_.receivePacket() <= 0) {
    out_.puts("Error. Target restarted but no responce\n");
  } else if (link_.getByte() == VERSION) {
    out_.puts("Tareget board ReStarted\n");
  } else {
    out_.puts("Error. Target restarted but bad responce\n");
  }
  return RESTART;
}

bool Monitor::exchange(int code, const char* failure) {
  link_.endPacket();
  link_.sendPacket();
  if (waitResponse(code) == 0) return true;
  out_.puts(failure);
  return false;
}

int Monitor::getVersion(int& major, int& minor, int& build) {
  major = minor = build = 0;
  link_.beginPacket(VERSION);
  if (!exchange(VERSION, "Error at getting Version\n")) return 0;
  major = link_.getByte();
  minor = link_.getByte();
  build = link_.getByte();
  return 1;
}

int Monitor::getFlashProgArea(uint32_t& start, uint32_t& size) {
  start = size = 0;
  link_.beginPacket(FLASH_PROG_AREA);
  if (!exchange(FLASH_PROG_AREA, "Error at getting Flash-ROM program area.\n")) return 0;
  start = link_.getLong();
  size = link_.getLong();
  return 1;
}

int Monitor::getUserDataArea(uint32_t& start, uint32_t& size) {
  start = size = 0;
  link_.beginPacket(USER_DATA_AREA);
  if (!exchange(USER_DATA_AREA, "Error at getting User Data area.\n")) return 0;
  start = link_.getLong();
  size = link_.getLong();
  return 1;
}

bool Monitor::readMem(uint32_t address, uint32_t count, uint8_t* buffer) {
  uint32_t remaining = count & 0xFFFF;
  while (remaining > 0) {
    uint32_t chunk = remaining < kChunk ? remaining : kChunk;
    remaining -= chunk;
    link_.beginPacket(MEM_READ);
    link_.putLong(address);
    link_.putByte(chunk);
    link_.endPacket();
    link_.sendPacket();
    int r = link_.receivePacket();
    if (r <= 0) {
      out_.printf("readMem:Error receivePacket()=%d\n", r);
      return false;
    }
    int code = link_.getByte();
    if (code != MEM_READ) {
      out_.printf("readMem:Error.Responce is not MEM_READ. %d\n", code);
      return false;
    }
    for (uint32_t i = 0; i < chunk; i++) *buffer++ = link_.getByte();
    address += chunk;
  }
  return true;
}

bool Monitor::writeMem(uint32_t address, uint32_t count, const uint8_t* data) {
  uint32_t remaining = count & 0xFFFF;
  while (remaining > 0) {
    uint32_t chunk = remaining < kChunk ? remaining : kChunk;
    remaining -= chunk;
    link_.beginPacket(MEM_WRITE);
    link_.putLong(address);
    link_.putByte(chunk);
    for (uint32_t i = 0; i < chunk; i++) link_.putByte(*data++);
    link_.endPacket();
    link_.sendPacket();
    int r = link_.receivePacket();
    if (r <= 0) {
      out_.printf("writeMem:Error receivePacket()=%d\n", r);
      return false;
    }
    int code = link_.getByte();
    if (code != MEM_WRITE) {
      out_.printf("writeMem:Error.Responce is not MEM_WRITE. %d\n", code);
      return false;
    }
    if (link_.getByte() != 1) {
      out_.puts("writeMem:Error.Responce of MEM_WRITE =NG\n");
      return false;
    }
    address += chunk;
  }
  return true;
}

uint32_t Monitor::readReg(int code) {
  link_.beginPacket(REG_READ);
  link_.putByte(uint32_t(code) & 0xFF);
  link_.endPacket();
  link_.sendPacket();
  if (link_.receivePacket() < 0) {
    out_.puts("Packet error at readReg()\n");
    return 0xFFFFFFFF;
  }
  if (link_.getByte() != REG_READ) {
    out_.puts("Error not valid packet at readReg()\n");
    return 0xFFFFFFFF;
  }
  return link_.getLong();
}

void Monitor::writeReg(int code, uint32_t value) {
  link_.beginPacket(REG_WRITE);
  link_.putByte(uint32_t(code) & 0xFF);
  link_.putLong(value);
  link_.endPacket();
  link_.sendPacket();
  if (link_.receivePacket() < 0) {
    out_.puts("Packet error at writeReg()\n");
    return;
  }
  if (link_.getByte() != REG_WRITE) {
    out_.puts("Error not valid packet at writeReg()\n");
    return;
  }
  if (link_.getByte() == 0) out_.puts("Error at write register\n");
}

uint32_t Monitor::readBreakpoint() {
  link_.beginPacket(BREAK_READ);
  link_.putByte(0);
  if (!exchange(BREAK_READ, "Error at read-Breakpoint\n")) return 0;
  return link_.getLong();
}

int Monitor::writeBreakpoint(uint32_t address) {
  link_.beginPacket(BREAK_WRITE);
  link_.putLong(address);
  if (!exchange(BREAK_WRITE, "Error at write-Breakpoint\n")) return 0;
  return 1;
}

int Monitor::clearBreakpoint() {
  link_.beginPacket(BREAK_CLEAR);
  link_.putLong(0);
  if (!exchange(BREAK_CLEAR, "Error at clear-Breakpoint\n")) return 0;
  return 1;
}

}  // namespace h8

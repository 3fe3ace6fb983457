#include "link/monitor.h"

#include <cctype>

namespace h8 {

namespace {

constexpr uint32_t CHUNK = 16;

// A request answered through waitResponse that prints one line for every failure.
constexpr Exchange answered(uint8_t code, const char* failure) {
  return {code, true, StatusByte::NONE, failure, failure, failure};
}

constexpr Exchange READ_MEM = {MEM_READ,
                               false,
                               StatusByte::NONE,
                               "readMem:Error receivePacket()=%d\n",
                               "readMem:Error.Responce is not MEM_READ. %d\n",
                               nullptr};
constexpr Exchange WRITE_MEM = {MEM_WRITE,
                                false,
                                StatusByte::ONE_IS_DONE,
                                "writeMem:Error receivePacket()=%d\n",
                                "writeMem:Error.Responce is not MEM_WRITE. %d\n",
                                "writeMem:Error.Responce of MEM_WRITE =NG\n"};
constexpr Exchange READ_REG = {REG_READ,
                               false,
                               StatusByte::NONE,
                               "Packet error at readReg()\n",
                               "Error not valid packet at readReg()\n",
                               nullptr};
constexpr Exchange WRITE_REG = {REG_WRITE,
                                false,
                                StatusByte::ZERO_IS_REFUSED,
                                "Packet error at writeReg()\n",
                                "Error not valid packet at writeReg()\n",
                                "Error at write register\n"};
constexpr Exchange GET_VERSION = answered(VERSION, "Error at getting Version\n");
constexpr Exchange GET_PROG_AREA =
    answered(FLASH_PROG_AREA, "Error at getting Flash-ROM program area.\n");
constexpr Exchange GET_USER_AREA = answered(USER_DATA_AREA, "Error at getting User Data area.\n");
constexpr Exchange READ_BREAK = answered(BREAK_READ, "Error at read-Breakpoint\n");
constexpr Exchange WRITE_BREAK = answered(BREAK_WRITE, "Error at write-Breakpoint\n");
constexpr Exchange CLEAR_BREAK = answered(BREAK_CLEAR, "Error at clear-Breakpoint\n");

}  // namespace

int Monitor::findReg(std::string& name) {
  for (char& c : name) c = char(toupper(static_cast<unsigned char>(c)));
  int index = findRegisterIndex(name.c_str());
  return index < 0 ? -1 : registers[index].code();
}

int Monitor::waitResponse(int expected) {
  if (link_.receivePacket() <= 0) {
    if (!link_.interrupted()) out_.puts("Error waiting packet receive.\n");
    return WAIT_NO_FRAME;
  }
  int code = link_.getByte();
  if (code != RESTART) return code == expected ? WAIT_OK : code;
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
  return WAIT_RESTARTED;
}

Reply Monitor::request(const Exchange& x, int replyBytes) {
  Reply reply = exchange(x, replyBytes);
  if (reply != Reply::OK) failures++;
  return reply;
}

Reply Monitor::exchange(const Exchange& x, int replyBytes) {
  // Once the user has given up the command, nothing more is sent and nothing is reported: the
  // console says once that the command was interrupted.
  if (link_.interrupted()) return Reply::NO_FRAME;
  link_.endPacket();
  link_.sendPacket();
  Reply reply = Reply::OK;
  int detail = 0;
  if (x.handshake) {
    int r = waitResponse(x.code);
    if (r == WAIT_NO_FRAME) reply = Reply::NO_FRAME;
    if (r == WAIT_RESTARTED) reply = Reply::RESTARTED;
    if (r != WAIT_OK && reply == Reply::OK) reply = Reply::WRONG_CODE;
    if (reply != Reply::OK) {
      if (!link_.interrupted()) out_.printf(x.wrongCode, r);
      return reply;
    }
  } else {
    detail = link_.receivePacket();
    if (detail <= 0) {
      if (!link_.interrupted()) out_.printf(x.noFrame, detail);
      return Reply::NO_FRAME;
    }
    detail = link_.getByte();
    if (detail != x.code) {
      out_.printf(x.wrongCode, detail);
      return Reply::WRONG_CODE;
    }
  }
  // Too few bytes would be handed out as zeros, and shown or used as if the board had sent them.
  if (link_.remaining() < replyBytes) {
    out_.printf("Error: short reply to %s (%d of %d bytes)\n", requestName(x.code),
                link_.remaining(), replyBytes);
    return Reply::SHORT;
  }
  if (x.status == StatusByte::NONE) return Reply::OK;
  uint8_t status = link_.getByte();
  bool refused = x.status == StatusByte::ONE_IS_DONE ? status != 1 : status == 0;
  if (!refused) return Reply::OK;
  out_.printf(x.refused, int(status));
  return Reply::REFUSED;
}

int Monitor::getVersion(int& major, int& minor, int& build) {
  major = minor = build = 0;
  link_.beginPacket(VERSION);
  if (request(GET_VERSION, 3) != Reply::OK) return 0;
  major = link_.getByte();
  minor = link_.getByte();
  build = link_.getByte();
  return 1;
}

int Monitor::getFlashProgArea(uint32_t& start, uint32_t& size) {
  start = size = 0;
  link_.beginPacket(FLASH_PROG_AREA);
  if (request(GET_PROG_AREA, 8) != Reply::OK) return 0;
  start = link_.getLong();
  size = link_.getLong();
  return 1;
}

int Monitor::getUserDataArea(uint32_t& start, uint32_t& size) {
  start = size = 0;
  link_.beginPacket(USER_DATA_AREA);
  if (request(GET_USER_AREA, 8) != Reply::OK) return 0;
  start = link_.getLong();
  size = link_.getLong();
  return 1;
}

bool Monitor::readMem(uint32_t address, uint32_t count, uint8_t* buffer) {
  return readMem(address, count, buffer, READ_MEM);
}

bool Monitor::writeMem(uint32_t address, uint32_t count, const uint8_t* data) {
  return writeMem(address, count, data, WRITE_MEM);
}

bool Monitor::readMem(uint32_t address, uint32_t count, uint8_t* buffer, const Exchange& x) {
  uint32_t remaining = count & 0xFFFF;
  while (remaining > 0) {
    uint32_t chunk = remaining < CHUNK ? remaining : CHUNK;
    remaining -= chunk;
    link_.beginPacket(MEM_READ);
    link_.putLong(address);
    link_.putByte(chunk);
    if (request(x, int(chunk)) != Reply::OK) return false;
    for (uint32_t i = 0; i < chunk; i++) *buffer++ = link_.getByte();
    address += chunk;
  }
  return true;
}

bool Monitor::writeMem(uint32_t address, uint32_t count, const uint8_t* data, const Exchange& x) {
  uint32_t remaining = count & 0xFFFF;
  while (remaining > 0) {
    uint32_t chunk = remaining < CHUNK ? remaining : CHUNK;
    remaining -= chunk;
    link_.beginPacket(MEM_WRITE);
    link_.putLong(address);
    link_.putByte(chunk);
    for (uint32_t i = 0; i < chunk; i++) link_.putByte(*data++);
    if (request(x) != Reply::OK) return false;
    address += chunk;
  }
  return true;
}

uint32_t Monitor::readReg(int code) {
  link_.beginPacket(REG_READ);
  link_.putByte(uint32_t(code) & 0xFF);
  if (request(READ_REG, 4) != Reply::OK) return 0xFFFFFFFF;
  return link_.getLong();
}

void Monitor::writeReg(int code, uint32_t value) {
  link_.beginPacket(REG_WRITE);
  link_.putByte(uint32_t(code) & 0xFF);
  link_.putLong(value);
  request(WRITE_REG);
}

uint32_t Monitor::readBreakpoint() {
  link_.beginPacket(BREAK_READ);
  link_.putByte(0);
  if (request(READ_BREAK, 4) != Reply::OK) return 0;
  return link_.getLong();
}

int Monitor::writeBreakpoint(uint32_t address) {
  link_.beginPacket(BREAK_WRITE);
  link_.putLong(address);
  return request(WRITE_BREAK) == Reply::OK ? 1 : 0;
}

int Monitor::clearBreakpoint() {
  link_.beginPacket(BREAK_CLEAR);
  link_.putLong(0);
  return request(CLEAR_BREAK) == Reply::OK ? 1 : 0;
}

Reply Monitor::eraseFlash(const Exchange& x) {
  link_.beginPacket(FLASH_ERASE);
  link_.putByte(ERASE_USER_AREA);
  return request(x);
}

Reply Monitor::programFlash(uint32_t source, uint32_t target, const Exchange& x) {
  link_.beginPacket(FLASH_WRITE);
  link_.putLong(source);
  link_.putLong(target);
  return request(x);
}

void Monitor::go() {
  if (link_.interrupted()) return;
  link_.beginPacket(GO);
  link_.endPacket();
  link_.sendPacket();
}

}  // namespace h8

// Request and response codes of the monitor protocol (the TYPE byte of a frame).
#pragma once

#include <cstdint>

namespace h8 {

enum RequestCode : uint8_t {
  MEM_READ = 0x00,
  MEM_WRITE = 0x01,
  REG_READ = 0x10,
  REG_WRITE = 0x11,
  VERSION = 0x12,
  FLASH_PROG_AREA = 0x13,
  USER_DATA_AREA = 0x14,
  BREAK_READ = 0x31,
  BREAK_WRITE = 0x32,
  BREAK_CLEAR = 0x33,
  GO = 0x41,
  RESTART = 0x50,
  FLASH_ERASE = 0x60,
  FLASH_WRITE = 0x61,
};

// Register selectors on the wire.
constexpr int REG_SP = 7;
constexpr int REG_CCR = 8;
constexpr int REG_PC = 9;

// Stop codes the monitor reports in its GO reply.
constexpr int STOP_ABORT = 7;
constexpr int STOP_BREAK = 12;

}  // namespace h8

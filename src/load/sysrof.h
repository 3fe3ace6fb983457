// SYSROF absolute load modules (*.ABS): the record reader and the loader that copies object data
// into a host memory image.
//
//   readByte(f)          next byte 0..255, or -1 at end of file or on a read error
//   readRecord(f, rec)   one record into rec[0..L-1]: type, length L, body. Returns L (0..255),
//                        RECORD_NONE at the end of the file before a record, RECORD_CUT when
//                        the file ends inside one. With L of 0, 1 or 2 only the two header
//                        bytes are read.
//   loadSysrof(path, buffer, base, limit, out)
//                        copy every Object data record's bytes to buffer[address - base]; 1 when
//                        the whole file is sound, else 0 with one line naming the file and the
//                        problem: it cannot be opened or is no regular file, it ends inside a
//                        record or before an end record, an object data record is too short
//                        for its fields or lies outside base..limit-1, or no data was loaded.
//                        The whole file is read before the caller acts on the image, so a
//                        refused file never reaches the flash.
//   loadSysrofStream(f, name, ...)   the same on an open file; `name` is for the messages
//
// Record layout: byte 0 type (low seven bits; the top bit is ignored), byte 1 length of the
// whole record, then the body; multi-byte fields are big-endian; names are counted strings.
// The loader owns no state: the caller owns the buffer (MemImage for the user flash).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

#include "common/output.h"
#include "common/target.h"

namespace h8 {

constexpr int SYSROF_RECORD_SIZE = 256;

// Record types (low seven bits of byte 0).
enum SysrofType : uint8_t {
  SYSROF_UNIT = 0x06,
  SYSROF_SECTION = 0x08,
  SYSROF_IMPORT = 0x0C,
  SYSROF_EXPORT = 0x14,
  SYSROF_SECTION_HEADER = 0x1A,
  SYSROF_OBJECT_DATA = 0x1C,
  SYSROF_END = 0x7F,
};

inline int sysrofType(const uint8_t* record) { return record[0] & 0x7F; }

// Object data record: load address at 3..6, byte count K at 7, data from 8.
constexpr int OBJECT_ADDRESS = 3;
constexpr int OBJECT_COUNT = 7;
constexpr int OBJECT_DATA = 8;

// The host image of the user flash: offset = target address - USER_FLASH_START.
constexpr uint32_t MEM_IMAGE_SIZE = 65536;
using MemImage = std::array<uint8_t, MEM_IMAGE_SIZE>;

int readByte(FILE* file);
// readRecord's results besides a length.
constexpr int RECORD_NONE = -1;
constexpr int RECORD_CUT = -2;

int readRecord(FILE* file, uint8_t record[SYSROF_RECORD_SIZE]);
int loadSysrof(const char* path, uint8_t* buffer, uint32_t base, uint32_t limit, Output& out);
int loadSysrofStream(FILE* file, const char* name, uint8_t* buffer, uint32_t base, uint32_t limit,
                     Output& out);

}  // namespace h8

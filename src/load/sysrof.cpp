#include "load/sysrof.h"

#include <cstring>

#include "common/bigendian.h"
#include "common/input_file.h"

namespace h8 {

int readByte(FILE* file) {
  int c = fgetc(file);
  return c == EOF ? -1 : c;
}

int readRecord(FILE* file, uint8_t record[SYSROF_RECORD_SIZE]) {
  int type = readByte(file);
  if (type < 0) return RECORD_NONE;
  int length = readByte(file);
  if (length < 0) return RECORD_CUT;
  record[0] = uint8_t(type);
  record[1] = uint8_t(length);
  // A length below 2 claims less than the header itself: the header alone is taken.
  for (int i = 2; i < length; i++) {
    int c = readByte(file);
    if (c < 0) return RECORD_CUT;
    record[i] = uint8_t(c);
  }
  return length;
}

int loadSysrof(const char* path, uint8_t* buffer, uint32_t base, uint32_t limit, Output& out) {
  if (const char* problem = inputFileProblem(path)) {
    out.printf("Can't open file %s: %s\n", path, problem);
    return 0;
  }
  FILE* file = fopen(path, "rb");
  if (file == nullptr) {
    out.printf("Can't open file %s\n", path);
    return 0;
  }
  int result = loadSysrofStream(file, path, buffer, base, limit, out);
  fclose(file);
  return result;
}

int loadSysrofStream(FILE* file, const char* name, uint8_t* buffer, uint32_t base, uint32_t limit,
                     Output& out) {
  bool loaded = false;
  uint8_t record[SYSROF_RECORD_SIZE];
  for (;;) {
    long offset = ftell(file);
    int length = readRecord(file, record);
    if (length == RECORD_NONE) {
      out.printf("Corrupt SYSROF file %s: no end record\n", name);
      return 0;
    }
    if (length == RECORD_CUT) {
      out.printf("Corrupt SYSROF file %s: it ends inside the record at offset %ld\n", name,
                 offset);
      return 0;
    }
    int type = sysrofType(record);
    if (type == SYSROF_END) break;
    if (type != SYSROF_OBJECT_DATA) continue;
    // The count and the data must lie inside the record; bytes past its length would come
    // from an earlier record.
    int count = length > OBJECT_COUNT ? record[OBJECT_COUNT] : 0;
    if (length < OBJECT_DATA || OBJECT_DATA + count > length) {
      out.printf("Corrupt SYSROF file %s: object data record of %d bytes is too short\n", name,
                 length);
      return 0;
    }
    uint32_t address = load32(record + OBJECT_ADDRESS);
    // 64-bit sum: an address near 0xFFFFFFFF must not wrap into the window.
    uint64_t end = uint64_t(address) + uint64_t(count);
    if (address < base || end > uint64_t(limit)) {
      out.printf("SYSROF file %s: object data at %08lX - %08lX lies outside %08lX - %08lX\n",
                 name, (unsigned long)address, (unsigned long)uint32_t(end - (count > 0)),
                 (unsigned long)base, (unsigned long)(limit - 1));
      return 0;
    }
    memcpy(buffer + (address - base), record + OBJECT_DATA, size_t(count));
    loaded = true;
  }
  if (!loaded) out.printf("SYSROF file %s: no object data\n", name);
  return loaded ? 1 : 0;
}

}  // namespace h8

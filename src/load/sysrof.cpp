#include "load/sysrof.h"

#include <cstring>

#include "common/bigendian.h"

namespace h8 {

int readByte(FILE* file) {
  int c = fgetc(file);
  return c == EOF ? -1 : c;
}

int readRecord(FILE* file, uint8_t record[SYSROF_RECORD_SIZE]) {
  int type = readByte(file);
  if (type < 0) return -1;
  int length = readByte(file);
  if (length < 0) return -1;
  record[0] = uint8_t(type);
  record[1] = uint8_t(length);
  // A length below 2 claims less than the header itself: the header alone is taken.
  for (int i = 2; i < length; i++) {
    int c = readByte(file);
    if (c < 0) return -1;
    record[i] = uint8_t(c);
  }
  return length;
}

int loadSysrof(const char* path, uint8_t* buffer, uint32_t base, uint32_t limit, Output& out) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) {
    out.printf("Can't open file %s\n", path);
    return 0;
  }
  int result = 0;
  uint8_t record[SYSROF_RECORD_SIZE];
  for (;;) {
    int length = readRecord(file, record);
    if (length < 0) break;
    int type = sysrofType(record);
    if (type == SYSROF_OBJECT_DATA) {
      // The count and the data must lie inside the record; bytes past its length would come
      // from an earlier record.
      int count = length > OBJECT_COUNT ? record[OBJECT_COUNT] : 0;
      if (length < OBJECT_DATA || OBJECT_DATA + count > length) {
        out.printf("Corrupt SYSROF file %s: object data record of %d bytes is too short\n", path,
                   length);
        result = 0;
        break;
      }
      uint32_t address = load32(record + OBJECT_ADDRESS);
      // 64-bit sum: an address near 0xFFFFFFFF must not wrap into the window.
      if (address < base || uint64_t(address) + uint64_t(count) > uint64_t(limit)) {
        result = 0;
        break;
      }
      memcpy(buffer + (address - base), record + OBJECT_DATA, size_t(count));
      result = 1;
    }
    if (type == SYSROF_END) break;
  }
  fclose(file);
  return result;
}

}  // namespace h8

// Drives the SYSROF readers: the loader that LO uses (loadSysrofStream, behind loadSysrof) and
// the record listing of `h8abs list` (listSysrofStream), each on the whole input as one SYSROF
// file through an in-memory stream.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/output.h"
#include "common/target.h"
#include "load/sysrof.h"
#include "load/sysrof_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // What the loader stores does not steer anything that follows, so the image is not cleared.
  static h8::MemImage image;
  static const uint8_t empty[1] = {0};
  uint8_t* bytes = const_cast<uint8_t*>(size > 0 ? data : empty);
  h8::NullOutput out;

  FILE* stream = fmemopen(bytes, size, "rb");
  if (stream == nullptr) return 0;
  h8::loadSysrofStream(stream, "input", image.data(), h8::USER_FLASH_START, h8::USER_FLASH_END,
                       out);
  fclose(stream);

  stream = fmemopen(bytes, size, "rb");
  if (stream == nullptr) return 0;
  h8::listSysrofStream(stream, out);
  fclose(stream);
  return 0;
}

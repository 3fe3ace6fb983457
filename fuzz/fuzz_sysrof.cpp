// Drives the SYSROF readers: the loader that LO uses (loadSysrof, from a file: the input is
// written to one temporary file per process, rewritten each run) and the record listing of
// `h8abs list` (listSysrofStream, on the input through an in-memory stream). The whole input is
// one SYSROF file for both.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fuzz_support.h"
#include "load/sysrof.h"
#include "load/sysrof_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static h8fuzz::TempFile file("sysrof");
  static h8::MemImage image;
  h8::NullOutput out;

  image.fill(0xFF);
  const std::string& path = file.write(data, size);
  h8::loadSysrof(path.c_str(), image.data(), h8::USER_FLASH_START, h8::USER_FLASH_END, out);

  static const uint8_t empty[1] = {0};
  FILE* stream = fmemopen(const_cast<uint8_t*>(size > 0 ? data : empty), size, "rb");
  if (stream == nullptr) return 0;
  h8::listSysrofStream(stream, out);
  fclose(stream);
  return 0;
}

#include "load/program_load.h"

#include <cstring>

#include "load/objfile.h"
#include "load/sysrof.h"

namespace h8 {

int loadProgram(const char* path, uint8_t* buffer, uint32_t base, uint32_t limit, Output& out,
                const char** format) {
  ObjectFormat kind = peekFormat(path);
  *format = formatName(kind);
  if (kind == ObjectFormat::NONE) return loadSysrof(path, buffer, base, limit, out);
  ProgramImage image;
  std::string error;
  if (!readProgram(path, image, error) || !checkProgram(path, image, base, limit, error)) {
    out.printf("%s\n", error.c_str());
    return 0;
  }
  for (const ImageSection& s : image.sections) {
    if (!s.data.empty()) memcpy(buffer + (s.loadAddress - base), s.data.data(), s.data.size());
  }
  return 1;
}

}  // namespace h8

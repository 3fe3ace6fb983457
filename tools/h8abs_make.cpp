#include "h8abs_make.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/target.h"
#include "h8abs_commands.h"
#include "load/mapfile.h"
#include "load/objfile.h"
#include "load/sysrof_write.h"

namespace h8 {

namespace {

size_t baseStart(const std::string& path) {
  size_t slash = path.find_last_of("/\\:");
  return slash == std::string::npos ? 0 : slash + 1;
}

bool writeFile(const std::string& path, const void* data, size_t n, std::string& error) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = path + ": can't create: " + strerror(errno);
    return false;
  }
  bool written = fwrite(data, 1, n, file) == n;
  if (fclose(file) != 0) written = false;
  if (!written) error = path + ": write error";
  return written;
}

}  // namespace

std::string makeOutputName(const std::string& input, const char* extension) {
  size_t dot = input.find_last_of('.');
  if (dot == std::string::npos || dot < baseStart(input)) dot = input.size();
  return input.substr(0, dot) + extension;
}

int runMake(int argc, char** argv, Output& out, Output& err) {
  const char* input = nullptr;
  std::string absPath, mapPath, symbolsPath;
  for (int i = 1; i < argc; i++) {
    std::string* value = strcmp(argv[i], "-o") == 0          ? &absPath
                         : strcmp(argv[i], "--map") == 0     ? &mapPath
                         : strcmp(argv[i], "--symbols") == 0 ? &symbolsPath
                                                             : nullptr;
    if (value != nullptr) {
      if (i + 1 >= argc) {
        err.printf("h8abs: make: %s needs a file name\n", argv[i]);
        return EXIT_USAGE;
      }
      *value = argv[++i];
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      err.printf("h8abs: make: unknown option '%s'\n", argv[i]);
      return EXIT_USAGE;
    } else if (input != nullptr) {
      err.puts("h8abs: make: too many arguments\n");
      return EXIT_USAGE;
    } else {
      input = argv[i];
    }
  }
  if (input == nullptr) {
    err.puts("h8abs: make: missing INPUT\n");
    return EXIT_USAGE;
  }
  if (absPath.empty()) absPath = makeOutputName(input, ".abs");
  if (mapPath.empty()) mapPath = makeOutputName(input, ".map");
  if (absPath == input || mapPath == input || absPath == mapPath) {
    err.printf("h8abs: make: the outputs %s and %s must differ from each other and the input\n",
               absPath.c_str(), mapPath.c_str());
    return EXIT_USAGE;
  }

  ProgramImage image;
  std::string error, date;
  bool done = readProgram(input, image, error);
  if (done && !symbolsPath.empty()) done = readNmSymbols(symbolsPath, image.symbols, error);
  done = done && checkProgram(input, image, USER_FLASH_START, USER_FLASH_END, error);
  done = done && sysrofDate(getenv("SOURCE_DATE_EPOCH"), date, error);
  std::string module = makeOutputName(input, "").substr(baseStart(input));
  std::vector<std::string> notes, refused;
  std::vector<uint8_t> abs;
  std::string map;
  if (done) {
    abs = writeSysrof(image, module, date, notes);
    map = writeMap(image, input, refused);
    done = writeFile(absPath, abs.data(), abs.size(), error) &&
           writeFile(mapPath, map.data(), map.size(), error);
  }
  if (!done) {
    err.printf("h8abs: %s\n", error.c_str());
    return EXIT_FAILED;
  }
  for (const std::string& note : notes)
    err.printf("h8abs: %s: %s\n", absPath.c_str(), note.c_str());
  for (const std::string& r : refused) err.printf("h8abs: %s: %s\n", mapPath.c_str(), r.c_str());

  size_t bytes = 0;
  for (const ImageSection& s : image.sections) bytes += s.data.size();
  out.printf("%s: %s file, %lu bytes to load", input, formatName(image.format),
             (unsigned long)bytes);
  if (image.hasEntry) out.printf(", entry %s", hexAddress(image.entry).c_str());
  out.printf("\nwrote %s (%lu bytes) and %s (%lu of %lu symbols)\n", absPath.c_str(),
             (unsigned long)abs.size(), mapPath.c_str(),
             (unsigned long)(image.symbols.size() - refused.size()),
             (unsigned long)image.symbols.size());
  return EXIT_DONE;
}

}  // namespace h8

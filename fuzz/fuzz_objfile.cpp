// Drives `h8abs make`'s readers on the whole input as the file to convert: the reader that
// detectFormat picks (COFF, ELF, S-record or Intel HEX, from the bytes in memory), checkProgram
// against the user flash, and for a program that passes, the SYSROF module and map file it would
// write; the module must list to its end record. Input no reader takes is read as an nm listing
// (--symbols), from one temporary file per process rewritten each run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/target.h"
#include "fuzz_support.h"
#include "load/mapfile.h"
#include "load/objfile.h"
#include "load/sysrof_list.h"
#include "load/sysrof_write.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static h8fuzz::TempFile file("nm");
  const std::string path = "input";
  const std::vector<uint8_t> bytes(data, data + size);
  h8::ProgramImage image;
  std::string error;
  if (h8::detectFormat(bytes.data(), bytes.size()) == h8::ObjectFormat::NONE) {
    std::vector<h8::ImageSymbol> symbols;
    h8::readNmSymbols(file.write(data, size), symbols, error);
    h8::orderSymbols(symbols);
    return 0;
  }
  if (!h8::readProgramBytes(path, bytes, image, error)) return 0;
  h8::orderSymbols(image.symbols);
  if (!h8::checkProgram(path, image, h8::USER_FLASH_START, h8::USER_FLASH_END, error)) return 0;

  std::vector<std::string> notes, refused;
  std::vector<uint8_t> module = h8::writeSysrof(image, "input", "260101000000", notes);
  h8::writeMap(image, path, refused);
  h8::NullOutput out;
  FILE* stream = fmemopen(module.data(), module.size(), "rb");
  if (stream == nullptr) __builtin_trap();
  // What h8abs writes, h8abs lists to the end record.
  if (h8::listSysrofStream(stream, out) != 1) __builtin_trap();
  fclose(stream);
  return 0;
}

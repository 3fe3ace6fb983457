// Programs as the GNU toolchain writes them, read into one in-memory image: COFF for the H8/300
// family (binutils' coff-h8300), ELF32 big-endian for the H8/300 family (e_machine 46), Motorola
// S-records and Intel HEX. The format is recognised from the content, never from the name.
//
//   detectFormat(b, n)              the format the first n bytes announce (NONE: none of these)
//   peekFormat(path)                the format of the file's first bytes (NONE when unreadable)
//   formatName(f)                   "COFF", "ELF", "S-record", "Intel HEX" ("SYSROF" for NONE)
//   readInputFile(path, bytes, e)   the whole file, refused when not a regular file or larger
//                                   than MAX_INPUT_SIZE
//   readProgram(path, image, e)     read any of the formats; false with a one-line error
//   readProgramBytes(path, f, i, e) the same on the file's bytes already in memory
//   readObjectSymbols(path, img, e) NOT_OBJECT unless COFF or ELF; else READ or FAILED (with e)
//   readNmSymbols(path, syms, e)    symbols from `nm` output (ADDRESS [SIZE] TYPE NAME lines)
//   checkProgram(p, img, b, lim, e) every byte to load lies in base..lim-1 and no two sections
//                                   give one address different bytes; false names the address
//   orderSymbols(syms)              the order symbols are handed on in: globals first, then
//                                   locals, each by address (file order among equals)
//   hexAddress(a)                   "0x1000": the form every message gives addresses in
//
// Every error is one line that names the file. Files are untrusted: every offset and count is
// checked against the bytes read, and nothing is larger than the file it comes from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace h8 {

// The user flash is 28 KiB; a few MiB covers any program's file with its debugging sections.
constexpr size_t MAX_INPUT_SIZE = 16u << 20;

enum class ObjectFormat { NONE, COFF, ELF, SREC, IHEX };

struct ImageSection {
  std::string name;
  uint32_t address = 0;      // where it runs: the addresses its symbols carry
  uint32_t loadAddress = 0;  // where its bytes are programmed (differs for ROM-copied data)
  uint32_t size = 0;
  uint32_t align = 1;
  bool code = false;
  std::vector<uint8_t> data;  // empty for a section without contents (.bss)
};

struct ImageSymbol {
  std::string name;
  uint32_t address = 0;
  bool global = false;
  bool code = false;
};

struct ProgramImage {
  ObjectFormat format = ObjectFormat::NONE;
  bool hasEntry = false;
  uint32_t entry = 0;
  std::vector<ImageSection> sections;
  std::vector<ImageSymbol> symbols;
};

enum class ReadResult { NOT_OBJECT, READ, FAILED };

ObjectFormat detectFormat(const uint8_t* bytes, size_t n);
ObjectFormat peekFormat(const std::string& path);
const char* formatName(ObjectFormat format);
bool readInputFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);
bool readProgram(const std::string& path, ProgramImage& image, std::string& error);
bool readProgramBytes(const std::string& path, const std::vector<uint8_t>& file,
                      ProgramImage& image, std::string& error);
ReadResult readObjectSymbols(const std::string& path, ProgramImage& image, std::string& error);
bool readNmSymbols(const std::string& path, std::vector<ImageSymbol>& symbols, std::string& error);
bool checkProgram(const std::string& path, const ProgramImage& image, uint32_t base, uint32_t limit,
                  std::string& error);
std::vector<ImageSymbol> orderSymbols(const std::vector<ImageSymbol>& symbols);
std::string hexAddress(uint32_t address);

// The format readers behind readProgram, on the whole file's bytes; `path` names the file in
// errors. They live in objfile_binary.cpp (COFF, ELF) and objfile_text.cpp (S-records, HEX).
bool readCoff(const std::string& path, const std::vector<uint8_t>& file, ProgramImage& image,
              std::string& error);
bool readElf(const std::string& path, const std::vector<uint8_t>& file, ProgramImage& image,
             std::string& error);
bool readSrec(const std::string& path, const std::vector<uint8_t>& file, ProgramImage& image,
              std::string& error);
bool readIhex(const std::string& path, const std::vector<uint8_t>& file, ProgramImage& image,
              std::string& error);

// Pieces of data read from a text format, in file order, as sections named .sec1, .sec2, ...
// over each contiguous run; false (naming the address) when two pieces give one address
// different bytes.
bool mergePieces(const std::string& path, std::vector<ImageSection>& pieces, ProgramImage& image,
                 std::string& error);

}  // namespace h8

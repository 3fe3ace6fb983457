#include "load/objfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "load/program_files.h"
#include "load/program_load.h"
#include "load/sysrof.h"

using namespace h8;
using namespace h8test;

namespace {

// An image in one line: each section as NAME LOAD[/RUN] BYTES (or "space SIZE") [code], then
// after " | " each symbol as NAME=ADDRESS with G or L and C or D.
std::string describe(const ProgramImage& image) {
  std::string text;
  char buf[32];
  for (const ImageSection& s : image.sections) {
    snprintf(buf, sizeof buf, "%lX", (unsigned long)s.loadAddress);
    text += (text.empty() ? "" : "; ") + s.name + " " + buf;
    if (s.address != s.loadAddress) snprintf(buf, sizeof buf, "/%lX", (unsigned long)s.address);
    if (s.address != s.loadAddress) text += buf;
    text += s.data.empty() ? " space " + std::to_string(s.size) : " ";
    for (uint8_t b : s.data) snprintf(buf, sizeof buf, "%02X", b), text += buf;
    if (s.code) text += " code";
  }
  text += " |";
  for (const ImageSymbol& s : image.symbols) {
    snprintf(buf, sizeof buf, "=%lX ", (unsigned long)s.address);
    text += " " + s.name + buf + (s.global ? "G" : "L") + (s.code ? "C" : "D");
  }
  return text;
}

// Reads `file` saved under the test's name; the image described, or the error with the path
// given as F.
std::string read(const Bytes& file, ProgramImage* kept = nullptr) {
  std::string path = testFile(".in", file), error;
  ProgramImage image;
  if (!readProgram(path, image, error)) return "F" + error.substr(path.size());
  if (kept != nullptr) *kept = image;
  return describe(image);
}
std::string read(const std::string& text) { return read(Bytes(text.begin(), text.end())); }

// The first n bytes of `file` through its format's reader, in memory: "" read, else the error.
std::string readCut(const Bytes& file, size_t n) {
  Bytes cut(file.begin(), file.begin() + long(n));
  ProgramImage image;
  std::string error;
  bool elf = file[0] == 0x7F;
  return (elf ? readElf : readCoff)("F", cut, image, error) ? "" : error;
}

// An S-record or Intel HEX line: `line` and the bytes `b` in hexadecimal, then the checksum, the
// ones' complement of their sum (S-records) or its two's complement (Intel HEX).
std::string hexLine(std::string line, const Bytes& b, bool onesComplement) {
  uint8_t sum = 0;
  char hex[4];
  for (uint8_t x : b) snprintf(hex, sizeof hex, "%02X", x), line += hex, sum = uint8_t(sum + x);
  snprintf(hex, sizeof hex, "%02X", uint8_t(onesComplement ? ~sum : -sum));
  return line + hex + "\n";
}
std::string srec(int type, uint32_t address, const Bytes& data) {
  static const int ADDRESS_BYTES[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
  Bytes b{uint8_t(ADDRESS_BYTES[type] + data.size() + 1)};
  for (int i = ADDRESS_BYTES[type] - 1; i >= 0; i--) b.push_back(uint8_t(address >> (8 * i)));
  return hexLine("S" + std::to_string(type), cat({b, data}), true);
}
std::string ihex(int type, uint32_t offset, const Bytes& data) {
  Bytes head{uint8_t(data.size()), uint8_t(offset >> 8), uint8_t(offset), uint8_t(type)};
  return hexLine(":", cat({head, data}), false);
}

constexpr uint8_t GLOBAL_FUNC = 0x12, LOCAL_OBJECT = 0x01, GLOBAL_NOTYPE = 0x10;

ElfLayout sampleElf(bool segments) {
  ElfLayout e;
  e.sections = {{".text", 1, 6, 0x1000, {0x79, 0x00, 0x12, 0x34}},
                {".data", 1, 3, segments ? 0xF780u : 0x1004u, {5, 6}},
                {".bss", 8, 3, 0xF782, {}, 2},
                {".comment", 1, 0, 0, {'x'}}};
  if (segments) e.segments = {{0x1000, 0x1000, 1, true}, {0xF780, 0x1004, 2, false}};
  e.symbols = {{"_main", 0x1000, GLOBAL_FUNC, 1},
               {"_x", 0xF780, LOCAL_OBJECT, 2},
               {"_limit", 0x20, GLOBAL_NOTYPE, 0xFFF1},
               {"", 0x1000, 0x03, 1},
               {"f.c", 0, 0x04, 0xFFF1},
               {"_ext", 0, GLOBAL_NOTYPE, 0},
               {"_label", 0x1002, 0x00, 1}};
  return e;
}

TEST(ReadProgram, ElfSegmentsOrSectionsAndItsSymbols) {
  const std::string symbols = " | _main=1000 GC _x=F780 LD _limit=20 GD _label=1002 LC";
  EXPECT_EQ(read(buildElf(sampleElf(true))),
            ".text 1000 79001234 code; .data 1004/F780 0506; .bss F782 space 2" + symbols);
  EXPECT_EQ(read(buildElf(sampleElf(false))),
            ".text 1000 79001234 code; .data 1004 0506; .bss F782 space 2" + symbols);
  // clang-format off
  const struct { void (*change)(ElfLayout&); const char* error; } refused[] = {
      {[](ElfLayout& e) { e.type = 1; }, "F: a relocatable object, not a linked program"},
      {[](ElfLayout& e) { e.type = 3; }, "F: not an executable ELF file"},
      {[](ElfLayout& e) { e.machine = 47; }, "F: an ELF file for machine 47, not for the H8/300 family (46)"},
      {[](ElfLayout& e) { e.flags = 0x00820000; }, "F: built for the H8S; the board's CPU is an H8/300H"},
  };
  // clang-format on
  for (const auto& r : refused) {
    ElfLayout e = sampleElf(true);
    r.change(e);
    EXPECT_EQ(read(buildElf(e)), r.error);
  }
  Bytes elf64 = buildElf(sampleElf(true));
  elf64[4] = 2;
  EXPECT_EQ(read(elf64), "F: not a 32-bit big-endian ELF file, as the H8/300 family's are");
}

// Every prefix of a file is refused with one line (changed bytes are fuzz_objfile's).
TEST(ReadProgram, EveryCutOfAnElfFileIsRefused) {
  Bytes elf = buildElf(sampleElf(true));
  for (size_t n = 0; n < elf.size(); n++) {
    EXPECT_EQ(readCut(elf, n).rfind("F: truncated: ", 0), 0u) << n << ": " << readCut(elf, n);
  }
  // Segments that all load the same bytes are refused before they add up.
  ElfLayout many = sampleElf(true);
  many.sections[0].data.resize(60000);
  many.segments.assign(300, {0x1000, 0x1000, 1, true});
  Bytes overlaid = buildElf(many);
  EXPECT_EQ(readCut(overlaid, overlaid.size()),
            "F: corrupt: its headers point at the same bytes over and over");
}

TEST(ReadProgram, SrecordsAndIntelHexWithTheirChecks) {
  const std::string s1 = srec(1, 0x1000, {1, 2, 3});
  const std::string hexEnd = ihex(1, 0, {});
  // clang-format off
  const struct { std::string file, result; } rows[] = {
      {srec(0, 0, {'h', 'i'}) + s1 + srec(1, 0x1003, {4}) + srec(1, 0x2000, {9}) + srec(5, 3, {}) +
       srec(9, 0x1000, {}), ".sec1 1000 01020304; .sec2 2000 09 |"},
      {srec(2, 0x1001, {2, 3, 5}) + s1 + srec(3, 0x1003, {5}) + "\r\n" + srec(8, 0x1000, {}),
       ".sec1 1000 01020305 |"},
      {s1 + srec(7, 0x1000, {}) + "garbage after the end\n", ".sec1 1000 010203 |"},
      {s1 + srec(1, 0x1002, {4, 7}) + srec(9, 0, {}), "F: overlapping data with different bytes at 0x1002"},
      {s1 + srec(9, 0, {}).replace(8, 2, "00"), "F:2: bad checksum 0x00 (the record needs 0xFC)"},
      {s1 + srec(5, 2, {}) + srec(9, 0, {}), "F:2: counts 2 data records; the file has 1"},
      {s1, "F: truncated: no S7, S8 or S9 end record"},
      {s1.substr(0, 12) + "\n" + srec(9, 0, {}), "F:1: truncated: shorter than its count says"},
      {s1 + "S4030000FC\n", "F:2: S4 is not a record type"},
      {s1 + "S1xx\n", "F:2: not hexadecimal pairs"},
      {s1 + ":00000001FF\n", "F:2: not an S-record"},
      {ihex(4, 0, {0, 0}) + ihex(0, 0x1000, {1, 2}) + ihex(2, 0, {0x01, 0x00}) +
       ihex(0, 0x0002, {3}) + ihex(5, 0, {0, 0, 0x10, 0}) + hexEnd, ".sec1 1000 010203 |"},
      {ihex(0, 0x1000, {1}) + ihex(3, 0, {0, 0x10, 0, 4}) + hexEnd, ".sec1 1000 01 |"},
      {ihex(0, 0x1000, {1}) + ihex(0, 0x1000, {2}) + hexEnd, "F: overlapping data with different bytes at 0x1000"},
      {ihex(0, 0x1000, {1}).replace(11, 2, "00") + hexEnd, "F:1: bad checksum 0x00 (the record needs 0xEE)"},
      {ihex(6, 0, {}) + hexEnd, "F:1: unknown record type 0x06"},
      {ihex(4, 0, {0}) + hexEnd, "F:1: record type 0x04 of 1 bytes, not 2"},
      {ihex(0, 0x1000, {1}), "F: truncated: no end record (type 01)"},
      {":0510000001\n" + hexEnd, "F:1: truncated: shorter than its count says"},
      {"\x02\x00\x01", "F: not a COFF, ELF, S-record or Intel HEX file"},
      {"", "F: empty file"},
  };
  // clang-format on
  for (const auto& row : rows) EXPECT_EQ(read(row.file), row.result) << row.file;
}

TEST(ReadProgram, NmSymbolsAndNoFilesThatAreNotRegular) {
  std::string path = testFile(".nm",
                              "\nprog.o:\n00001000 T _main\n0000100a t _sub\n         U _ext\n"
                              "0000000000002000 00000004 D _counter\n00002004 b .bss\n"
                              "00002004 W _weak\n0000fefc A _stack  \r\n00002000 N debug\n");
  std::vector<ImageSymbol> symbols;
  std::string error;
  ASSERT_TRUE(readNmSymbols(path, symbols, error)) << error;
  ProgramImage image;
  image.symbols = symbols;
  EXPECT_EQ(describe(image),
            " | _main=1000 GC _sub=100A LC _counter=2000 GD _weak=2004 GC _stack=FEFC GD");
  for (const char* bad : {"1000 T\n", "zz T x\n", "100000000 T x\n", "1000 TT x\n"}) {
    EXPECT_FALSE(readNmSymbols(testFile(".nm", std::string("1 T a\n") + bad), symbols, error));
    EXPECT_NE(error.find(":2: not an nm line (ADDRESS TYPE NAME)"), error.npos) << bad;
  }
  EXPECT_FALSE(readProgram(H8_BUILD_DIR "/tests", image, error));
  EXPECT_EQ(error, H8_BUILD_DIR "/tests: it is a directory");
}

ImageSection piece(uint32_t at, const Bytes& data, const char* name = ".s") {
  ImageSection s;
  s.name = name;
  s.address = s.loadAddress = at;
  s.size = uint32_t(data.size());
  s.data = data;
  return s;
}

TEST(CheckProgram, TheUserFlashOnlyAndOneByteAnAddress) {
  // clang-format off
  const struct { std::vector<ImageSection> sections; ObjectFormat format; const char* error; } rows[] = {
      {{piece(0x1000, {1}), piece(0x7FFF, {2}), piece(0xF780, {})}, ObjectFormat::SREC, ""},
      {{piece(0x1000, {1, 2}), piece(0x1001, {2, 3}), piece(0x1000, {1})}, ObjectFormat::SREC, ""},
      {{piece(0x0FFF, {1, 2})}, ObjectFormat::SREC, "F: data at 0x0FFF-0x1000 lies outside the user flash 0x1000-0x7FFF"},
      {{piece(0x7FFF, {1, 2}, ".data")}, ObjectFormat::COFF, "F: data at 0x7FFF-0x8000 (.data) lies outside the user flash 0x1000-0x7FFF"},
      {{piece(0xFFFFFFFF, {1, 2})}, ObjectFormat::ELF, "F: data at 0xFFFFFFFF-0x0000 (.s) lies outside the user flash 0x1000-0x7FFF"},
      {{piece(0x1000, {1, 2, 3}), piece(0x1004, {4}), piece(0x1001, {2, 3, 0, 5})}, ObjectFormat::COFF, "F: overlapping data with different bytes at 0x1004"},
      {{piece(0x1000, {})}, ObjectFormat::COFF, "F: no data to load"},
  };
  // clang-format on
  for (const auto& row : rows) {
    ProgramImage image;
    image.format = row.format;
    image.sections = row.sections;
    std::string error;
    EXPECT_EQ(checkProgram("F", image, 0x1000, 0x8000, error), *row.error == '\0');
    EXPECT_EQ(error, row.error);
  }
}

// LO's door: GNU files are converted, anything else goes to the SYSROF loader as before.
TEST(LoadProgram, ConvertsGnuFilesAndLeavesSysrofToItsLoader) {
  MemImage image;
  StringOutput out;
  const char* format = nullptr;
  auto load = [&](const std::string& path) {
    image.fill(0xFF);
    return loadProgram(path.c_str(), image.data(), 0x1000, 0x8000, out, &format);
  };
  EXPECT_EQ(load(testFile(".srec", srec(1, 0x7FFE, {1, 2}) + srec(9, 0, {}))), 1);
  EXPECT_EQ(std::string(format) + out.take(), "S-record");
  EXPECT_EQ(image[0x6FFE] * 256 + image[0x6FFF], 0x0102);
  std::string path = testFile(".srec", srec(1, 0x7FFF, {1, 2}) + srec(9, 0, {}));
  EXPECT_EQ(load(path), 0);
  EXPECT_EQ(out.take(),
            path + ": data at 0x7FFF-0x8000 lies outside the user flash 0x1000-0x7FFF\n");
  EXPECT_EQ(load(testFile(".elf", buildElf(sampleElf(true)))), 1);
  EXPECT_EQ(std::string(format) + out.take(), "ELF");
  EXPECT_EQ(image[4] * 256 + image[5], 0x0506);  // .data at its load address
  EXPECT_EQ(load(testFile(".abs", cat({obj(0x1234, {7}), END}))), 1);
  EXPECT_EQ(std::string(format) + out.take(), "SYSROF");
  EXPECT_EQ(image[0x234], 7);
  EXPECT_EQ(load("no/such.abs"), 0);
  EXPECT_EQ(std::string(format) + " " + out.take(), "SYSROF Can't open file no/such.abs\n");
}

// The same program through as and ld (COFF), objcopy (S-records, Intel HEX) and nm reads as the
// same bytes and symbols.
TEST(GnuToolchain, CoffSrecordsHexAndNmAgree) {
  if (!gnuTools()) GTEST_SKIP() << "binutils-h8300-hms is not installed";
  std::string base = gnuProgram(
      "\t.text\n\t.global _main\n_main:\tmov.w #0x1234,r0\n\tjsr @_sub\n\trts\n"
      "_sub:\tmov.l @_counter,er1\n\trts\n\t.data\n\t.global _counter\n_counter: .long 0x11223344\n"
      "msg:\t.ascii \"hello\"\n\t.bss\n_buf:\t.space 16\n",
      "-Ttext 0x1000 -Tdata 0x2000 -e _main");
  ASSERT_FALSE(base.empty());
  std::string error;
  ProgramImage coff, srec, hex;
  ASSERT_TRUE(readProgram(base + ".coff", coff, error)) << error;
  ASSERT_TRUE(readProgram(base + ".srec", srec, error)) << error;
  ASSERT_TRUE(readProgram(base + ".hex", hex, error)) << error;
  auto bytes = [](const ProgramImage& image) {
    std::map<uint32_t, uint8_t> all;
    for (const ImageSection& s : image.sections) {
      for (size_t i = 0; i < s.data.size(); i++) all[uint32_t(s.loadAddress + i)] = s.data[i];
    }
    return all;
  };
  EXPECT_EQ(bytes(coff).size(), 18u + 10u);
  EXPECT_EQ(bytes(coff), bytes(srec));
  EXPECT_EQ(bytes(coff), bytes(hex));
  EXPECT_EQ(coff.entry, 0x1000u);
  EXPECT_EQ(srec.entry, 0x1000u);
  EXPECT_EQ(hex.entry, 0x1000u);
  std::string text = describe(coff);
  EXPECT_EQ(text.substr(0, text.find(" |")),
            ".text 1000 790012345E00100A547001006B0120005470 code; .data 2000 112233446865"
            "6C6C6F00; .bss 200A space 16");
  for (const char* symbol :
       {" _main=1000 GC", " _counter=2000 GD", " _sub=100A LC", " msg=2004 LD", " _buf=200A LD"}) {
    EXPECT_NE(text.find(symbol), text.npos) << symbol << " in " << text;
  }
  std::vector<ImageSymbol> nm;
  ASSERT_TRUE(readNmSymbols(base + ".nm", nm, error)) << error;
  auto names = [](const std::vector<ImageSymbol>& symbols) {
    std::vector<std::string> all;
    for (const ImageSymbol& s : symbols) {
      all.push_back(s.name + "=" + std::to_string(s.address) + (s.global ? "G" : "L"));
    }
    std::sort(all.begin(), all.end());
    return all;
  };
  EXPECT_EQ(names(nm), names(coff.symbols));
  // Every cut of the COFF file is refused in one line.
  std::ifstream in(base + ".coff", std::ios::binary);
  Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (size_t n = 0; n < file.size(); n++) {
    std::string result = readCut(file, n);
    EXPECT_TRUE(result.empty() || result.rfind("F: truncated:", 0) == 0 ||
                result.rfind("F: corrupt:", 0) == 0)
        << n << ": " << result;
  }
  // Not linked; built for the H8S.
  EXPECT_FALSE(readProgram(base + ".o", coff, error));
  EXPECT_EQ(error, base + ".o: a relocatable object, not a linked program");
  file[1] = 0x02;
  EXPECT_EQ(read(file), "F: built for the H8S; the board's CPU is an H8/300H");
}

}  // namespace

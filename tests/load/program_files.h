// Program files for the conversion tests: ELF32 big-endian H8/300 executables built here (Debian
// has no h8300-elf toolchain), and COFF, S-record and Intel HEX files from Debian's
// binutils-h8300-hms where it is installed (a Windows build has no shell to run it from).
//
//   buildElf(layout)          the bytes of an ELF file as `layout` describes it
//   gnuTools()                true when h8300-hms-as, -ld and -objcopy run
//   gnuProgram(asm, ld)       assembles `asm` (.h8300hn), links it with the options `ld`, and writes
//                             NAME.coff, .srec, .hex and .nm, named after the running test, in the
//                             build tree; NAME, or "" when a tool failed
//   testFile(suffix, bytes)   writes bytes to a file named after the running test and suffix
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "load/sysrof_writer.h"

namespace h8test {

struct ElfLayout {
  struct Section {
    std::string name;
    uint32_t type, flags, address;  // SHT_PROGBITS 1 or SHT_NOBITS 8; SHF_ALLOC 2, EXECINSTR 4
    Bytes data;
    uint32_t size = 0;  // for SHT_NOBITS
  };
  struct Segment {
    uint32_t vaddr, paddr;
    size_t section;  // the section (1-based) whose contents it loads
    bool exec;
  };
  struct Symbol {
    std::string name;
    uint32_t value;
    uint8_t info;  // binding << 4 | type
    uint16_t section;
  };
  uint16_t type = 2, machine = 46;
  uint32_t flags = 0, entry = 0x1000;
  std::vector<Section> sections;
  std::vector<Segment> segments;
  std::vector<Symbol> symbols;
};

inline void put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v >> 8);
  b[at + 1] = uint8_t(v);
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
  put16(b, at, v >> 16);
  put16(b, at + 2, v);
}

// Layout: header, program headers, section contents, symbol and string tables, section headers.
inline Bytes buildElf(const ElfLayout& layout) {
  Bytes f(52 + 32 * layout.segments.size());
  const Bytes ident{0x7F, 'E', 'L', 'F', 1, 2, 1};
  std::copy(ident.begin(), ident.end(), f.begin());
  std::string shstr(1, '\0'), str(1, '\0');
  struct Header {
    uint32_t name, type, flags, addr, offset, size, link, align, entsize;
  };
  std::vector<Header> headers{{}};
  for (const auto& s : layout.sections) {
    headers.push_back({uint32_t(shstr.size()), s.type, s.flags, s.address, uint32_t(f.size()),
                       s.type == 8 ? s.size : uint32_t(s.data.size()), 0, 2, 0});
    shstr += s.name + '\0';
    f.insert(f.end(), s.data.begin(), s.data.end());
  }
  Bytes symtab(16);
  for (const auto& s : layout.symbols) {
    Bytes e(16);
    put32(e, 0, uint32_t(str.size()));
    put32(e, 4, s.value);
    e[12] = s.info;
    put16(e, 14, s.section);
    str += s.name + '\0';
    symtab.insert(symtab.end(), e.begin(), e.end());
  }
  size_t index = headers.size();
  auto table = [&](const char* name, uint32_t type, const std::string& bytes, uint32_t link) {
    headers.push_back({uint32_t(shstr.size()), type, 0, 0, uint32_t(f.size()),
                       uint32_t(bytes.size()), link, 1, type == 2 ? 16u : 0u});
    shstr += std::string(name) + '\0';
    f.insert(f.end(), bytes.begin(), bytes.end());
  };
  table(".symtab", 2, std::string(symtab.begin(), symtab.end()), uint32_t(index + 1));
  table(".strtab", 3, str, 0);
  shstr += ".shstrtab";
  shstr += '\0';
  table(".shstrtab", 3, shstr, 0);
  size_t shoff = f.size();
  for (const Header& h : headers) {
    Bytes e(40);
    const uint32_t fields[] = {h.name, h.type, h.flags, h.addr,  h.offset,
                               h.size, h.link, 0,       h.align, h.entsize};
    for (size_t i = 0; i < 10; i++) put32(e, 4 * i, fields[i]);
    f.insert(f.end(), e.begin(), e.end());
  }
  put16(f, 16, layout.type);
  put16(f, 18, layout.machine);
  put32(f, 20, 1);
  put32(f, 24, layout.entry);
  put32(f, 28, layout.segments.empty() ? 0 : 52);
  put32(f, 32, uint32_t(shoff));
  put32(f, 36, layout.flags);
  put16(f, 40, 52);
  put16(f, 42, 32);
  put16(f, 44, uint32_t(layout.segments.size()));
  put16(f, 46, 40);
  put16(f, 48, uint32_t(headers.size()));
  put16(f, 50, uint32_t(headers.size() - 1));
  for (size_t i = 0; i < layout.segments.size(); i++) {
    const auto& g = layout.segments[i];
    const Header& h = headers[g.section];
    const uint32_t fields[] = {1, h.offset, g.vaddr, g.paddr, h.size, h.size, g.exec ? 5u : 6u, 2};
    for (size_t k = 0; k < 8; k++) put32(f, 52 + 32 * i + 4 * k, fields[k]);
  }
  return f;
}

inline std::string testFile(const std::string& suffix, const Bytes& b) {
  const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string path =
      H8_BUILD_DIR "/tests/" + std::string(t->test_suite_name()) + "_" + t->name() + suffix;
  EXPECT_TRUE(std::ofstream(path, std::ios::binary).write((const char*)b.data(), b.size()));
  return path;
}
inline std::string testFile(const std::string& suffix, const std::string& text) {
  return testFile(suffix, Bytes(text.begin(), text.end()));
}

#ifdef _WIN32
inline bool gnuTools() { return false; }
inline std::string gnuProgram(const std::string&, const std::string&) { return ""; }
#else
inline bool gnuTools() {
  return std::system(
             "h8300-hms-as --version >/dev/null 2>&1 && h8300-hms-ld --version "
             ">/dev/null 2>&1 && h8300-hms-objcopy --version >/dev/null 2>&1") == 0;
}
inline std::string gnuProgram(const std::string& source, const std::string& ldOptions) {
  std::string base = testFile(".s", "\t.h8300hn\n" + source + "\n");
  base.resize(base.size() - 2);
  std::string q = "\"" + base;
  std::string command = "h8300-hms-as -o " + q + ".o\" " + q + ".s\" && h8300-hms-ld -m h8300hn " +
                        ldOptions + " -o " + q + ".coff\" " + q + ".o\" && h8300-hms-objcopy -O " +
                        "srec " + q + ".coff\" " + q + ".srec\" && h8300-hms-objcopy -O ihex " + q +
                        ".coff\" " + q + ".hex\" && h8300-hms-nm " + q + ".coff\" >" + q + ".nm\"";
  return std::system(("(" + command + ") 2>/dev/null").c_str()) == 0 ? base : "";
}
#endif

}  // namespace h8test

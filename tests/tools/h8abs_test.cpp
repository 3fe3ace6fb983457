// Runs the built h8abs program as a user would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "expr/symbols.h"
#include "load/program_files.h"
#include "load/sysrof.h"
#include "load/sysrof_writer.h"

using namespace h8;
using namespace h8test;

namespace {

// Runs h8abs with `arguments` and gives its status (0: exit status 0); `printed` takes its
// standard output. Paths go in double quotes, which the POSIX shell and cmd.exe both understand.
int h8abs(const std::string& arguments, std::string& printed) {
  std::string command = "\"" H8_BUILD_DIR "/h8abs\" " + arguments;
#ifdef _WIN32
  command = "\"" + command + "\"";  // cmd.exe strips one pair of outer quotes
#endif
  FILE* pipe = popen(command.c_str(), "r");
  for (int c; (c = fgetc(pipe)) != EOF;) printed += char(c);
  return pclose(pipe);
}

// The exit status tells whether an 0xFF record ended the file.
TEST(H8abs, ListsAFileAndShowsItsHelp) {
  std::string listed, cut, help;
  EXPECT_EQ(h8abs("list \"" + saveFile(END) + "\"", listed), 0);
  EXPECT_EQ(listed, title("Other data") + "FF 02 : ");
  EXPECT_NE(h8abs("list \"" + saveFile({0x1A, 2}) + "\"", cut), 0);
  std::string directory;
  EXPECT_NE(h8abs("list . 2>&1", directory), 0);
  EXPECT_EQ(directory, "h8abs: can't open .: it is a directory\n");
  EXPECT_EQ(h8abs("--help", help), 0);
  EXPECT_NE(help.find("\n  list  FILE.ABS   list the records of a SYSROF absolute load module\n"),
            help.npos);
  EXPECT_NE(help.find("\n  make  INPUT      convert a COFF, ELF, S-record or Intel HEX program"),
            help.npos);
  EXPECT_NE(help.find("are an\nextension"), help.npos);
}

Bytes fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void setDateEpoch(const char* value) {
#ifdef _WIN32
  _putenv_s("SOURCE_DATE_EPOCH", value);
#else
  setenv("SOURCE_DATE_EPOCH", value, 1);
#endif
}

ElfLayout program(uint32_t text, uint32_t data) {
  ElfLayout e;
  e.sections = {{".text", 1, 6, text, {0x79, 0x00, 0x12, 0x34, 0x54, 0x70}},
                {".data", 1, 3, data, {1, 2}}};
  e.symbols = {{"_main", text, 0x12, 1}, {"_value", data, 0x11, 2}, {"a.b", data, 0x11, 2}};
  return e;
}

// make writes NAME.abs and NAME.map beside the input (what they hold: sysrof_write_test) and
// lists its header; the date comes from SOURCE_DATE_EPOCH, so two runs write the same bytes.
TEST(H8abs, MakeConvertsAProgramToAModuleAndAMap) {
  setDateEpoch("0");
  std::string elf = testFile(".elf", buildElf(program(0x1000, 0x1006)));
  std::string base = elf.substr(0, elf.size() - 4), printed, listed, again;
  // Standard output, then both streams (whose order in one pipe depends on the platform).
  EXPECT_EQ(h8abs("make \"" + elf + "\"", printed), 0);
  EXPECT_EQ(printed, elf + ": ELF file, 8 bytes to load, entry 0x1000\nwrote " + base +
                         ".abs (313 bytes) and " + base + ".map (2 of 3 symbols)\n");
  EXPECT_EQ(h8abs("make \"" + elf + "\" 2>&1", printed), 0);
  EXPECT_NE(printed.find("h8abs: " + base +
                         ".map: a.b: not in the map: a map name holds only "
                         "letters, digits and '_'\n"),
            printed.npos);
  Bytes first = fileBytes(base + ".abs");
  EXPECT_EQ(h8abs("list \"" + base + ".abs\"", listed), 0);
  EXPECT_NE(
      listed.find("        Header:Type=0,Date=700101000000,Units=1,Version=1.00,AddressLength=4\n"
                  "        Header:Entry=00001000,OS=,System=,Module=" +
                  base.substr(base.rfind('/') + 1) + ",CPU=H8300H\n"),
      listed.npos)
      << listed;
  EXPECT_EQ(
      h8abs("make \"" + elf + "\" -o \"" + base + ".2.abs\" --map \"" + base + ".2.map\"", again),
      0);
  EXPECT_EQ(fileBytes(base + ".2.abs"), first);
}

// A refusal is one line on standard error and writes nothing; usage errors exit with 2.
TEST(H8abs, MakeRefusesWhatCannotBeProgrammed) {
  setDateEpoch("0");
  Bytes elf = buildElf(program(0x1000, 0x1004));
  // clang-format off
  const struct { std::string file, options, message; int status; } rows[] = {
      {testFile(".1.elf", buildElf(program(0x1000, 0xF780))), "", ": data at 0xF780-0xF781 (.data) lies outside the user flash 0x1000-0x7FFF", 1},
      {testFile(".3.elf", Bytes(elf.begin(), elf.begin() + 60)), "", ": truncated: the section header table runs past the end of the file", 1},
      {testFile(".4.bin", Bytes{1, 2, 3}), "", ": not a COFF, ELF, S-record or Intel HEX file", 1},
      {testFile(".5.srec", "S1041000AB00\nS9030000FC\n"), "", ":1: bad checksum 0x00 (the record needs 0x40)", 1},
      {testFile(".6.elf", buildElf(program(0x1000, 0x1006))), " -o", "h8abs: make: -o needs a file name", 2},
      {"", "", "h8abs: make: missing INPUT", 2},
  };
  // clang-format on
  for (const auto& row : rows) {
    std::string printed, command = "make" + (row.file.empty() ? "" : " \"" + row.file + "\"");
    EXPECT_EQ(h8abs(command + row.options + " 2>&1", printed) != 0, true);
    std::string expected = row.status == 1 ? "h8abs: " + row.file + row.message : row.message;
    EXPECT_EQ(printed, expected + "\n");
    std::string abs = row.file.substr(0, row.file.rfind('.')) + ".abs";
    EXPECT_FALSE(std::ifstream(abs).good()) << abs;
  }
  setDateEpoch("soon");
  std::string printed;
  EXPECT_NE(
      h8abs("make \"" + testFile(".elf", buildElf(program(0x1000, 0x1006))) + "\" 2>&1", printed),
      0);
  EXPECT_EQ(printed, "h8abs: SOURCE_DATE_EPOCH is not a number of seconds: soon\n");
}

// The GNU tools' own files: as/ld's COFF, objcopy's S-records with nm's symbols.
TEST(H8abs, MakeTakesTheGnuToolchainsFiles) {
  if (!gnuTools()) GTEST_SKIP() << "binutils-h8300-hms is not installed";
  setDateEpoch("0");
  std::string base = gnuProgram(
      "\t.text\n\t.global _main\n_main: jsr @_sub\n\trts\n_sub: rts\n"
      "\t.data\n\t.global _n\n_n: .word 7\n",
      "-Ttext 0x1000 -Tdata 0x7000 -e _main");
  ASSERT_FALSE(base.empty());
  std::string printed, listed;
  EXPECT_EQ(h8abs("make \"" + base + ".coff\" 2>&1", printed), 0);
  EXPECT_NE(printed.find(": COFF file, 10 bytes to load, entry 0x1000\n"), printed.npos) << printed;
  EXPECT_EQ(h8abs("make \"" + base + ".srec\" -o \"" + base + ".s.abs\" --map \"" + base +
                      ".s.map\" --symbols \"" + base + ".nm\" 2>&1",
                  printed),
            0);
  MemImage fromCoff, fromSrec;
  fromCoff.fill(0xFF);
  fromSrec.fill(0xFF);
  StringOutput out;
  EXPECT_EQ(loadSysrof((base + ".abs").c_str(), fromCoff.data(), 0x1000, 0x8000, out), 1);
  EXPECT_EQ(loadSysrof((base + ".s.abs").c_str(), fromSrec.data(), 0x1000, 0x8000, out), 1);
  EXPECT_TRUE(fromCoff == fromSrec);
  EXPECT_EQ(fromCoff[0x6000] * 256 + fromCoff[0x6001], 7);
  SymbolTable table;
  table.loadSymbols(base + ".s.map", out);
  EXPECT_EQ(table.symbolAddress("_sub"), 0x1006u);
  EXPECT_EQ(table.symbolAddress("_n"), 0x7000u);
  EXPECT_EQ(h8abs("list \"" + base + ".abs\"", listed), 0);
  EXPECT_NE(listed.find("Section:Adrs=00007000,size=00000002:.data\n"), listed.npos) << listed;
}

}  // namespace

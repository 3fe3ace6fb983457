#include "expr/symbols.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "load/program_files.h"

using namespace h8;

namespace {

// One map line with the name at offset 34, the address at 71 and the kind at 92, then LF.
std::string mapLine(std::string name, const std::string& address, const char* kind = "ENT") {
  std::string line = std::string(34, ' ') + name;
  line.resize(std::max<size_t>(line.size() + 1, 71), ' ');
  line += address;
  line.resize(std::max<size_t>(line.size() + 1, 92), ' ');
  return line + kind + "\n";
}

struct SymbolsTest : ::testing::Test {
  SymbolTable table;
  StringOutput out;
  std::string path = ::testing::TempDir() + "h8expr_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".map";
  ~SymbolsTest() override { std::remove(path.c_str()); }

  // Loads `content` as the map file; returns what loading printed.
  std::string load(const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
    table.loadSymbols(path, out);
    return out.take();
  }
};

// clang-format off
TEST_F(SymbolsTest, TakesOnlyLinesWhoseColumnsHoldNameAddressAndKind) {
  std::string full = mapLine("s", "H'1");  // 95 characters and LF: the shortest symbol line
  std::string longName = std::string(37, 'a') + "0x0000000000000001234";  // 58, up to offset 91
  // A line of 294 characters and LF is read as two pieces, of 199 and 96 (whose offset 33 is
  // no delimiter, so a piece that starts one early or late changes the name).
  std::string pieces = full.substr(0, 95) + std::string(104, ' ') + mapLine("second", "H'20");
  pieces[199 + 33] = 'x';
  const std::pair<std::string, std::string> rows[] = {  // the file, then the symbols listed
      {"Linkage map\n\n" + mapLine("_main", "H'00001000") + "   end\n", "00001000 : _main\n"},
      {mapLine("buf1", "0x0000FB80", "DAT") + mapLine("Buf2", "H'fb90", "DATA") +
       mapLine("x_9", "H'ABCDEF12", "ENTRY"), "0000FB80 : buf1\n0000FB90 : Buf2\nABCDEF12 : x_9\n"},
      {mapLine("\t,name1", ",,H'20", "  ENT"), "00000020 : name1\n"},
      {mapLine("a.b", "H'1") + mapLine("a$b", "H'2") + mapLine("9ab", "H'3") + mapLine("ok", "H'5"),
       "00000005 : ok\n"},
      {mapLine("a", "0X10") + mapLine("b", "h'10") + mapLine("c", "H'10G"), ""},
      {mapLine("a", "H'1", "dat") + mapLine("b", "H'2", "Ent") + mapLine("c", "H'3", "DA"), ""},
      {mapLine(longName, ""), "00001234 : " + longName + "\n"},  // its "0x" passes at 71
      {full.substr(0, 95), "00000001 : s\n"},
      // A line shorter than 94 is never a symbol line, even where the offsets past its end
      // still hold the previous line's kind.
      {full + full.substr(0, 80) + "\n" + full.substr(0, 94), "00000001 : s\n"},
      {pieces + mapLine("last", "H'40"), "00000001 : s\n00000020 : second\n00000040 : last\n"},
      {mapLine("crlf", "H'100", "ENT\r") + std::string(198, '=') + "\r\n" + mapLine("b", "H'2"),
       "00000100 : crlf\n00000002 : b\n"},
      {mapLine("ab\rcd", "H'7"), "00000007 : ab\n"},
      // The conversion is scanf's "%lX": nothing converted keeps all ones, blanks are skipped
      // (here into "DA" of the kind), and more than 32 bits saturate.
      {mapLine("nodigits", "H',"), "FFFFFFFF : nodigits\n"},
      {mapLine("quirk", "H'", "DAT"), "000000DA : quirk\n"},
      {mapLine("big", "H'123456789") + mapLine("zeros", "H'000000000001000"),
       "FFFFFFFF : big\n00001000 : zeros\n"},
  };
  for (const auto& [file, listing] : rows) {
    SCOPED_TRACE(file);
    load(file);
    StringOutput list;
    table.listSymbols(list);
    EXPECT_EQ(list.text, listing);
  }
}
// clang-format on

TEST_F(SymbolsTest, ReportsTheSymbolsAndNameBytesOfThisLoad) {
  load(mapLine("old", "H'1"));
  EXPECT_EQ(load("H8S,H8/300 SERIES LINKAGE EDITOR\n" + std::string(150, '-') + "\n"),
            "Load 0 symbols ( use 0 bytes for symbol area )\n");
  EXPECT_EQ(load(mapLine("_main", "H'1000") + mapLine("x", "H'2", "DAT")),
            "Load 2 symbols ( use 8 bytes for symbol area )\n");
  table.loadSymbols(path + ".none", out);
  EXPECT_EQ(out.take(), "Not valid symbol file " + path + ".none\n");
  EXPECT_EQ(table.symbolCount(), 0);
  table.loadSymbols(".", out);  // a directory reads as nothing: said so
  EXPECT_EQ(out.take(), "Not valid symbol file .: it is a directory\n");
}

TEST_F(SymbolsTest, ListFullAfterThe512thSymbolEvenWithNoLineAfterIt) {
  for (int lines : {512, 600}) {
    std::string file;
    for (int i = 0; i < lines; i++) file += mapLine("s" + std::to_string(i), "H'1");
    // s0 to s511: ten names of 2 characters, 90 of 3, 412 of 4, each with its zero byte.
    EXPECT_EQ(load(file),
              "Symbol List Full\nLoad 512 symbols ( use 2450 bytes for symbol area )\n");
    EXPECT_EQ(table.symbolExists("s511"), 1);
  }
}

TEST_F(SymbolsTest, AreaFullKeepsTheNameThatReachesOrCrossesTheMark) {
  // 277 names of 58 characters take 16,343 bytes; a 278th of 40 reaches the mark, one of 58
  // crosses it.
  for (bool exact : {true, false}) {
    std::string file;
    for (int i = 0; i < 300; i++) {
      char id[64];
      snprintf(id, sizeof id, exact && i == 277 ? "n%036d0x1" : "n%036d0x0000000000000001234", i);
      file += mapLine(id, "");  // the name's "0x" part passes as the address
    }
    EXPECT_EQ(load(file), std::string("Symbol Area Full\nLoad 278 symbols ( use ") +
                              (exact ? "16384" : "16402") + " bytes for symbol area )\n");
  }
}

TEST_F(SymbolsTest, LookupsScanInLoadOrder) {
  uint32_t at = 99;
  EXPECT_EQ(table.nearestSymbol(0xFF, &at), nullptr);  // none: no name, address 0
  EXPECT_EQ(at, 0u);
  // clang-format off
  const std::pair<const char*, uint32_t> symbols[] = {{"dup", 0x100}, {"dup", 0x300},
      {"one", 0x200}, {"two", 0x200}, {"high", 0x80000000}, {"zero", 0}};
  // clang-format on
  for (auto& [name, address] : symbols) ASSERT_TRUE(table.addSymbol(name, address));
  EXPECT_EQ(table.symbolAddress("dup"), 0x100u);  // same name twice: the first
  EXPECT_STREQ(table.symbolNameAt(0x300), "dup");
  EXPECT_STREQ(table.symbolNameAt(0x200), "one");   // same address twice: the first by address,
  EXPECT_STREQ(table.nearestSymbol(0x2FF), "two");  // the last as the nearest
  EXPECT_STREQ(table.nearestSymbol(0xFF), "zero");  // address 0 is at or below every value
  EXPECT_STREQ(table.nearestSymbol(0x7FFFFFFF), "dup");  // unsigned comparison
  EXPECT_STREQ(table.nearestSymbol(0xFFFFFFFF), "high");
  EXPECT_EQ(table.symbolAddress("Dup"), 0xFFFFFFFFu);  // exact names, letter case included
  EXPECT_EQ(table.symbolExists("Dup") + table.symbolExists("du") + table.symbolExists("dup_"), 0);
  EXPECT_EQ(table.symbolNameAt(0x301), nullptr);
  // addSymbol refuses what the slots or the name area cannot hold.
  EXPECT_FALSE(table.addSymbol(std::string(SymbolTable::NAME_AREA_SIZE + 64, 'h').c_str(), 3));
  for (int i = 0; i < 300; i++) table.addSymbol(std::string(63, 'n').c_str(), 1);
  EXPECT_FALSE(table.addSymbol("z", 2));  // the area is past its mark
  table.clear();
  for (int i = 0; i < 600; i++) table.addSymbol("x", 1);
  EXPECT_EQ(table.symbolCount(), 512);
}

// -m of a COFF or ELF file takes its symbol table (globals first, then locals, by address), with
// the map's summary line; a damaged one is named in one line and loads nothing.
TEST_F(SymbolsTest, ObjectFilesGiveTheirSymbolTable) {
  h8test::ElfLayout elf;
  elf.sections = {{".text", 1, 6, 0x1000, {0x54, 0x70}}};
  elf.symbols = {
      {"_loop", 0x1000, 0x00, 1}, {"_main", 0x1000, 0x12, 1}, {"_top", 0xFF00, 0x10, 0xFFF1}};
  h8test::Bytes file = h8test::buildElf(elf);
  std::string path = h8test::testFile(".elf", file);
  table.loadSymbols(path, out);
  EXPECT_EQ(out.take(), "Load 3 symbols ( use 17 bytes for symbol area )\n");
  StringOutput list;
  table.listSymbols(list);
  EXPECT_EQ(list.text, "00001000 : _main\n0000FF00 : _top\n00001000 : _loop\n");
  path = h8test::testFile(".elf", h8test::Bytes(file.begin(), file.end() - 1));
  table.loadSymbols(path, out);
  EXPECT_EQ(out.take(),
            path + ": truncated: the section header table runs past the end of the file\n");
  EXPECT_EQ(table.symbolCount(), 0);
  if (!h8test::gnuTools()) GTEST_SKIP() << "binutils-h8300-hms is not installed";
  std::string base =
      h8test::gnuProgram("\t.text\n\t.global _main\n_main: rts\n_sub: rts\n", "-Ttext 0x1000");
  ASSERT_FALSE(base.empty());
  table.loadSymbols(base + ".coff", out);
  EXPECT_EQ(table.symbolAddress("_main"), 0x1000u);
  EXPECT_EQ(table.symbolAddress("_sub"), 0x1002u);
  EXPECT_NE(out.take().find("symbols ( use"), std::string::npos);
}

}  // namespace

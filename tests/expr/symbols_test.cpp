#include "expr/symbols.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace h8;

namespace {

// One map line with the name at offset 34, the address at 71 and the kind at 92, then LF.
std::string mapLine(const std::string& name, const std::string& address,
                    const std::string& kind = "ENT") {
  std::string line(34, ' ');
  line += name;
  line.resize(std::max<size_t>(line.size() + 1, 71), ' ');
  line += address;
  line.resize(std::max<size_t>(line.size() + 1, 92), ' ');
  line += kind;
  return line + "\n";
}

struct SymbolsTest : ::testing::Test {
  SymbolTable table;
  StringOutput out;
  std::string path;

  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path = ::testing::TempDir() + "h8expr_" + info->name() + ".map";
  }
  void TearDown() override { std::remove(path.c_str()); }

  void load(const std::string& content) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(content.data(), 1, content.size(), f);
    fclose(f);
    table.loadSymbols(path, out);
  }
  std::string listing() {
    StringOutput list;
    table.listSymbols(list);
    return list.text;
  }
};

// --- The column rules ---

TEST_F(SymbolsTest, LoadsNameAddressAndKindFromTheirColumns) {
  load("Linkage map\n\n" + mapLine("_main", "H'00001000") + "   end\n");
  EXPECT_EQ(out.text, "Load 1 symbols ( use 6 bytes for symbol area )\n");
  EXPECT_EQ(table.symbolCount(), 1);
  EXPECT_EQ(table.symbolAddress("_main"), 0x1000u);
  EXPECT_EQ(listing(), "00001000 : _main\n");
}

TEST_F(SymbolsTest, AcceptsZeroXPrefixDatKindAndTextAfterTheKind) {
  load(mapLine("buf1", "0x0000FB80", "DAT") + mapLine("Buf2", "H'fb90", "DATA") +
       mapLine("x_9", "H'ABCDEF12", "ENTRY"));
  EXPECT_EQ(listing(), "0000FB80 : buf1\n0000FB90 : Buf2\nABCDEF12 : x_9\n");
  EXPECT_EQ(out.text, "Load 3 symbols ( use 14 bytes for symbol area )\n");
}

TEST_F(SymbolsTest, FieldsMayStandLaterThanTheirColumnsAfterDelimiters) {
  std::string line(34, ' ');
  line += "\t,name1";  // the name field starts with delimiters
  line.resize(71, ' ');
  line += ",,H'20";
  line.resize(92, ' ');
  line += "  ENT\n";
  load(line);
  EXPECT_EQ(listing(), "00000020 : name1\n");
}

TEST_F(SymbolsTest, FileWithoutSymbolLinesLoadsNothingSilently) {
  load("H8S,H8/300 SERIES LINKAGE EDITOR\n\n*** SYMBOL INFORMATION ***\n" + std::string(150, '-') +
       "\n");
  EXPECT_EQ(out.text, "Load 0 symbols ( use 0 bytes for symbol area )\n");
  EXPECT_EQ(table.symbolCount(), 0);
}

TEST_F(SymbolsTest, MissingFileReportsAndLeavesAnEmptyTable) {
  ASSERT_TRUE(table.addSymbol("old", 1));
  table.loadSymbols(path + ".none", out);
  EXPECT_EQ(out.text, "Not valid symbol file " + path + ".none\n");
  EXPECT_EQ(table.symbolCount(), 0);
  EXPECT_EQ(table.symbolExists("old"), 0);
}

TEST_F(SymbolsTest, LoadingReplacesTheOldTable) {
  ASSERT_TRUE(table.addSymbol("old", 1));
  load(mapLine("fresh", "H'2"));
  EXPECT_EQ(listing(), "00000002 : fresh\n");
  EXPECT_EQ(table.nameAreaUsed(), 6);
}

TEST_F(SymbolsTest, RejectsBadNameForms) {
  load(mapLine("a.b", "H'1") + mapLine("a$b", "H'2") + mapLine("9ab", "H'3") +
       mapLine("[x]", "H'4") + mapLine("good", "H'5"));
  EXPECT_EQ(listing(), "00000005 : good\n");
}

TEST_F(SymbolsTest, RejectsBadAddressForms) {
  load(mapLine("a", "0X10") + mapLine("b", "h'10") + mapLine("c", "H'10G") + mapLine("d", "'10") +
       mapLine("e", "10"));
  EXPECT_EQ(table.symbolCount(), 0);
}

TEST_F(SymbolsTest, RejectsLowerCaseOrOtherKinds) {
  load(mapLine("a", "H'1", "dat") + mapLine("b", "H'2", "Ent") + mapLine("c", "H'3", "SEC") +
       mapLine("d", "H'4", "DA"));
  EXPECT_EQ(table.symbolCount(), 0);
}

TEST_F(SymbolsTest, NameMayRunIntoTheAddressColumn) {
  // 58 characters from offset 34 to 91: the address test at 71 sees the name's own "0x" part.
  std::string name = std::string(37, 'a') + "0x0000000000000001234";
  ASSERT_EQ(name.size(), 58u);
  load(mapLine(name, "", "ENT").replace(34 + 58, 1, " "));
  EXPECT_EQ(listing(), "00001234 : " + name + "\n");
  EXPECT_EQ(table.nameAreaUsed(), 59);
}

// --- Line length and pieces ---

TEST_F(SymbolsTest, ShortestSymbolLinesAreNinetyFiveWithoutOrNinetySixWithLineFeed) {
  std::string full = mapLine("s", "H'1");  // 95 characters and LF
  ASSERT_EQ(full.size(), 96u);
  load(full);
  EXPECT_EQ(table.symbolCount(), 1);
  load(full.substr(0, 95));  // last line without LF
  EXPECT_EQ(table.symbolCount(), 1);
  load(full.substr(0, 92) + "\n");  // 93 characters
  EXPECT_EQ(table.symbolCount(), 0);
  load(full.substr(0, 93) + "\n");  // 94 characters, kind cut to "E"
  EXPECT_EQ(table.symbolCount(), 0);
  load(full.substr(0, 94));  // 94 characters without LF, kind "EN"
  EXPECT_EQ(table.symbolCount(), 0);
}

TEST_F(SymbolsTest, LongLineIsExaminedInPiecesOf199) {
  // The first piece keeps the columns; the rest of the line counts from its own start.
  std::string first = mapLine("first", "H'10");
  first.pop_back();
  first += std::string(199 - first.size(), ' ') + mapLine("second", "H'20");
  // Columns 10 to the left, length kept: not a symbol line.
  std::string shifted = mapLine("third", "H'30", "ENT          ").substr(10);
  load(first + shifted + mapLine("last", "H'40"));
  EXPECT_EQ(listing(), "00000010 : first\n00000020 : second\n00000040 : last\n");
}

TEST_F(SymbolsTest, LineOf199CharactersLeavesItsLineFeedAsAPiece) {
  std::string line = mapLine("edge", "H'1");
  line.pop_back();
  line += std::string(199 - line.size(), 'x');  // "ENTxxx..." still passes the kind test
  load(line + "\n" + mapLine("next", "H'2"));
  EXPECT_EQ(listing(), "00000001 : edge\n00000002 : next\n");
}

TEST_F(SymbolsTest, WindowsLineEndsLoadTheSame) {
  std::string lf =
      mapLine("alpha", "H'100") + std::string(198, '=') + "\n" + mapLine("beta", "H'200", "DAT");
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  load(lf);
  std::string expected = listing() + out.take();
  load(crlf);
  EXPECT_EQ(listing() + out.take(), expected);
  EXPECT_EQ(expected,
            "00000100 : alpha\n00000200 : beta\nLoad 2 symbols ( use 11 bytes for symbol area )\n");
}

TEST_F(SymbolsTest, LoneCarriageReturnStaysADelimiter) {
  load(mapLine("ab\rcd", "H'7"));
  EXPECT_EQ(listing(), "00000007 : ab\n");
}

TEST_F(SymbolsTest, CarriageReturnBeforeLineFeedDoesNotCountTowardThePiece) {
  // 198 characters and CRLF: one piece of 199 with its LF, so the next line keeps its columns
  // and the CR never forms a piece of its own.
  std::string line = mapLine("crlf", "H'3");
  line.pop_back();
  line += std::string(198 - line.size(), ' ') + "\r\n";
  load(line + mapLine("after", "H'4"));
  EXPECT_EQ(listing(), "00000003 : crlf\n00000004 : after\n");
}

// --- The address conversion ---

TEST_F(SymbolsTest, PrefixWithoutDigitsBeforeCommaGivesAllOnes) {
  load(mapLine("nodigits", "H',"));
  EXPECT_EQ(listing(), "FFFFFFFF : nodigits\n");
}

TEST_F(SymbolsTest, ConversionRunsOnAcrossBlanksLikeScanf) {
  // "H'" then blanks: the conversion skips them and reads "DA" of the kind field.
  load(mapLine("quirk", "H'", "DAT"));
  EXPECT_EQ(listing(), "000000DA : quirk\n");
}

TEST_F(SymbolsTest, OverLongAddressSaturatesAndLeadingZerosDoNot) {
  load(mapLine("big", "H'123456789") + mapLine("zeros", "H'000000000001000"));
  EXPECT_EQ(listing(), "FFFFFFFF : big\n00001000 : zeros\n");
}

TEST(ScanHexAddress, FollowsScanfHexRules) {
  EXPECT_EQ(scanHexAddress("1000 ENT", 0xFFFFFFFF), 0x1000u);
  EXPECT_EQ(scanHexAddress("ffFF", 0xFFFFFFFF), 0xFFFFu);
  EXPECT_EQ(scanHexAddress(" \t-5", 0xFFFFFFFF), 0xFFFFFFFBu);
  EXPECT_EQ(scanHexAddress("+0x12", 0xFFFFFFFF), 0x12u);
  EXPECT_EQ(scanHexAddress("0xZ", 0xFFFFFFFF), 0u);
  EXPECT_EQ(scanHexAddress("-", 7), 7u);
  EXPECT_EQ(scanHexAddress("", 7), 7u);
  EXPECT_EQ(scanHexAddress(",12", 7), 7u);
  EXPECT_EQ(scanHexAddress("FFFFFFFF", 0), 0xFFFFFFFFu);
  EXPECT_EQ(scanHexAddress("100000000", 0), 0xFFFFFFFFu);
  EXPECT_EQ(scanHexAddress("-100000000", 0), 0xFFFFFFFFu);
}

// --- Limits ---

TEST_F(SymbolsTest, ExactlyFiveHundredTwelveSymbolsStillReportsListFull) {
  std::string file;
  for (int i = 0; i < 512; i++) file += mapLine("s" + std::to_string(i), "H'" + std::to_string(i));
  load(file);
  EXPECT_EQ(table.symbolCount(), 512);
  long used = 0;
  for (int i = 0; i < 512; i++) used += long(std::to_string(i).size()) + 2;
  EXPECT_EQ(out.text, "Symbol List Full\nLoad 512 symbols ( use " + std::to_string(used) +
                          " bytes for symbol area )\n");
  EXPECT_EQ(table.symbolAddress("s511"), 0x511u);
}

TEST_F(SymbolsTest, MoreThanFiveHundredTwelveKeepsTheFirst) {
  std::string file;
  for (int i = 0; i < 600; i++) file += mapLine("s" + std::to_string(i), "H'1");
  load(file);
  EXPECT_EQ(table.symbolCount(), 512);
  EXPECT_EQ(table.symbolExists("s511"), 1);
  EXPECT_EQ(table.symbolExists("s512"), 0);
  EXPECT_EQ(out.text.substr(0, 17), "Symbol List Full\n");
}

TEST_F(SymbolsTest, NameAreaFullKeepsTheNameThatCrossesTheMark) {
  // 58-character names take 59 bytes: the 278th brings the area to 16,402 bytes.
  std::string file;
  std::vector<std::string> names;
  for (int i = 0; i < 300; i++) {
    char head[40];
    snprintf(head, sizeof head, "n%036d", i);
    names.push_back(std::string(head) + "0x000000000000000" + "1234");
    file += mapLine(names.back(), "", "ENT").replace(34 + 58, 1, " ");
  }
  load(file);
  EXPECT_EQ(out.text, "Symbol Area Full\nLoad 278 symbols ( use 16402 bytes for symbol area )\n");
  EXPECT_EQ(table.symbolCount(), 278);
  EXPECT_EQ(table.symbolExists(names[277].c_str()), 1);
  EXPECT_EQ(table.symbolExists(names[278].c_str()), 0);
  EXPECT_STREQ(table.symbolNameAt(0x1234), names[0].c_str());
  uint32_t at = 0;
  EXPECT_STREQ(table.nearestSymbol(0x1234, &at), names[277].c_str());
}

TEST_F(SymbolsTest, AddSymbolRefusesWhenTableOrAreaIsFull) {
  for (int i = 0; i < 512; i++) ASSERT_TRUE(table.addSymbol("x", uint32_t(i)));
  EXPECT_FALSE(table.addSymbol("y", 0));
  table.clear();
  std::string name(63, 'n');
  while (table.nameAreaUsed() < SymbolTable::NAME_AREA_SIZE) {
    ASSERT_TRUE(table.addSymbol(name.c_str(), 1));
  }
  EXPECT_FALSE(table.addSymbol("z", 2));
  EXPECT_EQ(table.nameAreaUsed(), 64L * 256);
  table.clear();
  std::string huge(SymbolTable::NAME_AREA_SIZE + SymbolTable::NAME_AREA_SLACK, 'h');
  EXPECT_FALSE(table.addSymbol(huge.c_str(), 3));
  EXPECT_EQ(table.symbolCount(), 0);
}

// --- Lookups ---

struct LookupTest : ::testing::Test {
  SymbolTable table;
  void add(const char* name, uint32_t address) { ASSERT_TRUE(table.addSymbol(name, address)); }
};

TEST_F(LookupTest, EmptyTableFindsNothing) {
  uint32_t at = 99;
  EXPECT_EQ(table.symbolNameAt(0), nullptr);
  EXPECT_EQ(table.nearestSymbol(0xFFFFFFFF, &at), nullptr);
  EXPECT_EQ(at, 0u);
  EXPECT_EQ(table.symbolAddress("a"), 0xFFFFFFFFu);
  EXPECT_EQ(table.symbolExists("a"), 0);
}

TEST_F(LookupTest, SameNameTwiceByNameSeesTheFirst) {
  add("dup", 0x100);
  add("dup", 0x300);
  EXPECT_EQ(table.symbolAddress("dup"), 0x100u);
  EXPECT_EQ(table.symbolExists("dup"), 1);
  EXPECT_STREQ(table.symbolNameAt(0x300), "dup");
  EXPECT_STREQ(table.symbolNameAt(0x100), "dup");
}

TEST_F(LookupTest, SameAddressTwiceNameAtGivesFirstNearestGivesLast) {
  add("one", 0x200);
  add("two", 0x200);
  add("three", 0x100);
  EXPECT_STREQ(table.symbolNameAt(0x200), "one");
  EXPECT_STREQ(table.nearestSymbol(0x250), "two");
  EXPECT_STREQ(table.nearestSymbol(0x200), "two");
  EXPECT_STREQ(table.nearestSymbol(0x1FF), "three");
}

TEST_F(LookupTest, NearestComparesUnsignedAndFindsNoneBelowAll) {
  add("high", 0x80000000);
  add("mid", 0x1000);
  uint32_t at = 7;
  EXPECT_EQ(table.nearestSymbol(0xFFF, &at), nullptr);
  EXPECT_EQ(at, 0u);
  EXPECT_STREQ(table.nearestSymbol(0x7FFFFFFF, &at), "mid");
  EXPECT_EQ(at, 0x1000u);
  EXPECT_STREQ(table.nearestSymbol(0xFFFFFFFF, &at), "high");
  EXPECT_EQ(at, 0x80000000u);
  add("zero", 0);
  EXPECT_STREQ(table.nearestSymbol(0, &at), "zero");
}

TEST_F(LookupTest, NamesMatchExactlyWithCase) {
  add("Main", 0x10);
  EXPECT_EQ(table.symbolExists("main"), 0);
  EXPECT_EQ(table.symbolExists("Mai"), 0);
  EXPECT_EQ(table.symbolExists("Main_"), 0);
  EXPECT_EQ(table.symbolAddress("MAIN"), 0xFFFFFFFFu);
  EXPECT_EQ(table.symbolNameAt(0x11), nullptr);
}

TEST_F(LookupTest, ListsEverySlotInLoadOrder) {
  add("b", 0xFFFFFFFF);
  add("a", 0);
  StringOutput out;
  table.listSymbols(out);
  EXPECT_EQ(out.text, "FFFFFFFF : b\n00000000 : a\n");
}

}  // namespace

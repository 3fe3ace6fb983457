#include "load/sysrof_write.h"

#include <gtest/gtest.h>

#include "expr/symbols.h"
#include "load/mapfile.h"
#include "load/program_files.h"
#include "load/sysrof.h"
#include "load/sysrof_list.h"

using namespace h8;
using namespace h8test;

namespace {

ProgramImage sample() {
  ProgramImage image;
  image.format = ObjectFormat::ELF;
  image.hasEntry = true;
  image.entry = 0x1000;
  Bytes text(600);
  for (size_t i = 0; i < text.size(); i++) text[i] = uint8_t(i * 7);
  image.sections = {{".text", 0x1000, 0x1000, 600, 2, true, text},
                    {".data", 0xF780, 0x1258, 2, 2, false, {5, 6}},
                    {".bss", 0xF782, 0xF782, 4, 2, false, {}}};
  image.symbols = {{"_x", 0xF780, false, false},
                   {"_main", 0x1000, true, true},
                   {"_stack", 0xFF00, true, false},
                   {std::string(128, 'n'), 0x1002, true, true},
                   {"_buf", 0xF782, true, false}};
  return image;
}

// The module loads back exactly the image's bytes, lists record by record, and every record
// but the end sums to 0xFF with its checksum byte.
TEST(WriteSysrof, LoadsBackListsAndChecksEveryRecord) {
  std::vector<std::string> notes;
  Bytes abs = writeSysrof(sample(), "prog", "700101000000", notes);
  EXPECT_EQ(notes, std::vector<std::string>{std::string(128, 'n') +
                                            ": not exported: a SYSROF name holds at most 127 "
                                            "characters"});
  std::vector<int> objectSizes;
  size_t at = 0;
  for (; at + 2 <= abs.size() && abs[at] != 0xFF; at += abs[at + 1]) {
    uint8_t sum = 0;
    for (size_t i = 0; i < abs[at + 1]; i++) sum = uint8_t(sum + abs[at + i]);
    EXPECT_EQ(sum, 0xFF) << "record at " << at;
    if (abs[at] == 0x9C) objectSizes.push_back(abs[at + 7]);
  }
  EXPECT_EQ(Bytes(abs.begin() + long(at), abs.end()), END);
  EXPECT_EQ(objectSizes, (std::vector<int>{246, 246, 108, 2}));

  MemImage image, expected;
  image.fill(0xFF);
  expected.fill(0xFF);
  for (const ImageSection& s : sample().sections) {
    std::copy(s.data.begin(), s.data.end(), expected.begin() + (s.loadAddress - 0x1000));
  }
  StringOutput out;
  std::string path = testFile(".abs", abs);
  EXPECT_EQ(loadSysrof(path.c_str(), image.data(), 0x1000, 0x8000, out), 1);
  EXPECT_TRUE(image == expected);

  listSysrof(path.c_str(), out);
  std::string section = title("Section Information") + "        Section:Adrs=";
  std::string exported = title("Export symbol") + "        secNo:T:Offset:name\n        ";
  std::string expect =
      "        Header:Type=0,Date=700101000000,Units=1,Version=1.00,AddressLength=4\n"
      "        Header:Entry=00001000,OS=,System=,Module=prog,CPU=H8300H\n" +
      title("Unit Information") +
      "        Unit name : prog\n        Number of section = 3  External reference symbol = 0"
      "  Defined sybmol = 3\n        Tool=h8abs 700101000000,Linker=h8abs 700101000000\n" +
      section + "00001000,size=00000258:.text\n" + section + "00001258,size=00000002:.data\n" +
      section + "0000F782,size=00000004:.bss\n" + exported + "0001:00:00001000:_main\n" + exported +
      "0003:20:0000F782:_buf\n" + exported + "0000:20:0000FF00:_stack\n" + title("Section Header") +
      "        Unit=0001:Section=0001\n" + title("Object data") +
      "        Adrs=00001000 : EndAdrs=000010F6 : (size=246)\n";
  EXPECT_EQ(out.text.substr(0, title("").size()), title("Other data"));
  EXPECT_NE(out.text.find(expect), out.text.npos) << out.text;
}

TEST(WriteSysrof, DateFromSourceDateEpochOrNow) {
  std::string date, error;
  const struct {
    const char* epoch;
    const char* date;
  } rows[] = {{"0", "700101000000"}, {"86399", "700101235959"}, {"1767225600", "260101000000"}};
  for (const auto& row : rows) {
    EXPECT_TRUE(sysrofDate(row.epoch, date, error));
    EXPECT_EQ(date, row.date);
  }
  for (const char* bad : {"", "12a", "-5", "99999999999999999999"}) {
    EXPECT_FALSE(sysrofDate(bad, date, error)) << bad;
    EXPECT_EQ(error, std::string("SOURCE_DATE_EPOCH is not a number of seconds: ") + bad);
  }
  EXPECT_TRUE(sysrofDate(nullptr, date, error));
  EXPECT_EQ(date.size(), 12u);
}

// The map file's symbol lines follow the reader's columns: -m loads every symbol they can carry,
// at its address, and the others are named with the reason.
TEST(WriteMap, LoadsEverySymbolTheReaderCanCarry) {
  ProgramImage image = sample();
  std::string n37 = "_" + std::string(36, 'm');  // the longest: a blank at 71, the address at 72
  image.symbols = {{"a.b", 0x1000, true, true},
                   {"9lives", 0x1000, true, true},
                   {"_" + std::string(35, 's'), 0xFFFFFFFF, false, false},
                   {"_" + std::string(36, 'l'), 0x12345678, false, true},
                   {n37, 0x1000, true, false},
                   {n37 + "x", 0x1000, true, false},
                   {"Z9_z", 0, false, false},
                   {"_main", 0x1000, true, true}};
  std::vector<std::string> refused;
  std::string map = writeMap(image, "prog.elf", refused);
  SymbolTable table;
  StringOutput out, listing;
  table.loadSymbols(testFile(".map", map), out);
  EXPECT_EQ(out.text, "Load 5 symbols ( use 124 bytes for symbol area )\n");
  table.listSymbols(listing);
  EXPECT_EQ(listing.text, "00001000 : " + n37 + "\n00001000 : _main\n00000000 : Z9_z\n" +
                              "12345678 : _" + std::string(36, 'l') + "\nFFFFFFFF : _" +
                              std::string(35, 's') + "\n");
  EXPECT_EQ(refused, (std::vector<std::string>{
                         "a.b: not in the map: a map name holds only letters, digits and '_'",
                         "9lives: not in the map: a map name begins with a letter or '_'",
                         n37 + "x: not in the map: a map name holds at most 37 characters"}));
  EXPECT_EQ(map.find("a.b"), map.npos);

  // The table's limits: 512 symbols, or the name area's mark.
  for (auto [count, length, loaded] : {std::tuple{600, 5, 512}, std::tuple{600, 37, 432}}) {
    image.symbols.clear();
    for (int i = 0; i < count; i++) {
      std::string name = "s" + std::to_string(1000 + i);
      image.symbols.push_back({name + std::string(size_t(length) - name.size(), '_'),
                               uint32_t(0x1000 + i), true, true});
    }
    refused.clear();
    table.loadSymbols(testFile(".map", writeMap(image, "p", refused)), out);
    EXPECT_EQ(table.symbolCount(), loaded);
    EXPECT_EQ(int(refused.size()), count - loaded);
    EXPECT_EQ(table.symbolExists(image.symbols[size_t(loaded - 1)].name.c_str()), 1);
  }
  EXPECT_NE(refused.back().find(": not in the map: the debugger's 16,384-byte symbol name area"),
            std::string::npos);
}

}  // namespace

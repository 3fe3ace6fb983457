#include "load/sysrof_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "load/sysrof_writer.h"

using namespace h8;
using namespace h8test;

namespace {

std::string title(const std::string& text) {
  std::string padded = text;
  padded.resize(23, ' ');
  return "    " + std::string(26, '*') + "  " + padded + std::string(22, '*') + "\n";
}

struct ListTest : ::testing::Test {
  StringOutput out;

  std::string list(const SysrofWriter& w) {
    std::string path = scratchPath("list.abs");
    EXPECT_TRUE(w.save(path));
    listSysrof(path.c_str(), out);
    remove(path.c_str());
    return out.take();
  }
};

const std::string kEnd = title("Other data") + "FF 02 : ";

TEST_F(ListTest, UnitInformation) {
  SysrofWriter w;
  w.unit("sample", 3, 0x1234, 65535).end();
  EXPECT_EQ(list(w), title("Unit Information") +
                         "        Unit name : sample\n"
                         "        Number of section = 3  External reference symbol = 4660  "
                         "Defined sybmol = 65535\n" +
                         kEnd);
}

TEST_F(ListTest, SectionInformation) {
  SysrofWriter w;
  w.section(0x00FFF780, 0x1A2B3C4D, "P").end();
  EXPECT_EQ(list(w), title("Section Information") +
                         "        Section:Adrs=00FFF780,size=1A2B3C4D:P\n" + kEnd);
}

TEST_F(ListTest, ImportSymbolEntries) {
  SysrofWriter w;
  w.imports({{0x01, "_printf"}, {0xA0, "_x"}, {0x02, ""}}).end();
  EXPECT_EQ(list(w), title("Import symbol") +
                         "        type:name\n"
                         "        01:_printf\n"
                         "        A0:_x\n"
                         "        02:\n" +
                         kEnd);
}

TEST_F(ListTest, ExportSymbolEntries) {
  SysrofWriter w;
  w.exports({{0x0001, 0x0F, 0x00001000, "_main"}, {0xBEEF, 0x80, 0xFFFFFFFF, "_end"}}).end();
  EXPECT_EQ(list(w), title("Export symbol") +
                         "        secNo:T:Offset:name\n"
                         "        0001:0F:00001000:_main\n"
                         "        BEEF:80:FFFFFFFF:_end\n" +
                         kEnd);
}

TEST_F(ListTest, SectionHeader) {
  SysrofWriter w;
  w.sectionHeader(0x0102, 0xA0B0).end();
  EXPECT_EQ(list(w), title("Section Header") + "        Unit=0102:Section=A0B0\n" + kEnd);
}

TEST_F(ListTest, ObjectDataShowsEndOnePastLastByte) {
  SysrofWriter w;
  w.objectData(0x1000, SysrofWriter::Bytes(16, 0x55)).objectData(0x9C, {}, 0x9C).end();
  EXPECT_EQ(list(w), title("Object data") +
                         "        Adrs=00001000 : EndAdrs=00001010 : (size=16)\n" +
                         title("Object data") +
                         "        Adrs=0000009C : EndAdrs=0000009C : (size=0)\n" + kEnd);
}

TEST_F(ListTest, OtherRecordDumpsHexAndCharacters) {
  SysrofWriter w;
  w.record(0x33, {'A', 'z', 0x1F, 0x7F, ' ', '~'}).end();
  EXPECT_EQ(list(w), title("Other data") + "33 08 : 41 7A 1F 7F 20 7E " + std::string(10 * 3, ' ') +
                         "Az.. ~\n" + kEnd);
}

TEST_F(ListTest, EndRecordWith7FIsListedAndListingGoesOn) {
  SysrofWriter w;
  w.end(0x7F).sectionHeader(1, 2).end();
  EXPECT_EQ(list(w), title("Other data") + "7F 02 : " + title("Section Header") +
                         "        Unit=0001:Section=0002\n" + kEnd);
}

TEST_F(ListTest, FFEndsListingWithoutAbnormalMessage) {
  SysrofWriter w;
  w.end().sectionHeader(1, 2);
  EXPECT_EQ(list(w), kEnd);
}

TEST_F(ListTest, FileWithoutEndRecordEndsAbnormally) {
  SysrofWriter w;
  w.sectionHeader(1, 2);
  EXPECT_EQ(list(w), title("Section Header") + "        Unit=0001:Section=0002\n" +
                         "Abnormal termination of SYSROF file.\n");
  EXPECT_EQ(list(SysrofWriter()), "Abnormal termination of SYSROF file.\n");
}

TEST_F(ListTest, RecordCutInTheMiddleEndsAbnormally) {
  SysrofWriter w;
  w.sectionHeader(1, 2).raw({0x06, 0x20, 0x00, 0x01});
  EXPECT_EQ(list(w), title("Section Header") + "        Unit=0001:Section=0002\n" +
                         "Abnormal termination of SYSROF file.\n");
}

TEST_F(ListTest, StreamVariantReportsHowTheFileEnded) {
  std::string path = scratchPath("s.abs");
  SysrofWriter good;
  good.end();
  ASSERT_TRUE(good.save(path));
  FILE* f = fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(listSysrofStream(f, out), 1);
  fclose(f);
  SysrofWriter cut;
  cut.end(0x7F);
  ASSERT_TRUE(cut.save(path));
  f = fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(listSysrofStream(f, out), 0);
  fclose(f);
  remove(path.c_str());
}

TEST_F(ListTest, MissingFilePrintsOnlyCantOpen) {
  std::string path = scratchPath("none.abs");
  listSysrof(path.c_str(), out);
  EXPECT_EQ(out.text, "Can't open file " + path + "\n");
}

TEST_F(ListTest, NameLengthOf128OrMoreGivesEmptyNameAndConsumesOnlyLengthByte) {
  // Import entries: type 01, length 0x80 (empty name), then type 'A' length 1 name 'B'.
  SysrofWriter w;
  w.record(0x0C, {0x01, 0x80, 0x41, 0x01, 0x42}).end();
  EXPECT_EQ(list(w),
            title("Import symbol") + "        type:name\n        01:\n        41:B\n" + kEnd);
}

TEST_F(ListTest, EntriesStopWhenOneByteRemains) {
  SysrofWriter w;
  w.record(0x0C, {0x01, 0x01, 'x', 0x07}).end();
  EXPECT_EQ(list(w), title("Import symbol") + "        type:name\n        01:x\n" + kEnd);
}

TEST_F(ListTest, NamesRunningPastRecordAreCutAtItsEnd) {
  // The unit name claims 40 characters but the record ends after 3 of them; the bytes after the
  // record ('Z' and the next record) must not appear in the name.
  SysrofWriter w;
  w.raw({0x06, 0x0D, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 40, 'a', 'b', 'c'});
  w.record(0x0C, {0x05, 0x7F, 'q'}).end();
  EXPECT_EQ(list(w), title("Unit Information") +
                         "        Unit name : abc\n"
                         "        Number of section = 1  External reference symbol = 2  "
                         "Defined sybmol = 3\n" +
                         title("Import symbol") + "        type:name\n        05:q\n" + kEnd);
}

TEST_F(ListTest, ExportEntryCutShortReadsMissingBytesAsZero) {
  // A long record first fills the buffer; the short export record must not show its bytes.
  SysrofWriter w;
  w.record(0x33, SysrofWriter::Bytes(30, 0xEE));
  w.record(0x14, {0x00, 0x07, 0x02}).end();
  std::string text = list(w);
  EXPECT_NE(text.find(title("Export symbol") + "        secNo:T:Offset:name\n" +
                      "        0007:02:00000000:\n" + kEnd),
            std::string::npos)
      << text;
}

TEST_F(ListTest, ShortFixedRecordsReadMissingFieldsAsZero) {
  SysrofWriter w;
  w.record(0x33, SysrofWriter::Bytes(30, 0xEE));
  w.raw({0x08, 0x07, 0x00, 0x00, 0x00, 0x10, 0x00});  // address cut after 4 bytes, no size
  w.raw({0x1A, 0x03, 0x12});                          // unit number cut after one byte
  w.raw({0x1C, 0x05, 0x00, 0x00, 0x20}).end();        // address cut, no count
  std::string text = list(w);
  EXPECT_NE(text.find(title("Section Information") +
                      "        Section:Adrs=00001000,size=00000000:\n" + title("Section Header") +
                      "        Unit=1200:Section=0000\n" + title("Object data") +
                      "        Adrs=00200000 : EndAdrs=00200000 : (size=0)\n" + kEnd),
            std::string::npos)
      << text;
}

TEST_F(ListTest, HeaderOnlyRecordsListWithoutReadingOutside) {
  // A long record first fills the buffer with 0x41; records of length 0, 1 and 2 after it must
  // show no field or name taken from those bytes.
  SysrofWriter prefix;
  prefix.record(0x33, SysrofWriter::Bytes(40, 0x41));
  std::string prefixText = list(prefix);
  const std::string abnormal = "Abnormal termination of SYSROF file.\n";
  ASSERT_EQ(prefixText.substr(prefixText.size() - abnormal.size()), abnormal);
  prefixText.resize(prefixText.size() - abnormal.size());

  const std::pair<uint8_t, std::string> expected[] = {
      {0x06, title("Unit Information") + "        Unit name : \n" +
                 "        Number of section = 0  External reference symbol = 0  "
                 "Defined sybmol = 0\n"},
      {0x08, title("Section Information") + "        Section:Adrs=00000000,size=00000000:\n"},
      {0x0C, title("Import symbol") + "        type:name\n"},
      {0x14, title("Export symbol") + "        secNo:T:Offset:name\n"},
      {0x1A, title("Section Header") + "        Unit=0000:Section=0000\n"},
      {0x1C, title("Object data") + "        Adrs=00000000 : EndAdrs=00000000 : (size=0)\n"},
      {0x33, title("Other data") + "33 0L : "},
  };
  for (const auto& [type, text] : expected) {
    for (uint8_t length : {0, 1, 2}) {
      SysrofWriter w;
      w.raw(prefix.bytes).raw({type, length}).end();
      std::string body = text;
      if (type == 0x33) body.replace(body.rfind("0L") + 1, 1, std::to_string(length));
      EXPECT_EQ(list(w), prefixText + body + kEnd) << int(type) << " " << int(length);
    }
  }
}

// Random records of every type and length: the listing either ends abnormally or with the dump
// of the 0xFF record that stopped it.
TEST_F(ListTest, RandomRecordsEndAbnormallyOrWithTheFFRecord) {
  const uint8_t types[] = {0x06, 0x08, 0x0C, 0x14, 0x1A, 0x1C, 0x7F, 0xFF, 0x86, 0x33};
  uint32_t seed = 777;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  const std::string abnormal = "Abnormal termination of SYSROF file.\n";
  int normal = 0;
  for (int file = 0; file < 300; file++) {
    SysrofWriter w;
    int records = int(next() % 5) + 1;
    for (int r = 0; r < records; r++) {
      SysrofWriter::Bytes rec{types[next() % std::size(types)], uint8_t(next() % 64)};
      for (int i = 2; i < rec[1]; i++) rec.push_back(uint8_t(next()));
      w.raw(rec);
    }
    std::string text = list(w);
    if (text.size() >= abnormal.size() &&
        text.compare(text.size() - abnormal.size(), abnormal.size(), abnormal) == 0)
      continue;
    normal++;
    size_t last = text.rfind(title("Other data"));
    ASSERT_NE(last, std::string::npos) << file << "\n" << text;
    EXPECT_EQ(text.compare(last + title("Other data").size(), 3, "FF "), 0) << file << "\n" << text;
  }
  EXPECT_GT(normal, 20);
  EXPECT_LT(normal, 280);
}

TEST(DumpRecord, EighteenBodyBytesMakeTwoLines) {
  uint8_t rec[256] = {0x40, 20};
  for (int i = 0; i < 18; i++) rec[2 + i] = uint8_t(0x30 + i);
  StringOutput out;
  dumpRecord(rec, out);
  EXPECT_EQ(out.text,
            "40 14 : 30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F 0123456789:;<=>?\n"
            "        40 41 " +
                std::string(14 * 3, ' ') + "@A\n");
}

TEST(DumpRecord, SixteenBodyBytesFitOneLine) {
  uint8_t rec[256] = {0x40, 18};
  for (int i = 0; i < 16; i++) rec[2 + i] = uint8_t(0x80 + i);
  StringOutput out;
  dumpRecord(rec, out);
  EXPECT_EQ(out.text, "40 12 : 80 81 82 83 84 85 86 87 88 89 8A 8B 8C 8D 8E 8F ................\n");
}

TEST(DumpRecord, ThirtyThreeBodyBytesMakeThreeLines) {
  uint8_t rec[256] = {0x40, 35};
  for (int i = 0; i < 33; i++) rec[2 + i] = 'a';
  StringOutput out;
  dumpRecord(rec, out);
  std::string full;
  for (int i = 0; i < 16; i++) full += "61 ";
  full += std::string(16, 'a');
  EXPECT_EQ(out.text, "40 23 : " + full + "\n        " + full + "\n        61 " +
                          std::string(15 * 3, ' ') + "a\n");
}

TEST(DumpRecord, LengthTwoOrLessPrintsOnlyHeaderWithoutLineFeed) {
  for (uint8_t length : {0, 1, 2}) {
    uint8_t rec[256];
    for (uint8_t& b : rec) b = 0x41;
    rec[0] = 0x7F;
    rec[1] = length;
    StringOutput out;
    dumpRecord(rec, out);
    char expected[16];
    snprintf(expected, sizeof expected, "7F %02X : ", length);
    EXPECT_EQ(out.text, expected);
  }
}

TEST(DumpRecord, LongestRecordStaysInsideBuffer) {
  uint8_t rec[255];
  rec[0] = 0x40;
  rec[1] = 255;
  for (int i = 2; i < 255; i++) rec[i] = uint8_t(i);
  StringOutput out;
  dumpRecord(rec, out);
  // 253 body bytes: 15 full lines and one of 13.
  EXPECT_EQ(std::count(out.text.begin(), out.text.end(), '\n'), 16);
  EXPECT_NE(out.text.find("FE " + std::string(3 * 3, ' ')), std::string::npos);
}

}  // namespace

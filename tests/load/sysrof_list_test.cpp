#include "load/sysrof_list.h"

#include <gtest/gtest.h>

#include "load/sysrof_writer.h"

using namespace h8;
using namespace h8test;

namespace {

std::string title(std::string text) {
  text.resize(23, ' ');
  return "    " + std::string(26, '*') + "  " + text + std::string(22, '*') + "\n";
}
const std::string kEnd = title("Other data") + "FF 02 : ";
const std::string kAbnormal = "Abnormal termination of SYSROF file.\n";
const Bytes kHeader = rec(0x1A, {0, 1, 0, 2});
const std::string kHeaderText = title("Section Header") + "        Unit=0001:Section=0002\n";

// Lists `file` through the stream variant, whose result tells whether an 0xFF record ended it.
std::string list(const Bytes& file) {
  StringOutput out;
  FILE* f = fopen(saveFile(file).c_str(), "rb");
  int complete = listSysrofStream(f, out);
  fclose(f);
  EXPECT_EQ(complete, out.text.find(kAbnormal) == std::string::npos);
  return out.text;
}

// A name length byte of 128 or more gives an empty name and is all the name takes; symbol
// entries stop when one byte remains; 0x7F is other data and the listing goes on; 0xFF ends it.
TEST(ListSysrof, EveryRecordTypeOnExactBytes) {
  // clang-format off
  Bytes file = cat({rec(6, {0, 0, 3, 0x12, 0x34, 0xFF, 0xFF, 2, 'u', '1'}),
                    rec(8, cat({{0}, be32(0xFFF780), be32(0x1A2B3C4D), Bytes(7, 0), {1, 'P'}})),
                    rec(0x0C, {1, 2, '_', 'p', 0xA0, 0x80, 0x41, 1, 'B', 7}),
                    rec(0x14, cat({{0xBE, 0xEF, 0x80}, be32(0xFFFFFFFF), {2, '_', 'm', 9}})),
                    rec(0x1A, {1, 2, 0xA0, 0xB0}), obj(0x1000, Bytes(16, 0x55)),
                    obj(0x9C, {}, 0x9C), rec(0x33, {'A', 'z', 0x1F, 0x7F, ' ', '~'}), {0x7F, 2},
                    END, kHeader});
  EXPECT_EQ(list(file),
      title("Unit Information") + "        Unit name : u1\n        Number of section = 3  "
      "External reference symbol = 4660  Defined sybmol = 65535\n" +
      title("Section Information") + "        Section:Adrs=00FFF780,size=1A2B3C4D:P\n" +
      title("Import symbol") + "        type:name\n        01:_p\n        A0:\n        41:B\n" +
      title("Export symbol") + "        secNo:T:Offset:name\n        BEEF:80:FFFFFFFF:_m\n" +
      title("Section Header") + "        Unit=0102:Section=A0B0\n" +
      title("Object data") + "        Adrs=00001000 : EndAdrs=00001010 : (size=16)\n" +
      title("Object data") + "        Adrs=0000009C : EndAdrs=0000009C : (size=0)\n" +
      title("Other data") + "33 08 : 41 7A 1F 7F 20 7E " + std::string(30, ' ') + "Az.. ~\n" +
      title("Other data") + "7F 02 : " + kEnd);
  // clang-format on
}

TEST(ListSysrof, CutFileEndsAbnormallyAndMissingFileIsNamed) {
  EXPECT_EQ(list(kHeader), kHeaderText + kAbnormal);
  EXPECT_EQ(list({}), kAbnormal);
  EXPECT_EQ(list(cat({kHeader, {0x06, 0x20, 0, 1}})), kHeaderText + kAbnormal);  // cut in a record
  StringOutput out;
  listSysrof("no/such.abs", out);
  EXPECT_EQ(out.text, "Can't open file no/such.abs\n");
}

// A long record first leaves 0xEE bytes in the record buffer. Names are cut at the record's end;
// fields past it read 0, down to records of length 0, 1 and 2.
TEST(ListSysrof, FieldsOutsideTheRecordAreNeverRead) {
  // clang-format off
  Bytes file = cat({rec(0x1A, Bytes(40, 0xEE)), {0x0C, 5, 5, 0x7F, 'q'}, {0x1C, 5, 0, 0, 0x20},
                    {0x14, 10, 0, 7, 2, 0, 0, 0, 0, 3}, {6, 0}, {0x0C, 1}, {0x33, 2}, END});
  EXPECT_EQ(list(file),
      title("Section Header") + "        Unit=EEEE:Section=EEEE\n" +
      title("Import symbol") + "        type:name\n        05:q\n" +
      title("Object data") + "        Adrs=00200000 : EndAdrs=00200000 : (size=0)\n" +
      title("Export symbol") + "        secNo:T:Offset:name\n        0007:02:00000000:\n" +
      title("Unit Information") + "        Unit name : \n        Number of section = 0  "
      "External reference symbol = 0  Defined sybmol = 0\n" +
      title("Import symbol") + "        type:name\n" + title("Other data") + "33 02 : " + kEnd);
  // clang-format on
}

// 16 body bytes a line, the next lines indented under the first, the last one padded.
TEST(ListSysrof, DumpOfOtherRecords) {
  Bytes r{0x40, 20};
  for (int i = 0; i < 18; i++) r.push_back(uint8_t(0x70 + i));
  StringOutput out;
  dumpRecord(r.data(), out);
  const std::string line = "70 71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F pqrstuvwxyz{|}~.\n";
  EXPECT_EQ(out.take(), "40 14 : " + line + "        80 81 " + std::string(42, ' ') + "..\n");
  r[1] = 18;
  dumpRecord(r.data(), out);
  EXPECT_EQ(out.text, "40 12 : " + line);
}

}  // namespace

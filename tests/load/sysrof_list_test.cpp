#include "load/sysrof_list.h"

#include <gtest/gtest.h>

#include "load/sysrof_writer.h"

using namespace h8;
using namespace h8test;

namespace {

std::string list(const std::string& path) {
  StringOutput out;
  listSysrof(path.c_str(), out);
  return out.text;
}

// A name length byte of 128 or more gives an empty name and is all the name takes; symbol
// entries stop when one byte remains. Other records are dumped 16 body bytes a line, the next
// lines indented under the first, the last one padded. 0x7F is other data and the listing goes
// on; only 0xFF ends it.
// Then the dumped records have left bytes 0x70 and up in the record buffer: names are cut at the
// record's end and fields past it read 0, down to records of length 0, 1 and 2.
TEST(ListSysrof, EveryRecordTypeOnExactBytes) {
  Bytes dump;
  for (int i = 0; i < 18; i++) dump.push_back(uint8_t(0x70 + i));
  // clang-format off
  Bytes file = cat({rec(6, {0, 0, 3, 0x12, 0x34, 0xFF, 0xFF, 2, 'u', '1'}),
                    rec(8, cat({{0}, be32(0xFFF780), be32(0x1A2B3C4D), Bytes(7, 0), {1, 'P'}})),
                    rec(0x0C, {1, 2, '_', 'p', 0xA0, 0x80, 0x41, 1, 'B', 7}),
                    rec(0x14, cat({{0xBE, 0xEF, 0x80}, be32(0xFFFFFFFF), {2, '_', 'm', 9}})),
                    rec(0x1A, {1, 2, 0xA0, 0xB0}), obj(0x1000, Bytes(16, 0x55)),
                    obj(0x9C, {}, 0x9C), rec(0x33, {'A', 'z', 0x1F, 0x7F, ' ', '~'}),
                    rec(0x40, dump), rec(0x41, Bytes(dump.begin(), dump.begin() + 16)), {0x7F, 2},
                    {0x0C, 5, 5, 0x7F, 'q'}, {0x1C, 5, 0, 0, 0x20}, {0x14, 6, 0, 7, 2, 0}, {6, 0},
                    {0x0C, 1}, {0x33, 2}, END, rec(0x1A, {0, 1, 0, 2})});
  const std::string line = "70 71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F pqrstuvwxyz{|}~.\n";
  EXPECT_EQ(list(saveFile(file)),
      title("Unit Information") + "        Unit name : u1\n        Number of section = 3  "
      "External reference symbol = 4660  Defined sybmol = 65535\n" +
      title("Section Information") + "        Section:Adrs=00FFF780,size=1A2B3C4D:P\n" +
      title("Import symbol") + "        type:name\n        01:_p\n        A0:\n        41:B\n" +
      title("Export symbol") + "        secNo:T:Offset:name\n        BEEF:80:FFFFFFFF:_m\n" +
      title("Section Header") + "        Unit=0102:Section=A0B0\n" +
      title("Object data") + "        Adrs=00001000 : EndAdrs=00001010 : (size=16)\n" +
      title("Object data") + "        Adrs=0000009C : EndAdrs=0000009C : (size=0)\n" +
      title("Other data") + "33 08 : 41 7A 1F 7F 20 7E " + std::string(30, ' ') + "Az.. ~\n" +
      title("Other data") + "40 14 : " + line + "        80 81 " + std::string(42, ' ') + "..\n" +
      title("Other data") + "41 12 : " + line + title("Other data") + "7F 02 : " +
      title("Import symbol") + "        type:name\n        05:q\n" +
      title("Object data") + "        Adrs=00200000 : EndAdrs=00200000 : (size=0)\n" +
      title("Export symbol") + "        secNo:T:Offset:name\n        0007:02:00000000:\n" +
      title("Unit Information") + "        Unit name : \n        Number of section = 0  "
      "External reference symbol = 0  Defined sybmol = 0\n" +
      title("Import symbol") + "        type:name\n" + title("Other data") + "33 02 : " +
      title("Other data") + "FF 02 : ");
  // clang-format on
}

// An empty file, and one cut inside a record.
TEST(ListSysrof, CutFileEndsAbnormallyAndMissingFileIsNamed) {
  EXPECT_EQ(list(saveFile({})), "Abnormal termination of SYSROF file.\n");
  EXPECT_EQ(list(saveFile({0x06, 0x20, 0, 1})), "Abnormal termination of SYSROF file.\n");
  EXPECT_EQ(list("no/such.abs"), "Can't open file no/such.abs\n");
}

}  // namespace

#include "load/sysrof.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <source_location>

#include "load/sysrof_writer.h"

using namespace h8;
using namespace h8test;

namespace {

// Object data goes to buffer[address - base] when the whole file is sound: every record complete,
// an end record, every run inside base..limit-1. Anything else fails the load with one line.
TEST(LoadSysrof, LoadsOnlyASoundFileWithItsDataInsideTheWindow) {
  MemImage image;
  StringOutput out;
  // Loads `file` and expects its result, each address with its byte afterwards and the message,
  // in which %s stands for the file's name.
  auto load = [&](const Bytes& file, int result, std::vector<std::pair<uint32_t, uint8_t>> bytes,
                  std::string message = "",
                  std::source_location at = std::source_location::current()) {
    SCOPED_TRACE(at.line());
    image.fill(0xEE);
    std::string path = saveFile(file);
    EXPECT_EQ(loadSysrof(path.c_str(), image.data(), 0x1000, 0x8000, out), result);
    for (auto [address, value] : bytes) EXPECT_EQ(image[address - 0x1000], value);
    if (size_t at = message.find("%s"); at != std::string::npos) message.replace(at, 2, path);
    EXPECT_EQ(out.take(), message);
  };
  const Bytes misc = cat({{0x30, 0, 0x31, 1, 0x0A, 2}, rec(0x44, {1}), rec(6, Bytes(9, 0x1C))});
  const std::string tooShort = "Corrupt SYSROF file %s: object data record of ";
  // clang-format off
  // Other records skipped, a later record wins, 0x9C loads, 0x7F ends.
  load(cat({misc, obj(0x1234, {1, 2, 3}), obj(0x1235, {9}, 0x9C), {0x7F, 2}, obj(0x1237, {7})}), 1,
       {{0x1233, 0xEE}, {0x1234, 1}, {0x1235, 9}, {0x1236, 3}, {0x1237, 0xEE}});
  // A run ending at the limit; 0xFF ends; an empty record at the limit.
  load(cat({obj(0x7F80, Bytes(128, 5)), obj(0x8000, {}), END, obj(0x2000, {1})}), 1,
       {{0x7F80, 5}, {0x7FFF, 5}, {0x8000, 0xEE}, {0x2000, 0xEE}});
  load(cat({obj(0x2000, {1}), obj(0x7F81, Bytes(128, 5)), END}), 0, {},
       "SYSROF file %s: object data at 00007F81 - 00008000 lies outside 00001000 - 00007FFF\n");
  load(cat({obj(0x0FFF, {1}), END}), 0, {{0x1000, 0xEE}},
       "SYSROF file %s: object data at 00000FFF - 00000FFF lies outside 00001000 - 00007FFF\n");
  load(cat({obj(0xFFFFFFF8, Bytes(16, 1)), END}), 0, {},  // the end wrapping past 2^32
       "SYSROF file %s: object data at FFFFFFF8 - 00000007 lies outside 00001000 - 00007FFF\n");
  load(cat({misc, END}), 0, {}, "SYSROF file %s: no object data\n");
  // Truncated files: no end record, cut inside a record's body or between type and length.
  load(obj(0x2000, {1}), 0, {}, "Corrupt SYSROF file %s: no end record\n");
  load(cat({obj(0x2000, {5}), {0x1C, 12, 0, 0, 0}}), 0, {},
       "Corrupt SYSROF file %s: it ends inside the record at offset 9\n");
  load(cat({obj(0x2000, {5}), {0x1C}}), 0, {},
       "Corrupt SYSROF file %s: it ends inside the record at offset 9\n");
  load(cat({{0x1C, 10, 0, 0, 0, 0x30, 0, 2, 5, 6}, END}), 1, {{0x3001, 6}});  // count fills it
  // No count, after a full record that left a plausible count in the record buffer.
  load(cat({obj(0x2000, {1}), {0x1C, 7, 0, 0, 0, 0x30, 0}, END}), 0, {{0x3000, 0xEE}},
       tooShort + "7 bytes is too short\n");
  load({0x1C, 10, 0, 0, 0, 0x30, 0, 3, 1, 2}, 0, {{0x3000, 0xEE}},  // count past its end
       tooShort + "10 bytes is too short\n");
  // clang-format on
  EXPECT_EQ(loadSysrof("no/such.abs", image.data(), 0x1000, 0x8000, out), 0);
  EXPECT_EQ(out.take(), "Can't open file no/such.abs\n");
  // What is not a regular file is refused before it is read: /dev/zero would never end.
  for (const char* path : {"/dev/zero", "."}) {
    if (!std::filesystem::exists(path)) continue;
    EXPECT_EQ(loadSysrof(path, image.data(), 0x1000, 0x8000, out), 0);
    EXPECT_EQ(out.take(), std::string("Can't open file ") + path + ": " +
                              (path[0] == '.' ? "it is a directory\n" : "not a regular file\n"));
  }
}

}  // namespace

#include "load/sysrof.h"

#include <gtest/gtest.h>

#include <source_location>

#include "load/sysrof_writer.h"

using namespace h8;
using namespace h8test;

namespace {

// Object data goes to buffer[address - base] when the whole run lies inside base..limit-1; a
// record outside stops the load, one too short for its fields fails it with a message.
TEST(LoadSysrof, CopiesObjectDataInsideTheWindowOnly) {
  MemImage image;
  StringOutput out;
  // Loads `file` and expects its result, each address with its byte afterwards and, when
  // `corrupt` is a length, the message that an object data record of that length is too short.
  auto load = [&](const Bytes& file, int result, std::vector<std::pair<uint32_t, uint8_t>> bytes,
                  int corrupt = -1, std::source_location at = std::source_location::current()) {
    SCOPED_TRACE(at.line());
    image.fill(0xEE);
    std::string path = saveFile(file);
    EXPECT_EQ(loadSysrof(path.c_str(), image.data(), 0x1000, 0x8000, out), result);
    for (auto [address, value] : bytes) EXPECT_EQ(image[address - 0x1000], value);
    std::string message = "Corrupt SYSROF file " + path + ": object data record of " +
                          std::to_string(corrupt) + " bytes is too short\n";
    EXPECT_EQ(out.take(), corrupt < 0 ? "" : message);
  };
  const Bytes misc = cat({{0x30, 0, 0x31, 1, 0x0A, 2}, rec(0x44, {1}), rec(6, Bytes(9, 0x1C))});
  // clang-format off
  // Other records skipped, a later record wins, 0x9C loads, 0x7F ends.
  load(cat({misc, obj(0x1234, {1, 2, 3}), obj(0x1235, {9}, 0x9C), {0x7F, 2}, obj(0x1237, {7})}), 1,
       {{0x1233, 0xEE}, {0x1234, 1}, {0x1235, 9}, {0x1236, 3}, {0x1237, 0xEE}});
  // A run ending at the limit; 0xFF ends.
  load(cat({obj(0x7F80, Bytes(128, 5)), END, obj(0x2000, {1})}), 1,
       {{0x7F80, 5}, {0x7FFF, 5}, {0x8000, 0xEE}, {0x2000, 0xEE}});
  // One byte too high stops the load; what came earlier stays.
  load(cat({obj(0x2000, {1}), obj(0x7F81, Bytes(128, 5)), obj(0x3000, {3})}), 0,
       {{0x2000, 1}, {0x7FFF, 0xEE}, {0x3000, 0xEE}});
  load(cat({obj(0x0FFF, {1}), END}), 0, {{0x1000, 0xEE}});  // below the base
  load(cat({obj(0xFFFFFFF8, Bytes(16, 1)), END}), 0, {});  // the end wrapping past 2^32
  load(obj(0x8000, {}), 1, {});  // an empty record at the limit, no end record
  load(cat({misc, END}), 0, {});  // no object data
  load(cat({obj(0x2000, {5}), {0x1C, 12, 0, 0, 0}}), 1, {{0x2000, 5}});  // cut after loading
  load({0x1C, 10, 0, 0, 0, 0x30, 0, 2, 5, 6}, 1, {{0x3001, 6}});  // a count filling the record
  // No count, after a full record that left a plausible count in the record buffer.
  load(cat({obj(0x2000, {1}), {0x1C, 7, 0, 0, 0, 0x30, 0}}), 0, {{0x3000, 0xEE}}, 7);
  load({0x1C, 10, 0, 0, 0, 0x30, 0, 3, 1, 2}, 0, {{0x3000, 0xEE}}, 10);  // count past its end
  // clang-format on
  EXPECT_EQ(loadSysrof("no/such.abs", image.data(), 0x1000, 0x8000, out), 0);
  EXPECT_EQ(out.text, "Can't open file no/such.abs\n");
}

}  // namespace

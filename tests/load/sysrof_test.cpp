#include "load/sysrof.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "load/sysrof_writer.h"

using namespace h8;
using namespace h8test;

namespace {

// Object data goes to buffer[address - base] when the whole run lies inside base..limit-1; a
// record outside stops the load, one too short for its fields fails it with a message.
TEST(LoadSysrof, CopiesObjectDataInsideTheWindowOnly) {
  const Bytes others = cat({{0x30, 0, 0x31, 1, 0x0A, 2}, rec(0x44, {1}), rec(6, Bytes(9, 0x1C))});
  const struct {
    const char* name;
    int result;
    Bytes file;
    std::vector<std::pair<uint32_t, uint8_t>> bytes;  // address and its byte afterwards
    int corrupt = -1;                                 // the length reported as too short
  } cases[] = {
      // clang-format off
      {"others skipped, later wins, 0x9C loads, 0x7F ends", 1,
       cat({others, obj(0x1234, {1, 2, 3}), obj(0x1235, {9}, 0x9C), {0x7F, 2}, obj(0x1237, {7})}),
       {{0x1233, 0xEE}, {0x1234, 1}, {0x1235, 9}, {0x1236, 3}, {0x1237, 0xEE}}},
      {"run ending at the limit, 0xFF ends", 1,
       cat({obj(0x7F80, Bytes(128, 5)), END, obj(0x2000, {1})}),
       {{0x7F80, 5}, {0x7FFF, 5}, {0x8000, 0xEE}, {0x2000, 0xEE}}},
      {"one byte too high stops, earlier stays", 0,
       cat({obj(0x2000, {1}), obj(0x7F81, Bytes(128, 5)), obj(0x3000, {3})}),
       {{0x2000, 1}, {0x7FFF, 0xEE}, {0x3000, 0xEE}}},
      {"below the base", 0, cat({obj(0x0FFF, {1}), END}), {{0x1000, 0xEE}}},
      {"end wrapping past 2^32", 0, cat({obj(0xFFFFFFF8, Bytes(16, 1)), END}), {}},
      {"empty record at the limit, no end record", 1, obj(0x8000, {}), {}},
      {"no object data", 0, cat({others, END}), {}},
      {"cut after loading", 1, cat({obj(0x2000, {5}), {0x1C, 12, 0, 0, 0}}), {{0x2000, 5}}},
      {"count filling the record", 1, {0x1C, 10, 0, 0, 0, 0x30, 0, 2, 5, 6}, {{0x3001, 6}}},
      // A full record first leaves a plausible count in the record buffer.
      {"no count", 0, cat({obj(0x2000, {1}), {0x1C, 7, 0, 0, 0, 0x30, 0}}), {{0x3000, 0xEE}}, 7},
      {"count past its end", 0, {0x1C, 10, 0, 0, 0, 0x30, 0, 3, 1, 2}, {{0x3000, 0xEE}}, 10},
      // clang-format on
  };
  auto image = std::make_unique<MemImage>();
  StringOutput out;
  for (const auto& c : cases) {
    image->fill(0xEE);
    std::string path = saveFile(c.file);
    EXPECT_EQ(loadSysrof(path.c_str(), image->data(), 0x1000, 0x8000, out), c.result) << c.name;
    for (auto [address, value] : c.bytes) EXPECT_EQ((*image)[address - 0x1000], value) << c.name;
    std::string corrupt = "Corrupt SYSROF file " + path + ": object data record of " +
                          std::to_string(c.corrupt) + " bytes is too short\n";
    EXPECT_EQ(out.take(), c.corrupt < 0 ? "" : corrupt) << c.name;
  }
  EXPECT_EQ(loadSysrof("no/such.abs", image->data(), 0x1000, 0x8000, out), 0);
  EXPECT_EQ(out.text, "Can't open file no/such.abs\n");
}

}  // namespace

// SYSROF bytes for tests, built record by record, and a file of the running test in the build tree
// (tests running in parallel do not share one).
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/board_line.h"  // Bytes, cat, be32

namespace h8test {

// A record of `type` around the body `b`; the length byte counts type and length too.
inline Bytes rec(uint8_t type, const Bytes& b) { return cat({{type, uint8_t(b.size() + 2)}, b}); }
// Object data: byte 2 unused, load address, count, data.
inline Bytes obj(uint32_t address, const Bytes& data, uint8_t type = 0x1C) {
  return rec(type, cat({{0}, be32(address), {uint8_t(data.size())}, data}));
}
const Bytes END{0xFF, 0x02};
// The listing's title line of a record kind.
inline std::string title(std::string text) {
  text.resize(23, ' ');
  return "    " + std::string(26, '*') + "  " + text + std::string(22, '*') + "\n";
}

// Writes `b` to the running test's file beside the test programs and gives its path (the same
// path on every call).
inline std::string saveFile(const Bytes& b) {
  const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string path = H8_BUILD_DIR "/tests/" + std::string(t->name()) + ".abs";
  EXPECT_TRUE(std::ofstream(path, std::ios::binary).write((const char*)b.data(), b.size()));
  return path;
}

}  // namespace h8test

// SYSROF bytes for tests, built record by record, and files of the running test in the build tree
// (parallel builds do not share them).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace h8test {

using Bytes = std::vector<uint8_t>;

inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
inline Bytes be32(uint32_t v) {
  return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}
// A record of `type` around the body `b`; the length byte counts type and length too.
inline Bytes rec(uint8_t type, const Bytes& b) { return cat({{type, uint8_t(b.size() + 2)}, b}); }
// Object data: byte 2 unused, load address, count, data.
inline Bytes obj(uint32_t address, const Bytes& data, uint8_t type = 0x1C) {
  return rec(type, cat({{0}, be32(address), {uint8_t(data.size())}, data}));
}
const Bytes END{0xFF, 0x02};

// Writes the bytes `b` to a file of the running test in the build tree and gives its path.
inline std::string saveFile(const Bytes& b, const std::string& name = "t.abs") {
  std::filesystem::path dir = std::filesystem::path(H8_BUILD_DIR) / "tests" / "scratch";
  std::filesystem::create_directories(dir);
  const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string path = dir.string() + "/" + t->test_suite_name() + "_" + t->name() + "_" + name;
  FILE* f = fopen(path.c_str(), "wb");
  EXPECT_TRUE(f && (b.empty() || fwrite(b.data(), 1, b.size(), f) == b.size()) && !fclose(f));
  return path;
}

}  // namespace h8test

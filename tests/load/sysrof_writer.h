// Builds SYSROF files for tests, record by record, in the layout the loader and the listing
// read: type, length of the whole record, body; big-endian fields; counted-string names.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace h8test {

class SysrofWriter {
 public:
  using Bytes = std::vector<uint8_t>;

  // A record of `type` around `body`; the length byte counts type and length too.
  SysrofWriter& record(uint8_t type, const Bytes& body) {
    bytes.push_back(type);
    bytes.push_back(uint8_t(body.size() + 2));
    bytes.insert(bytes.end(), body.begin(), body.end());
    return *this;
  }
  // Bytes as they stand (malformed records, cut files).
  SysrofWriter& raw(const Bytes& b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
  }

  SysrofWriter& unit(const std::string& name, uint16_t sections, uint16_t externals,
                     uint16_t defined) {
    Bytes b{0};
    put16(b, sections);
    put16(b, externals);
    put16(b, defined);
    putName(b, name);
    return record(0x06, b);
  }
  SysrofWriter& section(uint32_t address, uint32_t size, const std::string& name) {
    Bytes b{0};
    put32(b, address);
    put32(b, size);
    b.resize(16, 0);  // offsets 11..17 are not read
    putName(b, name);
    return record(0x08, b);
  }
  struct Import {
    uint8_t type;
    std::string name;
  };
  SysrofWriter& imports(const std::vector<Import>& entries) {
    Bytes b;
    for (const Import& e : entries) {
      b.push_back(e.type);
      putName(b, e.name);
    }
    return record(0x0C, b);
  }
  struct Export {
    uint16_t section;
    uint8_t type;
    uint32_t offset;
    std::string name;
  };
  SysrofWriter& exports(const std::vector<Export>& entries) {
    Bytes b;
    for (const Export& e : entries) {
      put16(b, e.section);
      b.push_back(e.type);
      put32(b, e.offset);
      putName(b, e.name);
    }
    return record(0x14, b);
  }
  SysrofWriter& sectionHeader(uint16_t unitNo, uint16_t sectionNo) {
    Bytes b;
    put16(b, unitNo);
    put16(b, sectionNo);
    return record(0x1A, b);
  }
  SysrofWriter& objectData(uint32_t address, const Bytes& data, uint8_t type = 0x1C) {
    Bytes b{0};
    put32(b, address);
    b.push_back(uint8_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return record(type, b);
  }
  // `length` bytes from `address` on, in records of at most 128 data bytes.
  SysrofWriter& fill(uint32_t address, size_t length, uint8_t value) {
    while (length > 0) {
      size_t n = length < 128 ? length : 128;
      objectData(address, Bytes(n, value));
      address += uint32_t(n);
      length -= n;
    }
    return *this;
  }
  SysrofWriter& end(uint8_t type = 0xFF) { return record(type, {}); }

  bool save(const std::string& path) const {
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
  }

  Bytes bytes;

 private:
  static void put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
  }
  static void put32(Bytes& b, uint32_t v) {
    put16(b, v >> 16);
    put16(b, v);
  }
  static void putName(Bytes& b, const std::string& name) {
    b.push_back(uint8_t(name.size()));
    b.insert(b.end(), name.begin(), name.end());
  }
};

// A path for a scratch file of the running test, unique per test case and build tree (the
// scratch directory lies in the build tree, so parallel builds do not share files).
inline std::string scratchPath(const std::string& name) {
  std::filesystem::path dir = std::filesystem::path(H8_BUILD_DIR) / "tests" / "scratch";
  std::error_code ignored;
  std::filesystem::create_directories(dir, ignored);
  std::string file;
  const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
  if (t != nullptr) file = std::string(t->test_suite_name()) + "_" + t->name() + "_";
  return (dir / (file + name)).string();
}

}  // namespace h8test

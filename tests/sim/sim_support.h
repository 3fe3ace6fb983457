// Helpers shared by h8sim's tests: an in-memory line for the monitor server, a SYSROF writer and
// scratch files.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "link/serial.h"
#include "support/fake_board.h"

namespace simtest {

using h8test::Bytes;

// The host's end seen from the board: what the board wrote collects in `sent`.
class MemoryPort : public h8::SerialPort {
 public:
  bool open(const std::string&, long) override { return true; }
  int close() override { return 1; }
  int write(const uint8_t* data, int n) override {
    sent.insert(sent.end(), data, data + n);
    return n;
  }
  int read(uint8_t* buffer, int n) override {
    int got = 0;
    while (got < n && !input.empty()) {
      buffer[got++] = input.front();
      input.pop_front();
    }
    return got;
  }
  unsigned available() override { return unsigned(input.size()); }
  void waitStep() override {}

  Bytes take() {
    Bytes b;
    b.swap(sent);
    return b;
  }

  Bytes sent;
  std::deque<uint8_t> input;
};

// A SYSROF file: one Object data record per chunk of at most 200 bytes, then the end record.
inline Bytes sysrofImage(uint32_t address, const Bytes& data) {
  Bytes file = {0x06, 0x0B, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 'T'};
  for (size_t done = 0; done < data.size();) {
    size_t k = std::min<size_t>(200, data.size() - done);
    uint32_t a = address + uint32_t(done);
    Bytes rec = {
        0x1C,       uint8_t(8 + k), 0x00, uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8),
        uint8_t(a), uint8_t(k)};
    rec.insert(rec.end(), data.begin() + long(done), data.begin() + long(done + k));
    file.insert(file.end(), rec.begin(), rec.end());
    done += k;
  }
  file.push_back(0xFF);
  file.push_back(0x02);
  return file;
}

// A scratch directory removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/h8simtest.XXXXXX";
    path_ = mkdtemp(name) ? name : "/tmp";
  }
  ~TempDir() {
    std::string cmd = "rm -rf '" + path_ + "'";
    if (path_ != "/tmp") (void)!system(cmd.c_str());
  }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void writeFile(const std::string& path, const Bytes& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return;
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

inline Bytes readFile(const std::string& path) {
  Bytes bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return bytes;
  int c;
  while ((c = fgetc(f)) != EOF) bytes.push_back(uint8_t(c));
  fclose(f);
  return bytes;
}

}  // namespace simtest

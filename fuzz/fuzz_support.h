// What the harnesses share: two in-memory board lines and a temporary file per process.
//
//   ReplayPort      a hostile board: sends the input's bytes whatever the host asks, `chunk` of
//                   them per poll step; once all are read the line is lost, so every wait ends.
//                   interruptAt(n) has the user interrupt the wait n poll steps on
//   AnsweringPort   a board that answers each request frame at once: MEM_READ from a byte
//                   window (a fixed pattern outside it), REG_READ with a value made from the
//                   selector, anything else with its own code and an empty payload; a lost one
//                   answers nothing
//   TempFile        one file per process, rewritten by each run, removed at exit: under $TMPDIR
//                   when set, else in /dev/shm when there is one (a disk file that is truncated
//                   and rewritten is flushed on every close, a hundred times slower), else the
//                   system's temporary directory
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/bigendian.h"
#include "common/output.h"
#include "common/target.h"
#include "common/wait_interrupt.h"
#include "link/link.h"
#include "link/serial.h"

namespace h8fuzz {

class ReplayPort : public h8::SerialPort {
 public:
  ReplayPort(const uint8_t* data, size_t size, size_t chunk)
      : data_(data), size_(size), chunk_(chunk < 1 ? 1 : chunk) {}

  bool open(const std::string&, long) override { return true; }
  int close() override { return 0; }
  int write(const uint8_t*, int n) override { return n; }
  int read(uint8_t* buffer, int n) override {
    size_t got = std::min(size_t(n < 0 ? 0 : n), ready_);
    memcpy(buffer, data_ + pos_, got);
    pos_ += got;
    ready_ -= got;
    return int(got);
  }
  unsigned available() override { return unsigned(ready_); }
  void waitStep() override {
    ++steps;
    ready_ = std::min(ready_ + chunk_, size_ - pos_);
    if (interrupt != nullptr && steps == interruptStep_) interrupt->request();
  }
  bool lost() const override { return ready_ == 0 && pos_ >= size_; }

  void interruptAt(long n) { interruptStep_ = steps + n; }

  long steps = 0;
  h8::WaitInterrupt* interrupt = nullptr;

 private:
  const uint8_t* data_;
  size_t size_, chunk_;
  size_t pos_ = 0;    // bytes read
  size_t ready_ = 0;  // bytes released and not yet read
  long interruptStep_ = -1;
};

class AnsweringPort : public h8::SerialPort {
 public:
  // MEM_READ of base..base+size-1 reads `window`; `lostLine` answers nothing.
  AnsweringPort(const uint8_t* window, size_t size, uint32_t base, bool lostLine)
      : window_(window), size_(size), base_(base), lost_(lostLine) {}

  bool open(const std::string&, long) override { return true; }
  int close() override { return 0; }
  int write(const uint8_t* data, int n) override {
    for (int i = 0; i < n; i++) {
      if (requests_.feedPacket(data[i]) == h8::FEED_COMPLETE && !lost_) answer();
    }
    return n;
  }
  int read(uint8_t* buffer, int n) override {
    int got = 0;
    while (got < n && pos_ < rx_.size()) buffer[got++] = rx_[pos_++];
    if (pos_ == rx_.size()) rx_.clear(), pos_ = 0;
    return got;
  }
  unsigned available() override { return unsigned(rx_.size() - pos_); }
  void waitStep() override {}
  bool lost() const override { return lost_; }

 private:
  uint8_t byteAt(uint32_t address) const {
    if (address >= base_ && address - base_ < size_) return window_[address - base_];
    return uint8_t(address * 7 + (address >> 8));
  }
  void answer() {
    const uint8_t* f = requests_.packetBuffer();
    const int payload = f[1] - 2;
    std::vector<uint8_t> reply;
    uint8_t code = f[2];
    if (code == h8::MEM_READ && payload >= 5) {
      uint32_t address = h8::load32(f + 3);
      for (uint32_t i = 0; i < f[7] && i < 16; i++) reply.push_back(byteAt(address + i));
    } else if (code == h8::REG_READ && payload >= 1) {
      uint32_t value = 0xF000u + f[3] * 0x0101u;
      reply = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    } else if (code == h8::MEM_WRITE || code == h8::REG_WRITE) {
      reply = {1};
    }
    uint8_t sum = uint8_t(reply.size() + 2 + code);
    for (uint8_t b : reply) sum = uint8_t(sum + b);
    rx_.push_back(h8::STX);
    rx_.push_back(uint8_t(reply.size() + 2));
    rx_.push_back(code);
    rx_.insert(rx_.end(), reply.begin(), reply.end());
    rx_.push_back(uint8_t(-sum));
    rx_.push_back(h8::ETX);
  }

  const uint8_t* window_;
  size_t size_;
  uint32_t base_;
  bool lost_;
  std::vector<uint8_t> rx_;
  size_t pos_ = 0;
  h8::NullOutput quiet_;
  h8::Link requests_{*this, quiet_};  // recognises the host's frames
};

class TempFile {
 public:
  explicit TempFile(const std::string& tag)
      : path_((directory() / ("h8fuzz-" + tag + "-" + std::to_string(getpid()))).string()) {}
  ~TempFile() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // The file now holds exactly these bytes.
  const std::string& write(const uint8_t* data, size_t size) {
    FILE* file = fopen(path_.c_str(), "wb");
    if (file == nullptr) {
      perror(path_.c_str());
      abort();
    }
    if (size > 0 && fwrite(data, 1, size, file) != size) abort();
    fclose(file);
    return path_;
  }
  const std::string& path() const { return path_; }

 private:
  static std::filesystem::path directory() {
    std::error_code ec;
    if (getenv("TMPDIR") == nullptr && std::filesystem::is_directory("/dev/shm", ec)) {
      return "/dev/shm";
    }
    return std::filesystem::temp_directory_path();
  }

  std::string path_;
};

}  // namespace h8fuzz

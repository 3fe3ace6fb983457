// Console output sink. Every module prints through one of these, so tests can capture the exact
// bytes and the program can decide how its standard output is written.
//
//   write(data, n)   append bytes as they are
//   printf(fmt,...)  formatted output in the manner of printf
//   flush()          push buffered output to the user now (prompts, progress lines)
//   writeCp932(...)  text stored in code page 932 (the help screen); a sink may convert it
//
// StringOutput keeps everything in `text` (tests); FileOutput writes to a FILE*.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#if defined(__GNUC__)
#define H8_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define H8_PRINTF(fmt, args)
#endif

namespace h8 {

class Output {
 public:
  virtual ~Output() = default;
  virtual void write(const char* data, size_t n) = 0;
  virtual void flush() {}
  virtual void writeCp932(std::string_view text) { write(text.data(), text.size()); }

  void printf(const char* fmt, ...) H8_PRINTF(2, 3);
  void vprintf(const char* fmt, va_list args);
  void put(char c) { write(&c, 1); }
  void puts(std::string_view s) { write(s.data(), s.size()); }
};

class StringOutput : public Output {
 public:
  void write(const char* data, size_t n) override { text.append(data, n); }
  void flush() override { ++flushes; }
  std::string take() {
    std::string t;
    t.swap(text);
    return t;
  }

  std::string text;
  int flushes = 0;
};

class FileOutput : public Output {
 public:
  explicit FileOutput(FILE* file) : file_(file) {}
  void write(const char* data, size_t n) override { fwrite(data, 1, n, file_); }
  void flush() override { fflush(file_); }

 private:
  FILE* file_;
};

// Discards everything (for quiet users of modules that print).
class NullOutput : public Output {
 public:
  void write(const char*, size_t) override {}
};

}  // namespace h8

// The line trace (h8dbg -v): every frame sent and received with a millisecond time from the
// start, its direction, the request's name and decoded fields, bytes outside frames as text,
// time-outs and a lost line. Lines are collected in memory and written by flush(), which the
// console calls outside its waits (after each command, before the prompt), so tracing does not
// slow the exchanges it records.
//
//   frame(sent, f)    one whole frame (STX COUNT TYPE payload SUM ETX)
//   text(b)           one byte outside a frame; runs of them form one "text" line
//   note(what)        an event: a time-out, a bad frame, a lost line
//   flush()           write what was collected
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "common/output.h"

namespace h8 {

class LineTrace {
 public:
  explicit LineTrace(Output& out) : out_(out), start_(std::chrono::steady_clock::now()) {}

  void frame(bool sent, const uint8_t* frame);
  void text(uint8_t b);
  void note(const char* what);
  void flush();

 private:
  void begin(const char* direction);
  void endText();

  Output& out_;
  std::chrono::steady_clock::time_point start_;
  std::string lines_;
  std::string text_;  // bytes outside frames not yet written as a line
};

}  // namespace h8

// The console keyboard, behind a small interface (POSIX and Win32 bindings; fakes in tests).
//
//   keyWaiting()           true when a key (or the end of input) is waiting
//   readKey()              one key without echo, 0..255; KEY_NONE for a key that produces no
//                          character (arrows, function keys); -1 at the end of input
//   wakeHandle()           what a wait on the serial line also watches for keys (NO_WAKE: none)
//   setRunMode(on)         single keys for a running program (on) or command lines (off)
//   readLine(line, prompt) one edited line without its newline; false at the end of input.
//                          `prompt` is what the caller has already printed on this line, so
//                          that a line editor can redraw it. At most LINE_KEPT characters
//                          of a line are kept; the rest, up to its newline, is read and
//                          dropped, so an endless line is never buffered whole (every reader
//                          refuses a line that long).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "link/serial.h"

namespace h8 {

constexpr int KEY_NONE = 256;
constexpr size_t LINE_KEPT = 1024;

class Keyboard {
 public:
  virtual ~Keyboard() = default;
  virtual bool keyWaiting() = 0;
  virtual int readKey() = 0;
  virtual bool readLine(std::string& line, const std::string& prompt) = 0;
  // False when input comes from a file or pipe: a running program then gets no keys, so a
  // script's next lines stay commands.
  virtual bool interactive() const { return true; }
  virtual WakeHandle wakeHandle() const { return NO_WAKE; }
  // Switches the console between waiting for command lines and passing single keys to a running
  // program.
  virtual void setRunMode(bool running) { (void)running; }
};

// The platform's console keyboard on standard input.
std::unique_ptr<Keyboard> makePlatformKeyboard();

}  // namespace h8

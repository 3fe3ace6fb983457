// Drives the debugger itself: start-up, then the command loop over typed lines, against a
// hostile board that sends the input's bytes whatever it is asked. Both frame receivers get
// them: the synchronous one of every exchange, and the polling one at the prompt (a line is
// typed only after one more poll step of board bytes has been read) and while G or S runs.
//
// Input: byte 0 = bits 0-3 the number of command lines, bit 4 an interactive keyboard (G and S
// then take each next line's first character as a key), bits 5-7 the board's bytes per poll
// step less one; then the lines, each ending at a newline; the rest is what the board sends.
// When the board's bytes are all read the line is lost. A line that begins with byte 03 has the
// user press Ctrl-C at the (1 + the low five bits of its second byte)-th poll step after it is
// typed; the rest of it is the command. LO loads a small fixed file whatever name is typed (none
// when none is), so nothing else on the host is read. With H8FUZZ_ECHO set in the environment
// the session is shown on standard error (to see what a seed reaches).
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "console/debugger.h"
#include "fuzz_support.h"
#include "load/sysrof_write.h"

namespace {

// A small module for LO: two blocks of code at the start of the user flash.
const std::string& loadFilePath() {
  static h8fuzz::TempFile file("console-lo");
  static bool written = false;
  if (!written) {
    h8::ProgramImage image;
    h8::ImageSection text;
    text.name = ".text";
    text.address = text.loadAddress = h8::USER_FLASH_START;
    for (int i = 0; i < 200; i++) text.data.push_back(uint8_t(i));
    text.size = uint32_t(text.data.size());
    text.code = true;
    image.sections.push_back(text);
    std::vector<std::string> notes;
    std::vector<uint8_t> module = h8::writeSysrof(image, "fuzz", "260101000000", notes);
    file.write(module.data(), module.size());
    written = true;
  }
  return file.path();
}

class ScriptKeyboard : public h8::Keyboard {
 public:
  ScriptKeyboard(h8fuzz::ReplayPort& port, std::deque<std::string> lines, bool interactive)
      : port_(port), lines_(std::move(lines)), interactive_(interactive) {}

  bool keyWaiting() override {
    if (lines_.empty() || port_.lost()) return true;
    return port_.available() == 0 && port_.steps > stepsAtLine_;
  }
  int readKey() override {
    if (lines_.empty()) return -1;
    int key = lines_.front().empty() ? '\n' : uint8_t(lines_.front()[0]);
    lines_.pop_front();
    return key;
  }
  bool readLine(std::string& line, const std::string&) override {
    if (lines_.empty()) return false;
    std::string typed = lines_.front();
    lines_.pop_front();
    if (typed.size() >= 2 && typed[0] == '\x03') {
      port_.interruptAt(1 + (typed[1] & 0x1F));
      typed.erase(0, 2);
    }
    if (typed.size() > h8::LINE_KEPT) typed.resize(h8::LINE_KEPT);
    line = confined(typed);
    stepsAtLine_ = port_.steps;
    return true;
  }
  bool interactive() const override { return interactive_; }

 private:
  // LO reads the fixed file in place of any name typed.
  static std::string confined(const std::string& line) {
    std::vector<std::string> words = h8::splitWords(line);
    if (words.empty() || words[0].size() != 2) return line;
    if (toupper(uint8_t(words[0][0])) != 'L' || toupper(uint8_t(words[0][1])) != 'O') return line;
    return words.size() > 1 ? "lo " + loadFilePath() : "lo";
  }

  h8fuzz::ReplayPort& port_;
  std::deque<std::string> lines_;
  bool interactive_;
  long stepsAtLine_ = -1;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  size_t at = 1;
  std::deque<std::string> lines;
  for (int i = 0; i < (flags & 0x0F) && at < size; i++) {
    size_t end = at;
    while (end < size && data[end] != '\n') end++;
    lines.emplace_back(reinterpret_cast<const char*>(data + at), end - at);
    at = end < size ? end + 1 : end;
  }
  h8fuzz::ReplayPort port(data + at, size - at, size_t((flags >> 5) & 7) + 1);
  ScriptKeyboard keyboard(port, std::move(lines), (flags & 0x10) != 0);
  static const bool echo = getenv("H8FUZZ_ECHO") != nullptr;
  h8::NullOutput quiet;
  h8::FileOutput shown(stderr);
  h8::Output& out = echo ? static_cast<h8::Output&>(shown) : quiet;
  h8::Debugger debugger(port, keyboard, out);
  port.interrupt = &debugger.console.interrupt;
  if (debugger.startUp()) debugger.commandLoop();
  return 0;
}

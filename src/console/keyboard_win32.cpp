// Win32 console keyboard. On a console the input events are looked at directly, so a waiting
// key is seen without being taken, single keys come without echo, and a line is read in the
// console's cooked mode with its own editing and history. Redirected input (a pipe or a file)
// is read raw, and a pipe is asked how much it holds, so that scripts can drive the debugger.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "console/keyboard.h"
#include "console/terminal.h"

namespace h8 {

namespace {

constexpr DWORD kCookedMode = ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT;
constexpr char kCtrlZ = 0x1A;

HANDLE consoleInput = INVALID_HANDLE_VALUE;
DWORD savedInputMode = 0;
bool haveSavedInputMode = false;

void restoreConsoleInput() {
  if (haveSavedInputMode) SetConsoleMode(consoleInput, savedInputMode);
}

// Keys without a character that still count as a key, as _getch reports them: the cursor and
// editing block and F1-F12. Shift, Ctrl, Alt and the lock keys alone are no key.
bool isFunctionKey(WORD vk) {
  return (vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_INSERT || vk == VK_DELETE ||
         (vk >= VK_F1 && vk <= VK_F12);
}

bool isKey(const INPUT_RECORD& r) {
  if (r.EventType != KEY_EVENT || !r.Event.KeyEvent.bKeyDown) return false;
  return r.Event.KeyEvent.uChar.AsciiChar != 0 || isFunctionKey(r.Event.KeyEvent.wVirtualKeyCode);
}

class Win32Keyboard : public Keyboard {
 public:
  Win32Keyboard() {
    in_ = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (in_ == nullptr || in_ == INVALID_HANDLE_VALUE) {
      eof_ = true;  // a process started without standard input
    } else if (GetConsoleMode(in_, &mode)) {
      console_ = true;
      consoleInput = in_;
      savedInputMode = mode;
      haveSavedInputMode = true;
      installTerminalRestore(restoreConsoleInput);
    } else {
      pipe_ = GetFileType(in_) == FILE_TYPE_PIPE;
    }
  }
  ~Win32Keyboard() override {
    if (console_) restoreConsoleInput();
  }

  bool keyWaiting() override {
    if (eof_) return true;
    if (console_) return consoleKeyWaiting();
    if (pos_ < buffer_.size()) return true;
    if (!pipe_) return true;  // a file (or a device such as NUL) never makes a read wait
    DWORD queued = 0;
    // A pipe whose writer has gone fails here; the read then sees the end of input.
    if (!PeekNamedPipe(in_, nullptr, 0, nullptr, &queued, nullptr)) return true;
    return queued > 0;
  }

  int readKey() override {
    if (console_) return consoleReadKey();
    if (pos_ == buffer_.size() && (eof_ || !fill())) return -1;
    return uint8_t(buffer_[pos_++]);
  }

  bool readLine(std::string& line, const std::string&) override {
    line.clear();
    if (eof_) return false;
    if (console_) return consoleReadLine(line);
    for (;;) {
      if (pos_ == buffer_.size() && (eof_ || !fill())) return !line.empty();
      char c = buffer_[pos_++];
      if (c == '\n') break;
      if (line.size() < LINE_KEPT) line.push_back(c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }

  bool interactive() const override { return console_; }
  // A console's input handle is signalled while events wait; a pipe's handle cannot be waited on.
  WakeHandle wakeHandle() const override { return console_ ? WakeHandle(in_) : NO_WAKE; }

 private:
  // Mouse, focus and key-up events and Shift, Ctrl, Alt alone are dropped, so that they neither
  // count as a key nor hide the key behind them. An arrow key counts: at the prompt it starts
  // the line, whose editing recalls the history.
  bool consoleKeyWaiting() {
    if (!pending_.empty()) return true;
    for (;;) {
      // The input handle is signalled while events are queued. Asking it also makes wine's
      // terminal console take in what was typed, which the calls below alone never do.
      if (WaitForSingleObject(in_, 0) != WAIT_OBJECT_0) return false;
      DWORD events = 0;
      if (!GetNumberOfConsoleInputEvents(in_, &events) || events == 0) return false;
      INPUT_RECORD r;
      DWORD got = 0;
      if (!PeekConsoleInputA(in_, &r, 1, &got) || got == 0) return false;
      if (isKey(r)) return true;
      ReadConsoleInputA(in_, &r, 1, &got);
    }
  }

  // A function key gives two bytes, 0xE0 (0 for F1-F12 and the keypad) and its scan code, as
  // _getch gives them. A held key arrives as one event with a repeat count.
  int consoleReadKey() {
    if (pending_.empty()) {
      for (;;) {
        INPUT_RECORD r;
        DWORD got = 0;
        if (!ReadConsoleInputA(in_, &r, 1, &got) || got == 0) {
          eof_ = true;
          return -1;
        }
        if (!isKey(r)) continue;
        const KEY_EVENT_RECORD& k = r.Event.KeyEvent;
        std::string bytes;
        if (k.uChar.AsciiChar != 0) {
          bytes.push_back(k.uChar.AsciiChar);
        } else {
          bytes.push_back(char((k.dwControlKeyState & ENHANCED_KEY) ? 0xE0 : 0x00));
          bytes.push_back(char(k.wVirtualScanCode & 0xFF));
        }
        for (WORD i = 0; i < (k.wRepeatCount ? k.wRepeatCount : 1); i++) pending_ += bytes;
        break;
      }
    }
    int key = uint8_t(pending_.front());
    pending_.erase(0, 1);
    return key;
  }

  // Cooked mode: the console echoes, edits (arrows, F7 history) and hands over the whole line
  // with its CR LF. Ctrl-Z at the start of the line is the console's end of input.
  bool consoleReadLine(std::string& line) {
    pending_.clear();
    DWORD mode = 0;
    GetConsoleMode(in_, &mode);
    SetConsoleMode(in_, mode | kCookedMode);
    std::string text;
    char chunk[256];
    for (;;) {
      DWORD got = 0;
      if (!ReadConsoleA(in_, chunk, DWORD(sizeof chunk), &got, nullptr) || got == 0) break;
      if (text.size() < LINE_KEPT) text.append(chunk, got);
      if (chunk[got - 1] == '\n') break;
    }
    SetConsoleMode(in_, mode);
    if (text.empty() || text[0] == kCtrlZ) {
      eof_ = true;
      return false;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    line = text;
    return true;
  }

  bool fill() {
    buffer_.resize(4096);
    pos_ = 0;
    DWORD got = 0;
    if (!ReadFile(in_, buffer_.data(), DWORD(buffer_.size()), &got, nullptr) || got == 0) {
      buffer_.clear();
      eof_ = true;
      return false;
    }
    buffer_.resize(got);
    return true;
  }

  HANDLE in_ = INVALID_HANDLE_VALUE;
  bool console_ = false;
  bool pipe_ = false;
  bool eof_ = false;
  std::vector<char> buffer_;
  size_t pos_ = 0;
  std::string pending_;  // bytes of a key already taken from the console
};

}  // namespace

std::unique_ptr<Keyboard> makePlatformKeyboard() { return std::make_unique<Win32Keyboard>(); }

}  // namespace h8

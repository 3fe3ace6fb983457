// POSIX console: standard input, polled; a terminal is kept in no-echo, non-canonical mode while
// the debugger waits so that a single key is seen at once, and line editing is done by libedit
// when the build has it, else by a small editor of our own.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "console/keyboard.h"
#include "console/terminal.h"

#ifdef H8_HAVE_LIBEDIT
#include <editline/readline.h>
#endif

namespace h8 {

namespace {

termios savedTermios;
bool haveSavedTermios = false;

void restoreTerminal() {
  if (haveSavedTermios) tcsetattr(STDIN_FILENO, TCSANOW, &savedTermios);
}

class PosixKeyboard : public Keyboard {
 public:
  PosixKeyboard() {
    tty_ = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &savedTermios) == 0;
    if (tty_) {
      haveSavedTermios = true;
      installTerminalRestore(restoreTerminal);
      waitMode_ = savedTermios;
      waitMode_.c_lflag &= ~(ICANON | ECHO);
      // Keys reach a running program as typed: Enter as CR, Ctrl-S and Ctrl-Q as themselves.
      waitMode_.c_iflag &= ~(ICRNL | INLCR | IXON);
      waitMode_.c_cc[VMIN] = 1;
      waitMode_.c_cc[VTIME] = 0;
      tcsetattr(STDIN_FILENO, TCSANOW, &waitMode_);
    }
  }
  ~PosixKeyboard() override { restoreTerminal(); }

  bool keyWaiting() override {
    if (eof_ || havePeek_) return true;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
  }

  int readKey() override {
    int k = readByte();
    if (k != 0x1B || !tty_ || !pending()) return k;
    // Arrow and function keys arrive as one burst: ESC [ ... final or ESC O final. They produce
    // no character; a lone ESC (nothing behind it) stays ESC.
    int next = peekByte();
    if (next != '[' && next != 'O') return k;
    readByte();
    for (int i = 0; i < 16 && pending(); i++) {
      int c = readByte();
      if (c < 0 || (next == 'O' && i == 0) || (c >= 0x40 && c <= 0x7E)) break;
    }
    return KEY_NONE;
  }

  bool interactive() const override { return tty_; }

  bool readLine(std::string& line, const std::string& prompt) override {
    line.clear();
    if (eof_) return false;
    if (!tty_) return readPlainLine(line);
#ifdef H8_HAVE_LIBEDIT
    // readline redraws the prompt itself, so go back to the start of the line first. It edits
    // only from a terminal in its usual (echoing) mode, so give it the mode we found.
    fputs("\r", stdout);
    fflush(stdout);
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTermios);
    char* text = readline(prompt.c_str());
    tcsetattr(STDIN_FILENO, TCSANOW, &waitMode_);
    if (!text) {
      eof_ = true;
      return false;
    }
    line = text;
    if (!line.empty()) add_history(text);
    free(text);
    return true;
#else
    (void)prompt;
    return editLine(line);
#endif
  }

 private:
  bool pending() {
    if (havePeek_) return true;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
  }

  int peekByte() {
    if (!havePeek_) {
      int c = rawByte();
      if (c < 0) return c;
      peek_ = uint8_t(c);
      havePeek_ = true;
    }
    return peek_;
  }

  int readByte() {
    if (havePeek_) {
      havePeek_ = false;
      return peek_;
    }
    return rawByte();
  }

  int rawByte() {
    uint8_t b;
    for (;;) {
      ssize_t r = read(STDIN_FILENO, &b, 1);
      if (r == 1) return b;
      if (r < 0 && errno == EINTR) continue;
      eof_ = true;
      return -1;
    }
  }

  bool readPlainLine(std::string& line) {
    for (;;) {
      int c = readKey();
      if (c < 0) return !line.empty();
      if (c == '\n') {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // a script written on Windows
        return true;
      }
      line.push_back(char(c));
    }
  }

  // Minimal editing for terminals without libedit: echo, backspace, Ctrl-U, Enter.
  bool editLine(std::string& line) {
    for (;;) {
      int c = readKey();
      if (c < 0) return !line.empty();
      if (c == KEY_NONE) continue;
      if (c == '\n' || c == '\r') {
        fputs("\n", stdout);
        fflush(stdout);
        return true;
      }
      if (c == 4 && line.empty()) {  // Ctrl-D on an empty line ends the input
        eof_ = true;
        return false;
      }
      if (c == 0x7F || c == 8) {
        if (!line.empty()) {
          line.pop_back();
          fputs("\b \b", stdout);
        }
      } else if (c == 0x15) {
        for (size_t i = 0; i < line.size(); i++) fputs("\b \b", stdout);
        line.clear();
      } else if (c >= 0x20 || c == '\t') {
        line.push_back(char(c));
        fputc(c, stdout);
      }
      fflush(stdout);
    }
  }

  bool tty_ = false;
  bool eof_ = false;
  bool havePeek_ = false;
  uint8_t peek_ = 0;
  termios waitMode_{};
};

}  // namespace

std::unique_ptr<Keyboard> makePlatformKeyboard() { return std::make_unique<PosixKeyboard>(); }

}  // namespace h8

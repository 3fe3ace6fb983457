// POSIX console: standard input, polled. While a program runs, a terminal is in no-echo,
// non-canonical mode so that single keys are seen at once; lines are edited by libedit when the
// build has it, else by the terminal's own canonical mode.
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
      runMode_ = savedTermios;
      runMode_.c_lflag &= ~(ICANON | ECHO);
      // Keys reach a running program as typed: Enter as CR, Ctrl-S and Ctrl-Q as themselves.
      runMode_.c_iflag &= ~(ICRNL | INLCR | IXON);
      runMode_.c_cc[VMIN] = 1;
      runMode_.c_cc[VTIME] = 0;
#ifdef H8_HAVE_LIBEDIT
      // libedit takes over once the first key is seen, so the prompt waits in single-key mode.
      promptMode_ = runMode_;
#else
      // Without libedit the terminal's own canonical mode edits the line.
      promptMode_ = savedTermios;
#endif
      tcsetattr(STDIN_FILENO, TCSANOW, &promptMode_);
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
  WakeHandle wakeHandle() const override { return STDIN_FILENO; }

  void setRunMode(bool running) override {
    if (tty_) tcsetattr(STDIN_FILENO, TCSANOW, running ? &runMode_ : &promptMode_);
  }

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
    tcsetattr(STDIN_FILENO, TCSANOW, &promptMode_);
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
    return readPlainLine(line);
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
      if (line.size() < LINE_KEPT) line.push_back(char(c));
    }
  }

  bool tty_ = false;
  bool eof_ = false;
  bool havePeek_ = false;
  uint8_t peek_ = 0;
  termios promptMode_{};
  termios runMode_{};
};

}  // namespace

std::unique_ptr<Keyboard> makePlatformKeyboard() { return std::make_unique<PosixKeyboard>(); }

}  // namespace h8

// Win32 standard output and console restoration.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/terminal.h"

namespace h8 {

namespace {

// Ctrl-C, Ctrl-Break, closing the window: a running command takes Ctrl-C and Ctrl-Break as the
// way out of its wait; otherwise put the console back, then let the default handler end the
// process.
BOOL WINAPI onConsoleEvent(DWORD event) {
  if ((event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) && interruptWait()) return TRUE;
  runTerminalRestores();
  return FALSE;
}

// Standard output in binary mode, so that the program writes the same bytes as on POSIX ("\n",
// not "\r\n"; the console starts a new line for either). On a console the code page 932 help
// text is converted to UTF-16 and written with WriteConsoleW, which reads right whatever the
// console's code page (932 on a Japanese Windows, 437 or 1252 on an English one). Redirected
// output keeps the exact CP932 bytes.
class ConsoleOutput : public FileOutput {
 public:
  ConsoleOutput() : FileOutput(stdout) {
    _setmode(_fileno(stdout), _O_BINARY);
    handle_ = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    console_ =
        handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode);
  }

  void writeCp932(std::string_view text) override {
    if (!console_ || text.empty()) return FileOutput::write(text.data(), text.size());
    int n = MultiByteToWideChar(932, 0, text.data(), int(text.size()), nullptr, 0);
    if (n <= 0) return FileOutput::write(text.data(), text.size());
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(932, 0, text.data(), int(text.size()), wide.data(), n);
    flush();  // what stdout holds comes first
    DWORD written = 0;
    if (!WriteConsoleW(handle_, wide.data(), DWORD(n), &written, nullptr))
      FileOutput::write(text.data(), text.size());
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool console_ = false;
};

}  // namespace

std::unique_ptr<Output> makeConsoleOutput() { return std::make_unique<ConsoleOutput>(); }

void installInterruptHandlers() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

}  // namespace h8

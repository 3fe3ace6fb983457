// POSIX standard output and terminal restoration.
#include <iconv.h>
#include <langinfo.h>
#include <signal.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "console/terminal.h"

namespace h8 {

namespace {

void onSignal(int sig) {
  if (sig == SIGINT && interruptWait()) return;
  runTerminalRestores();
  signal(sig, SIG_DFL);
  raise(sig);
}

// Standard output; on a UTF-8 terminal the code page 932 help text is converted so that the
// Japanese reads correctly. Piped output keeps the exact CP932 bytes.
class ConsoleOutput : public FileOutput {
 public:
  ConsoleOutput() : FileOutput(stdout) {
    setlocale(LC_CTYPE, "");
    const char* codeset = nl_langinfo(CODESET);
    convert_ = isatty(STDOUT_FILENO) && codeset && strcmp(codeset, "UTF-8") == 0;
    // Lines are collected and written when h8dbg waits (for the board, for a key) rather than
    // one write each: the prompt, the waits of the link and the run all flush.
    setvbuf(stdout, nullptr, _IOFBF, 1 << 14);
  }

  void writeCp932(std::string_view text) override {
    if (!convert_) return FileOutput::write(text.data(), text.size());
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == iconv_t(-1)) return FileOutput::write(text.data(), text.size());
    std::vector<char> in(text.begin(), text.end());
    std::vector<char> outBuf(text.size() * 3 + 16);
    char* ip = in.data();
    size_t il = in.size();
    char* op = outBuf.data();
    size_t ol = outBuf.size();
    size_t r = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    if (r == size_t(-1)) return FileOutput::write(text.data(), text.size());
    FileOutput::write(outBuf.data(), outBuf.size() - ol);
  }

 private:
  bool convert_ = false;
};

}  // namespace

std::unique_ptr<Output> makeConsoleOutput() { return std::make_unique<ConsoleOutput>(); }

void installInterruptHandlers() {
  signal(SIGINT, onSignal);
  signal(SIGTERM, onSignal);
}

}  // namespace h8

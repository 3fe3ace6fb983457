// Runs the built h8dbg as a process against the simulated board served on a pseudo-terminal, with
// its console either a socket or a terminal of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>

#include "support/board_line.h"
#include "support/child.h"

using namespace h8test;

namespace {

const std::string kProgram = H8_BUILD_DIR "/h8dbg";
const std::string kGoFrame("\x02\x02\x41\xBD\x03", 5);

// The board's line: a pty whose slave is held open and raw, so nothing is echoed before the
// debugger configures it.
struct Line {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  int slaveHold = -1;
  std::string slave;
  Line() {
    grantpt(master);
    unlockpt(master);
    slave = ptsname(master);
    slaveHold = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t;
    tcgetattr(slaveHold, &t);
    cfmakeraw(&t);
    tcsetattr(slaveHold, TCSANOW, &t);
    fcntl(master, F_SETFL, O_NONBLOCK);
  }
  ~Line() {
    close(master);
    close(slaveHold);
  }
};

// h8dbg on the line, and the board the test serves there.
struct Debugger {
  BoardLine board;
  Line line;
  Child h8dbg;
  explicit Debugger(bool terminal, const char* lang = nullptr)
      : h8dbg({kProgram, "-c", line.slave}, terminal, [lang] {
          if (lang) setenv("LANG", lang, 1), setenv("LC_ALL", lang, 1);
        }) {}

  bool atPrompt() const {
    size_t banner = h8dbg.output.find("Enter 'HELP'");
    return banner != std::string::npos && h8dbg.output.rfind('>') > banner;
  }
  bool shows(const std::string& text) const { return h8dbg.output.find(text) != std::string::npos; }
  std::string sent() const { return std::string(board.sent.begin(), board.sent.end()); }

  // Serves the board and collects the console until `done` holds, the console ends, or 20
  // seconds pass. Returns whether `done` held.
  bool serveUntil(const std::function<bool()>& done) {
    return h8dbg.waitFor(
        [&] {
          uint8_t buf[512];
          ssize_t n = read(line.master, buf, sizeof buf);
          if (n > 0) board.write(buf, int(n));
          int m = board.read(buf, sizeof buf);
          if (m > 0) {
            EXPECT_EQ(write(line.master, buf, size_t(m)), m);
          }
          return done();
        },
        20);
  }
};

TEST(DebuggerProcess, TalksToABoardOverAPseudoTerminalAndCtrlCAtThePromptEndsIt) {
  Debugger p(false);
  p.board.setMem(0x100, {'H', '8', 0x01, 0xFF});
  p.h8dbg.type("db 0x100 4\r\nwb 0xF800 0x5A\nbogus\n");  // a CRLF line as well
  ASSERT_TRUE(p.serveUntil([&] { return p.shows(">Unknown Command\n>"); })) << p.h8dbg.output;
  EXPECT_TRUE(p.shows("Use port " + p.line.slave + " speed  19200\n"));
  EXPECT_TRUE(p.shows("Target Board(MIRO-H8/3664) vesk3664 Ver 1.0(build 1)\n"));
  EXPECT_TRUE(p.shows(">000100 48 38 01 FF " + std::string(36, ' ') + "H8.\xFF\n>"));
  EXPECT_EQ(p.board.mem(0xF800), 0x5A);
  kill(p.h8dbg.pid, SIGINT);  // at the prompt Ctrl-C ends the program, as it always has
  EXPECT_EQ(p.h8dbg.finish(), 128 + SIGINT);
}

TEST(DebuggerProcess, EndOfInputEndsTheSessionAndAMissingPortFails) {
  Debugger p(false);
  p.h8dbg.endInput();
  p.serveUntil([] { return false; });
  EXPECT_EQ(p.h8dbg.finish(), 0);
  EXPECT_EQ(p.h8dbg.output.back(), '>');

  Child missing({kProgram, "-c", "/nonexistent/tty"});
  EXPECT_EQ(missing.finish(), 1);
  const std::string tail =
      "speed  19200\n\ninitCom() returns with error.\n"
      "Can't open /nonexistent/tty: No such file or directory\n";
  EXPECT_TRUE(missing.output.ends_with(tail)) << missing.output;
}

// On a terminal of its own: the help in UTF-8; while a program runs, single keys without echo
// that reach it as typed (Enter as CR), an arrow key's escape sequence no key for the board and
// no ESC, and a lone ESC gives up the wait; SIGTERM during a run leaves the terminal restored.
TEST(DebuggerProcess, TerminalKeysDuringARunAndRestoredOnSigterm) {
  Debugger p(true, "C.UTF-8");  // GO gets no stop report: the program runs until ESC
  ASSERT_TRUE(p.serveUntil([&] { return p.atPrompt(); }));
  p.h8dbg.type("h\r");  // "コマンド一覧" in UTF-8
  EXPECT_TRUE(
      p.serveUntil([&] { return p.shows("\xe3\x82\xb3\xe3\x83\x9e\xe3\x83\xb3\xe3\x83\x89"); }));
  p.h8dbg.type("g\r");
  ASSERT_TRUE(p.serveUntil([&] { return p.sent().find(kGoFrame) != std::string::npos; }));
  size_t go = p.sent().find(kGoFrame) + kGoFrame.size();
  p.h8dbg.type("\x1b[A\x1bOPx\r");
  ASSERT_TRUE(p.serveUntil([&] { return p.sent().size() > go + 1; }));
  EXPECT_EQ(p.sent().substr(go), "x\r");
  p.h8dbg.type("\x1b");
  ASSERT_TRUE(p.serveUntil([&] {  // and the prompt again
    size_t at = p.h8dbg.output.find("Unknown packet");
    return at != std::string::npos && p.h8dbg.output.find('>', at) != std::string::npos;
  })) << p.h8dbg.output;
  p.h8dbg.type("g\r");
  termios running{}, after{};
  ASSERT_TRUE(p.serveUntil([&] {
    tcgetattr(p.h8dbg.fd, &running);
    return (running.c_lflag & (ICANON | ECHO)) == 0;
  }));
  EXPECT_EQ(running.c_iflag & ICRNL, 0u);
  kill(p.h8dbg.pid, SIGTERM);
  EXPECT_EQ(p.h8dbg.finish(), 128 + SIGTERM);
  tcgetattr(p.h8dbg.fd, &after);  // as a new terminal starts
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
  EXPECT_EQ(after.c_iflag & ICRNL, tcflag_t(ICRNL));
}

}  // namespace

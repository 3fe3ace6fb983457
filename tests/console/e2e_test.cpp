// Runs the built h8dbg as a process against the fake board served on a pseudo-terminal, with
// its console either a pipe or a terminal of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <chrono>
#include <functional>
#include <string>

#include "support/fake_board.h"

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
  ~Line() { unplug(); }
  void unplug() {
    if (master >= 0) close(master);
    if (slaveHold >= 0) close(slaveHold);
    master = slaveHold = -1;
  }
};

// One h8dbg process. Its console is a pipe pair, or (terminal = true) a pty of its own.
struct Process {
  FakeBoard board;
  Line line;
  pid_t pid = -1;
  int in = -1, out = -1;  // the same descriptor for a terminal
  termios start{};        // the terminal's settings, read before h8dbg exists to change them
  std::string shown;

  Process(std::vector<std::string> args, bool terminal, const char* lang = nullptr) {
    if (args.empty()) args = {"-c", line.slave};
    int inPipe[2], outPipe[2], slave = -1;
    if (terminal) {
      EXPECT_EQ(openpty(&in, &slave, nullptr, nullptr, nullptr), 0);
      tcgetattr(slave, &start);
      pid = fork();
      out = in;
    } else {
      EXPECT_EQ(pipe(inPipe), 0);
      EXPECT_EQ(pipe(outPipe), 0);
      pid = fork();
    }
    if (pid == 0) {
      if (terminal) {
        close(in);
        login_tty(slave);
      } else {
        dup2(inPipe[0], 0);
        dup2(outPipe[1], 1);
        dup2(outPipe[1], 2);
        close(inPipe[1]);
        close(outPipe[0]);
      }
      if (lang) {
        setenv("LANG", lang, 1);
        setenv("LC_ALL", lang, 1);
      }
      std::vector<char*> argv{const_cast<char*>(kProgram.c_str())};
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(kProgram.c_str(), argv.data());
      _exit(127);
    }
    if (terminal) {
      close(slave);
    } else {
      close(inPipe[0]);
      close(outPipe[1]);
      in = inPipe[1];
      out = outPipe[0];
    }
    fcntl(out, F_SETFL, O_NONBLOCK);
  }

  ~Process() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (in != out && in >= 0) close(in);
    if (out >= 0) close(out);
  }

  void type(const std::string& s) { EXPECT_EQ(write(in, s.data(), s.size()), ssize_t(s.size())); }
  void endInput() {
    close(in);
    in = -1;
  }
  bool atPrompt() const {
    size_t banner = shown.find("Enter 'HELP'");
    return banner != std::string::npos && shown.rfind('>') > banner;
  }
  std::string sent() const { return std::string(board.sent.begin(), board.sent.end()); }

  // Serves the board and collects the console until `done` holds, the console closes, or 20
  // seconds pass. Returns whether `done` held.
  bool serveUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      if (done()) return true;
      pollfd fds[2] = {{out, POLLIN, 0}, {line.master, POLLIN, 0}};
      poll(fds, line.master >= 0 ? 2 : 1, 10);
      char buf[512];
      ssize_t n = read(out, buf, sizeof buf);
      if (n > 0) shown.append(buf, size_t(n));
      if (n == 0 || (n < 0 && errno == EIO)) return done();
      if (line.master < 0) continue;
      n = read(line.master, buf, sizeof buf);
      if (n > 0) board.write(reinterpret_cast<uint8_t*>(buf), int(n));
      uint8_t reply[512];
      int m = board.read(reply, sizeof reply);
      if (m > 0) {
        EXPECT_EQ(write(line.master, reply, size_t(m)), m);
      }
    }
    return done();
  }

  int exitStatus() {
    int st = 0;
    waitpid(pid, &st, 0);
    pid = -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1;
  }
};

TEST(DebuggerProcess, TalksToABoardOverAPseudoTerminal) {
  Process p({}, false);
  p.board.setMem(0x100, {'H', '8', 0x01, 0xFF});
  p.type("db 0x100 4\r\nwb 0x200 0x5A\nbogus\nq\n");  // a CRLF line as well
  p.endInput();
  p.serveUntil([] { return false; });
  EXPECT_EQ(p.exitStatus(), 0);
  EXPECT_NE(p.shown.find("Use port " + p.line.slave + " speed  19200\n"), std::string::npos);
  EXPECT_NE(p.shown.find("Target Board(MIRO-H8/3664) vesk3664 Ver 1.2(build 3)\n"),
            std::string::npos);
  EXPECT_NE(p.shown.find(">000100 48 38 01 FF " + std::string(36, ' ') + "H8.\xFF\n>"),
            std::string::npos)
      << p.shown;
  EXPECT_NE(p.shown.find(">Unknown Command\n>"), std::string::npos);
  EXPECT_EQ(p.board.mem(0x200), 0x5A);
}

TEST(DebuggerProcess, EndOfInputEndsTheSessionAndAMissingPortFails) {
  Process p({}, false);
  p.endInput();
  p.serveUntil([] { return false; });
  EXPECT_EQ(p.exitStatus(), 0);
  EXPECT_EQ(p.shown.back(), '>');

  Process missing({"-c", "/nonexistent/tty"}, false);
  missing.serveUntil([] { return false; });
  EXPECT_EQ(missing.exitStatus(), 1);
  const std::string tail = "speed  19200\n\ninitCom() returns with error.\n"
                           "Can't open /nonexistent/tty: No such file or directory\n";
  EXPECT_EQ(missing.shown.substr(missing.shown.size() - tail.size()), tail);
}

// Ctrl-C (SIGINT) while a command waits on a silent board gives up that command and the session
// goes on; at the prompt it ends the program as it always has.
TEST(DebuggerProcess, InterruptGivesUpAWaitButEndsTheProgramAtThePrompt) {
  Process p({}, false);
  p.board.failOn(h8::MEM_READ, Fault::Silence);
  ASSERT_TRUE(p.serveUntil([&] { return p.atPrompt(); }));
  p.type("db 0 16\n");
  auto reads = [&] {
    std::vector<uint8_t> codes = p.board.codes();
    return std::count(codes.begin(), codes.end(), h8::MEM_READ);
  };
  auto shows = [&](const char* text) { return p.shown.find(text) != std::string::npos; };
  ASSERT_TRUE(p.serveUntil([&] { return reads() == 1; }));
  kill(p.pid, SIGINT);
  ASSERT_TRUE(p.serveUntil([&] { return shows("Interrupted: gave up waiting for the board\n>"); }))
      << p.shown;
  p.type("db 0 1\n");
  ASSERT_TRUE(p.serveUntil([&] { return shows(">000000 "); })) << p.shown;
  ASSERT_TRUE(p.serveUntil([&] { return p.shown.back() == '>'; }));
  kill(p.pid, SIGINT);
  EXPECT_EQ(p.exitStatus(), 128 + SIGINT);
}

TEST(DebuggerProcess, UnpluggedLineEndsWaitsInsteadOfHanging) {
  Process p({}, false);
  ASSERT_TRUE(p.serveUntil([&] { return p.atPrompt(); }));
  p.line.unplug();
  p.type("db 0 16\nq\n");
  p.endInput();
  p.serveUntil([] { return false; });
  EXPECT_EQ(p.exitStatus(), 0);
  EXPECT_NE(p.shown.find("dumpMem:Error receivePacket()=-1\n"), std::string::npos) << p.shown;
}

TEST(DebuggerProcess, TerminalGetsUtf8HelpAndIsRestoredOnSigterm) {
  Process p({}, true, "C.UTF-8");
  termios running{}, after{};
  ASSERT_TRUE(p.serveUntil([&] { return p.atPrompt(); }));
  p.type("h\r");
  EXPECT_TRUE(p.serveUntil([&] {  // "コマンド一覧" in UTF-8
    return p.shown.find("\xe3\x82\xb3\xe3\x83\x9e\xe3\x83\xb3\xe3\x83\x89") != std::string::npos;
  }));
  p.type("g\r");  // the board never reports a stop: the program keeps running
  ASSERT_TRUE(p.serveUntil([&] { return p.sent().find(kGoFrame) != std::string::npos; }));
  ASSERT_TRUE(p.serveUntil([&] {
    tcgetattr(p.in, &running);
    return (running.c_lflag & (ICANON | ECHO)) == 0;  // single keys, no echo, while it runs
  }));
  EXPECT_EQ(running.c_iflag & ICRNL, 0u);
  kill(p.pid, SIGTERM);
  EXPECT_EQ(p.exitStatus(), 128 + SIGTERM);
  tcgetattr(p.in, &after);
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO), p.start.c_lflag & (ICANON | ECHO));
  EXPECT_EQ(after.c_iflag & ICRNL, p.start.c_iflag & ICRNL);
}

// While a program runs, keys reach it as typed (Enter as CR), an arrow key's escape sequence is
// no key for the board and no ESC, and a lone ESC gives up the wait.
TEST(DebuggerProcess, ArrowKeysAreNotEscapeDuringARun) {
  Process p({}, true);  // GO gets no stop report: the program runs until ESC
  ASSERT_TRUE(p.serveUntil([&] { return p.atPrompt(); }));
  p.type("g\r");
  ASSERT_TRUE(p.serveUntil([&] { return p.sent().find(kGoFrame) != std::string::npos; }));
  size_t go = p.sent().find(kGoFrame) + kGoFrame.size();
  p.type("\x1b[A\x1bOPx\r");  // Enter reaches the program as CR
  ASSERT_TRUE(p.serveUntil([&] { return p.sent().size() > go + 1; }));
  EXPECT_EQ(p.sent().substr(go), "x\r");
  p.type("\x1b");
  EXPECT_TRUE(p.serveUntil([&] { return p.shown.find("Unknown packet") != std::string::npos; }))
      << p.shown;
}

}  // namespace

// Runs the built h8dbg as a process against the fake board served on a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "support/fake_board.h"

using namespace h8test;

namespace {

struct Pty {
  int master = -1;
  int slaveHold = -1;
  std::string slave;
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    grantpt(master);
    unlockpt(master);
    slave = ptsname(master);
    // Hold the slave open and raw so nothing is echoed before the debugger configures it.
    slaveHold = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t;
    tcgetattr(slaveHold, &t);
    cfmakeraw(&t);
    tcsetattr(slaveHold, TCSANOW, &t);
    fcntl(master, F_SETFL, O_NONBLOCK);
  }
  ~Pty() {
    if (master >= 0) close(master);
    if (slaveHold >= 0) close(slaveHold);
  }
};

struct Result {
  std::string output;
  int status = -1;
};

// Starts h8dbg with `args`, feeds `input` on its standard input, serves `board` on the pty until
// the process ends. With `unplug`, the master is closed once start-up is over (imitating an
// unplugged adapter) and only then is the input written. Bounded by a 20-second deadline.
Result runDebugger(FakeBoard& board, Pty& pty, std::vector<std::string> args,
                   const std::string& input, bool unplug = false) {
  int in[2], outp[2];
  EXPECT_EQ(pipe(in), 0);
  EXPECT_EQ(pipe(outp), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(outp[1], 1);
    dup2(outp[1], 2);
    close(in[1]);
    close(outp[0]);
    std::string prog = H8_BUILD_DIR "/h8dbg";
    std::vector<char*> argv{prog.data()};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(prog.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(outp[1]);
  auto sendInput = [&] {
    if (!input.empty()) {
      EXPECT_EQ(write(in[1], input.data(), input.size()), ssize_t(input.size()));
    }
    close(in[1]);
  };
  if (!unplug) sendInput();

  Result r;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool outOpen = true;
  while (outOpen && std::chrono::steady_clock::now() < deadline) {
    pollfd fds[2] = {{outp[0], POLLIN, 0}, {pty.master, POLLIN, 0}};
    poll(fds, pty.master >= 0 ? 2 : 1, 10);
    char buf[512];
    if (fds[0].revents) {
      ssize_t n = read(outp[0], buf, sizeof buf);
      if (n <= 0) outOpen = false;
      else r.output.append(buf, size_t(n));
    }
    if (pty.master >= 0) {
      ssize_t n = read(pty.master, buf, sizeof buf);
      if (n > 0) board.write(reinterpret_cast<uint8_t*>(buf), int(n));
      uint8_t reply[512];
      int m = board.read(reply, sizeof reply);
      if (m > 0) {
        EXPECT_EQ(write(pty.master, reply, size_t(m)), m);
      }
      if (unplug && r.output.find("*\n>") != std::string::npos) {
        close(pty.master);
        close(pty.slaveHold);
        pty.master = pty.slaveHold = -1;
        sendInput();
      }
    }
  }
  close(outp[0]);
  if (outOpen) kill(pid, SIGKILL);
  int st = 0;
  waitpid(pid, &st, 0);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

TEST(DebuggerProcess, TalksToABoardOverAPseudoTerminal) {
  FakeBoard board;
  board.setMem(0x100, {'H', '8', 0x01, 0xFF});
  Pty pty;
  Result r = runDebugger(board, pty, {"-c", pty.slave}, "db 0x100 4\nwb 0x200 0x5A\nbogus\nq\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("Use port " + pty.slave + " speed  19200\n"), std::string::npos);
  EXPECT_NE(r.output.find("Target Board(MIRO-H8/3664) vesk3664 Ver 1.2(build 3)\n"),
            std::string::npos);
  EXPECT_NE(r.output.find(">000100 48 38 01 FF " + std::string(12 * 3, ' ') + "H8.\xFF\n>"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find(">Unknown Command\n>"), std::string::npos);
  EXPECT_EQ(board.mem(0x200), 0x5A);
}

TEST(DebuggerProcess, EndOfInputEndsTheSessionAndAMissingPortFails) {
  FakeBoard board;
  Pty pty;
  Result r = runDebugger(board, pty, {"-c", pty.slave}, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output.substr(r.output.size() - 1), ">");

  Result missing = runDebugger(board, pty, {"-c", "/nonexistent/tty"}, "");
  EXPECT_EQ(missing.status, 0);
  const std::string tail = "speed  19200\n\ninitCom() returns with error.\n";
  EXPECT_EQ(missing.output.substr(missing.output.size() - tail.size()), tail);
}

TEST(DebuggerProcess, UnpluggedLineEndsWaitsInsteadOfHanging) {
  FakeBoard board;
  Pty pty;
  // The line goes away right after start-up; the dump then fails at once and Q still ends it.
  Result lost = runDebugger(board, pty, {"-c", pty.slave}, "db 0 16\nq\n", true);
  EXPECT_EQ(lost.status, 0);
  EXPECT_NE(lost.output.find("dumpMem:Error receivePacket()=-1\n"), std::string::npos) << lost.output;
}

}  // namespace

namespace {

// h8dbg on a terminal of its own (forkpty): the help text is shown in UTF-8 on a UTF-8
// terminal, and SIGTERM leaves the terminal in the mode it was found in.
TEST(DebuggerProcess, TerminalGetsUtf8HelpAndIsRestoredOnSigterm) {
  FakeBoard board;
  Pty line;
  int term = -1;
  pid_t pid = forkpty(&term, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("LANG", "C.UTF-8", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    std::string prog = H8_BUILD_DIR "/h8dbg";
    execl(prog.c_str(), prog.c_str(), "-c", line.slave.c_str(), (char*)nullptr);
    _exit(127);
  }
  fcntl(term, F_SETFL, O_NONBLOCK);
  termios before{};
  tcgetattr(term, &before);
  std::string shown;
  bool typed = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline &&
         shown.find("\xe3\x83\x98\xe3\x83\xab\xe3\x83\x97") == std::string::npos) {  // "ヘルプ"
    pollfd fds[2] = {{term, POLLIN, 0}, {line.master, POLLIN, 0}};
    poll(fds, 2, 10);
    char buf[512];
    ssize_t n = read(term, buf, sizeof buf);
    if (n > 0) shown.append(buf, size_t(n));
    n = read(line.master, buf, sizeof buf);
    if (n > 0) board.write(reinterpret_cast<uint8_t*>(buf), int(n));
    uint8_t reply[512];
    int m = board.read(reply, sizeof reply);
    if (m > 0) {
      EXPECT_EQ(write(line.master, reply, size_t(m)), m);
    }
    if (!typed && shown.find("Enter 'HELP'") != std::string::npos &&
        shown.rfind('>') > shown.find("Enter 'HELP'")) {
      termios waiting{};
      tcgetattr(term, &waiting);
      EXPECT_EQ(waiting.c_lflag & ECHO, 0u);  // no echo while the prompt waits
      EXPECT_EQ(write(term, "h\r", 2), 2);
      typed = true;
    }
  }
  EXPECT_NE(shown.find("\xe3\x82\xb3\xe3\x83\x9e\xe3\x83\xb3\xe3\x83\x89"), std::string::npos);
  kill(pid, SIGTERM);
  int st = 0;
  waitpid(pid, &st, 0);
  EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGTERM);
  termios after{};
  tcgetattr(term, &after);
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO), before.c_lflag & (ICANON | ECHO));
  close(term);
}

}  // namespace

namespace {

// While a program runs, an arrow key's escape sequence is no key for the board and no ESC; a
// lone ESC gives up the wait.
TEST(DebuggerProcess, ArrowKeysAreNotEscapeDuringARun) {
  FakeBoard board;  // GO gets no stop report: the program runs until ESC
  Pty line;
  int term = -1;
  pid_t pid = forkpty(&term, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::string prog = H8_BUILD_DIR "/h8dbg";
    execl(prog.c_str(), prog.c_str(), "-c", line.slave.c_str(), (char*)nullptr);
    _exit(127);
  }
  fcntl(term, F_SETFL, O_NONBLOCK);
  std::string shown;
  int stage = 0;
  size_t goAt = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline && stage < 4) {
    pollfd fds[2] = {{term, POLLIN, 0}, {line.master, POLLIN, 0}};
    poll(fds, 2, 10);
    char buf[512];
    ssize_t n = read(term, buf, sizeof buf);
    if (n > 0) shown.append(buf, size_t(n));
    n = read(line.master, buf, sizeof buf);
    if (n > 0) board.write(reinterpret_cast<uint8_t*>(buf), int(n));
    uint8_t reply[512];
    int m = board.read(reply, sizeof reply);
    if (m > 0) {
      EXPECT_EQ(write(line.master, reply, size_t(m)), m);
    }
    std::string sent(board.sent.begin(), board.sent.end());
    if (stage == 0 && shown.find("Enter 'HELP'") != std::string::npos &&
        shown.rfind('>') > shown.find("Enter 'HELP'")) {
      EXPECT_EQ(write(term, "g\r", 2), 2);
      stage = 1;
    } else if (stage == 1 && (goAt = sent.find(std::string("\x02\x02\x41\xBD\x03", 5))) !=
                                 std::string::npos) {
      EXPECT_EQ(write(term, "\x1b[A\x1bOPx", 7), 7);
      stage = 2;
    } else if (stage == 2 && sent.size() > goAt + 5) {
      EXPECT_EQ(sent.substr(goAt + 5), "x");
      EXPECT_EQ(write(term, "\x1b", 1), 1);
      stage = 3;
    } else if (stage == 3 && shown.find("Unknown packet") != std::string::npos) {
      stage = 4;
    }
  }
  EXPECT_EQ(stage, 4) << shown;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(term);
}

}  // namespace

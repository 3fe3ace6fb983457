// The built h8dbg against the built h8sim over a pseudo-terminal, as a user runs them. Every wait
// has a deadline and every child is killed at the end, so a fault fails a test instead of
// hanging the suite.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const std::string H8SIM = H8_BUILD_DIR "/h8sim", H8DBG = H8_BUILD_DIR "/h8dbg";

// A SYSROF file: one Object data record (at most 247 bytes) and the end record.
std::string sysrofImage(uint32_t a, const std::string& data) {
  char n = char(data.size());
  std::string file("\x06\x0B\0\0\x01\0\0\0\0\x01T\x1C", 12);
  file += {char(8 + n), 0, char(a >> 24), char(a >> 16), char(a >> 8), char(a), n};
  return file + data + "\xFF\x02";
}

// A scratch directory removed with everything in it at the end of the test.
struct TempDir {
  char path[24] = "/tmp/h8simtest.XXXXXX";
  TempDir() { EXPECT_TRUE(mkdtemp(path)); }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string file(const std::string& name) const { return path + ("/" + name); }
};

void writeFile(const std::string& path, const std::string& s) { std::ofstream(path) << s; }

// A child process whose standard input, output and errors are one socket, or a new
// pseudo-terminal as if started from the user's shell.
struct Child {
  explicit Child(std::vector<std::string> argv, bool terminal = false) {
    int sv[2];
    winsize size{24, 80, 0, 0};
    signal(SIGPIPE, SIG_IGN);  // typing to a child that has gone fails instead
    if (terminal) {
      pid = forkpty(&fd, nullptr, nullptr, &size);
    } else if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) == 0 && (pid = fork()) > 0) {
      close(sv[1]);
      fd = sv[0];
    } else if (pid == 0) {
      for (int i = 0; i < 3; i++) dup2(sv[1], i);
    }
    if (pid != 0) return;
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  ~Child() {
    if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
    close(fd);
  }
  void type(const std::string& text) {
    ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
  }
  // Reads until `text` shows after `from`; false when the output ends or 10 s pass first.
  bool waitFor(const std::string& text, size_t from = 0) {
    Clock::time_point deadline = Clock::now() + 10s;
    char buffer[1024];
    for (ssize_t n; output.find(text, from) == std::string::npos; output.append(buffer, n)) {
      pollfd p{fd, POLLIN, 0};
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0) return false;
      if ((n = read(fd, buffer, sizeof buffer)) <= 0) return false;  // EOF, or EIO from a pty
    }
    return true;
  }
  // Reads to the end of the output; the exit status (128 + signal), or -1 after 10 s.
  int finish() {
    waitFor("", std::string::npos);  // never found: reads to the end
    Clock::time_point deadline = Clock::now() + 10s;
    int status = 0;
    for (; pid > 0 && waitpid(pid, &status, WNOHANG) != pid; usleep(10000)) {
      if (Clock::now() > deadline) return -1;
    }
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  // Types a command line to h8dbg; what it printed before the next prompt.
  std::string command(const std::string& line) {
    size_t from = output.size();
    type(line + "\n");
    waitFor(">", from);
    return output.substr(from, output.rfind('>') - from);
  }
  pid_t pid = -1;
  int fd = -1;
  std::string output;
};

}  // namespace

TEST(H8simEndToEnd, DebuggerSessionsAgainstTheSimulatedBoard) {
  TempDir dir;
  std::string abs = dir.file("p.abs"), flash = dir.file("flash.bin"), link = dir.file("board");
  std::string text(200, 'A');
  for (size_t i = 0; i < text.size(); i++) text[i] = char('A' + i % 26);
  writeFile(abs, sysrofImage(0x1000, text));
  writeFile(flash, std::string(0x8000, '\0'));
  // A zeroed flash file, then the program on top: the monitor's area stays, the rest is erased.
  Child sim({H8SIM, "--flash", flash, "--load", abs, "--link", link});
  ASSERT_TRUE(sim.waitFor("\n"));
  EXPECT_EQ(sim.output.rfind("h8sim: board on /dev/pts/", 0), 0u) << sim.output;
  Child s({H8DBG, "-c", link});
  ASSERT_TRUE(s.waitFor("*\n>")) << s.output;
  EXPECT_NE(s.output.find("Use port " + link +
                          " speed  19200\n\n"
                          "Target Board(MIRO-H8/3664) vesk3664 Ver 1.0(build 1)\n"
                          "Flash-program/data address = 0000F780 - 0000FB7F (size = 00000400)\n"
                          "User data address =          0000FC00 - 0000FCFF (size = 00000100)\n"),
            std::string::npos)
      << s.output;

  EXPECT_EQ(s.command("db 0 4").substr(0, 18), "000000 01 00 02 04");  // the monitor's vectors
  EXPECT_EQ(s.command("db 0x10c6 4").substr(0, 18), "0010C6 51 52 FF FF");
  EXPECT_EQ(s.command("wb 0xfc00 0x41") + s.command("wb 0xfc01 0x38"), "");
  EXPECT_EQ(s.command("db 0xfc00 3").substr(0, 15), "00FC00 41 38 00");
  EXPECT_EQ(s.command("fe") + s.command("wb 0x1000 0"), "");  // WB to flash: refused quietly
  EXPECT_EQ(s.command("db 0x1000 1").substr(0, 9), "001000 FF");
  std::ifstream image(flash);  // saved at once, not only at exit
  EXPECT_EQ(image.seekg(0x1000).get(), 0xFF);
  EXPECT_EQ(s.command("fw 0xfc00 0x1000"), "");
  EXPECT_EQ(s.command("db 0x1000 3").substr(0, 15), "001000 41 38 00");
  EXPECT_EQ(s.command("usr"),
            "Precede user program execution. Write flag.\n"
            "Flash-ROM write buffer address = 0000FC00\n"
            "Flash-ROM program/data address = 0000F780  size = 00000400\n"
            "Succeed.\n");
  EXPECT_EQ(s.command("db 0x7ffe 2").substr(0, 12), "007FFE FF 00");

  EXPECT_EQ(s.command("r er1 0xcafe") + s.command("r pc 0x1010"), "");
  std::string step = s.command("s");  // one instruction from the PC written (nop: 2 bytes)
  EXPECT_NE(step.find("ER1:0000CAFE"), std::string::npos) << step;
  EXPECT_NE(step.find("ER7:0000FF7C\nPC :00001012  CCR:I-------\n"), std::string::npos) << step;
  EXPECT_NE(s.command("s 3").find("PC :00001018"), std::string::npos);
  s.command("bs 0x1020");
  std::string go = s.command("g");
  EXPECT_EQ(go.rfind("Break\nER0:", 0), 0u) << go;
  EXPECT_NE(go.find("PC :00001020"), std::string::npos) << go;
  EXPECT_EQ(s.command("bc"), "Clear Breakpoint\n");
  go = s.command("g");
  EXPECT_EQ(go.rfind("Exception SLEEP\n", 0), 0u) << go;
  EXPECT_NE(go.find("PC :00001020"), std::string::npos) << go;

  EXPECT_NE(s.command("lo " + abs)
                .find("finished to erase. write to Flash-ROM\n"
                      "FlashWrite:Source Address = 0000FC00 : Target Address=00001000\r"
                      "FlashWrite:Source Address = 0000FC00 : Target Address=00001080\r\n"
                      "Finished to load " +
                      abs + "\n"),
            std::string::npos)
      << s.output;
  EXPECT_EQ(s.command("db 0x1000 16"),
            "001000 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 ABCDEFGHIJKLMNOP\n");
  size_t from = s.output.size();
  kill(sim.pid, SIGUSR1);  // h8dbg echoes the RESTART frame, asks for the version, prompts
  ASSERT_TRUE(s.waitFor(std::string("\x02\x02\x50\xAE\x03\n>", 7), from)) << s.output;
  EXPECT_NE(s.command("r").find("PC :00001000"), std::string::npos);
  s.type("q\n");
  EXPECT_EQ(s.finish(), 0);
  Child next({H8DBG, "-c", link});  // the board outlives its hosts
  EXPECT_TRUE(next.waitFor("*\n>")) << next.output;
  next.type("q\n");
  EXPECT_EQ(next.finish(), 0);
  kill(sim.pid, SIGKILL);  // no clean exit: the flash file is written at every change
  EXPECT_EQ(sim.finish(), 128 + SIGKILL);

  // A new, paced h8sim on the same flash file still holds the program; its link replaces the
  // one left behind.
  Child again({H8SIM, "--flash=" + flash, "--link=" + link, "--baud=19200", "-v"});
  ASSERT_TRUE(again.waitFor("\n"));
  Clock::time_point start = Clock::now();
  Child paced({H8DBG, "-c", link});
  ASSERT_TRUE(paced.waitFor("*\n>")) << paced.output;
  EXPECT_GE(Clock::now() - start, 25ms);  // start-up: 49 bytes in turn at 19200 bit/s
  EXPECT_EQ(paced.command("db 0x10c0 8").substr(0, 30), "0010C0 4B 4C 4D 4E 4F 50 51 52");
  std::filesystem::remove(link);
  std::filesystem::create_symlink("/dev/null", link);  // taken over: left alone at exit
  kill(again.pid, SIGTERM);
  EXPECT_EQ(again.finish(), 0);
  EXPECT_EQ(std::filesystem::read_symlink(link), "/dev/null");
  EXPECT_NE(again.output.find("h8sim: > MEM_READ 00 00 10 C0 08\n"
                              "h8sim: < MEM_READ 4B 4C 4D 4E 4F 50 51 52\n"),
            std::string::npos)
      << again.output;
}

TEST(H8simEndToEnd, BoardThatCannotBeSetUpEndsWithStatusTwo) {
  TempDir dir;
  std::string low = dir.file("low.abs"), small = dir.file("small.bin");
  writeFile(low, sysrofImage(0x0F00, std::string(16, '\0')));
  writeFile(small, std::string(100, '\0'));
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--load", "/nonexistent.abs"}, "Can't open file /nonexistent.abs\n"},
      {{"--load", low},
       "h8sim: " + low + ": no program loaded (not a SYSROF file, or data outside 1000..7FFF)\n"},
      {{"--flash", small}, "h8sim: " + small + ": not a flash image (32768 bytes expected)\n"},
      {{"--flash", "/nonexistent/f.bin"},
       "h8sim: /nonexistent/f.bin.tmp: No such file or directory\n"},
      {{"--link", small}, "h8sim: " + small + ": exists and is not a symbolic link\n"},
      {{"run", "--h8dbg", "/nonexistent/h8dbg"},
       "h8sim: cannot run /nonexistent/h8dbg: No such file or directory\n"},
      {{"--baud"}, "h8sim: option --baud needs a value (h8sim --help for usage)\n"},
  };
  for (auto [args, message] : cases) {
    args.insert(args.begin(), H8SIM);
    Child sim(args);
    EXPECT_EQ(sim.finish(), 2) << message;
    EXPECT_EQ(sim.output.rfind(message, 0), 0u) << sim.output;
  }
}

TEST(H8simRun, DebuggerRunsOnTheUsersTerminal) {
  Child run({H8SIM, "run"}, true);
  // The terminal turns every "\n" into "\r\n".
  ASSERT_TRUE(run.waitFor("Ver 1.0(build 1)\r\n") && run.waitFor("*\r\n>")) << run.output;
  size_t from = run.output.size();
  run.type("db 0 4\r");
  EXPECT_TRUE(run.waitFor("000000 01 00 02 04", from)) << run.output;
  run.type("q\r");
  EXPECT_EQ(run.finish(), 0) << run.output;
  EXPECT_EQ(run.output.find("h8sim:"), std::string::npos) << run.output;
}

TEST(H8simRun, DebuggerGetsItsOptionsAndItsStatusOrSignalIsPassedOn) {
  TempDir dir;
  std::string script = dir.file("fake-h8dbg"), link = dir.file("board");
  writeFile(script, "#!/bin/sh\necho \"args: $*\"\nread line\nexit 7\n");
  chmod(script.c_str(), 0755);
  for (int sig : {SIGINT, SIGTERM}) {
    Child run({H8SIM, "run", "--link", link, "--h8dbg", script, "--", "-m", "prog.map"});
    ASSERT_TRUE(run.waitFor(" -m prog.map\n")) << run.output;
    EXPECT_EQ(run.output.rfind("args: -c /dev/pts/", 0), 0u) << run.output;
    kill(run.pid, sig);  // Ctrl-C reaches h8dbg from the terminal; SIGTERM is passed on
    if (sig == SIGINT) usleep(100000), run.type("\n");
    EXPECT_EQ(run.finish(), sig == SIGINT ? 7 : 128 + SIGTERM);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
  }
}

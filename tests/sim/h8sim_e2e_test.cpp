// The built h8dbg against the built h8sim over a pseudo-terminal, as a user runs them. Every wait
// has a deadline and every child is killed at the end, so a fault fails a test instead of
// hanging the suite.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "sim_support.h"

using simtest::Bytes;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto WAIT = std::chrono::seconds(10);

const std::string H8SIM = H8_BUILD_DIR "/h8sim";
const std::string H8DBG = H8_BUILD_DIR "/h8dbg";

// A child process whose standard output and error come back through one pipe (or, with a
// terminal, through the pty master).
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { kill(); }

  // Starts argv with pipes; `input` keeps its standard input open for type().
  bool start(std::vector<std::string> argv, bool input) {
    int in[2] = {-1, -1}, out[2];
    if ((input && pipe2(in, O_CLOEXEC) != 0) || pipe2(out, O_CLOEXEC) != 0) return false;
    pid_ = fork();
    if (pid_ == 0) {
      if (input) dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(out[1], 2);
      exec(argv);
    }
    if (input) {
      close(in[0]);
      in_ = in[1];
    }
    close(out[1]);
    out_ = out[0];
    return pid_ > 0;
  }

  // Starts argv on a new pseudo-terminal, as if from the user's shell.
  bool startOnTerminal(std::vector<std::string> argv) {
    winsize size{24, 80, 0, 0};
    int master = -1;
    pid_ = forkpty(&master, nullptr, nullptr, &size);
    if (pid_ == 0) exec(argv);
    in_ = out_ = master;
    return pid_ > 0;
  }

  void type(const std::string& text) {
    if (in_ < 0) return;
    EXPECT_EQ(write(in_, text.data(), text.size()), ssize_t(text.size()));
  }
  void closeInput() {
    if (in_ >= 0 && in_ != out_) close(in_);
    if (in_ != out_) in_ = -1;
  }

  // Waits until `text` has appeared in the output after position `from`; false at the deadline
  // or when the output ends first.
  bool waitFor(const std::string& text, size_t from = 0) {
    Clock::time_point deadline = Clock::now() + WAIT;
    while (output.find(text, from) == std::string::npos) {
      if (Clock::now() >= deadline || !readSome(deadline)) return false;
    }
    return true;
  }

  // Reads until the output ends and returns the exit status (128 + signal when killed), or -1
  // when it did not end in time (it is then killed).
  int finish() {
    Clock::time_point deadline = Clock::now() + WAIT;
    while (Clock::now() < deadline && readSome(deadline)) {
    }
    return reap(deadline);
  }

  int reap(Clock::time_point deadline) {
    if (pid_ <= 0) return status_;
    int st = 0;
    while (Clock::now() < deadline) {
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        pid_ = -1;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return status_;
      }
      usleep(10000);
    }
    kill();
    return -1;
  }

  void signal(int sig) {
    if (pid_ > 0) ::kill(pid_, sig);
  }

  void kill() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    if (in_ >= 0 && in_ != out_) close(in_);
    if (out_ >= 0) close(out_);
    in_ = out_ = -1;
  }

  std::string output;

 private:
  [[noreturn]] static void exec(std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }

  bool readSome(Clock::time_point deadline) {
    if (out_ < 0) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, int(std::max<long>(1, left.count()))) <= 0) return true;
    char buffer[1024];
    ssize_t n = read(out_, buffer, sizeof buffer);
    if (n <= 0) return false;  // EOF, or EIO from a pty whose other side has gone
    output.append(buffer, size_t(n));
    return true;
  }

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  int status_ = -1;
};

// h8sim serving on a pty; the slave's path comes from its first output line.
class Simulator {
 public:
  explicit Simulator(std::vector<std::string> options = {}) {
    std::vector<std::string> argv = {H8SIM};
    argv.insert(argv.end(), options.begin(), options.end());
    if (!process.start(argv, false) || !process.waitFor("\n")) return;
    const std::string prefix = "h8sim: board on ";
    if (process.output.rfind(prefix, 0) != 0) return;
    port = process.output.substr(prefix.size(), process.output.find('\n') - prefix.size());
  }
  // SIGTERM ends it cleanly with status 0.
  int stop() {
    process.signal(SIGTERM);
    return process.finish();
  }

  Child process;
  std::string port;
};

// One h8dbg session: start-up done, prompt shown.
struct Session {
  explicit Session(const std::string& port, std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {H8DBG, "-c", port};
    argv.insert(argv.end(), extra.begin(), extra.end());
    started = dbg.start(argv, true) && dbg.waitFor("*\n>");
  }
  // Types a command and waits for the next prompt; returns what the command printed.
  std::string command(const std::string& line) {
    size_t from = dbg.output.size();
    dbg.type(line + "\n");
    if (!dbg.waitFor(">", from)) return "(no prompt) " + dbg.output.substr(from);
    return dbg.output.substr(from, dbg.output.rfind('>') - from);
  }
  int quit() {
    dbg.type("q\n");
    dbg.closeInput();
    return dbg.finish();
  }

  Child dbg;
  bool started = false;
};

std::string dumpLine(uint32_t address, const Bytes& bytes) {
  char text[16];
  snprintf(text, sizeof text, "%06X", address);
  std::string line = text;
  for (uint8_t b : bytes) {
    snprintf(text, sizeof text, " %02X", b);
    line += text;
  }
  line += std::string(3 * (16 - bytes.size()), ' ') + " ";
  for (uint8_t b : bytes) line += b < 0x20 ? '.' : char(b);  // as h8dbg shows them
  return line + "\n";
}

Bytes letters(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; i++) b[i] = uint8_t('A' + i % 26);
  return b;
}

}  // namespace

TEST(H8simEndToEnd, StartUpShowsTheSimulatedMonitor) {
  Simulator sim;
  ASSERT_FALSE(sim.port.empty()) << sim.process.output;
  Session s(sim.port);
  ASSERT_TRUE(s.started) << s.dbg.output;
  EXPECT_NE(
      s.dbg.output.find("Use port " + sim.port +
                        " speed  19200\n\n"
                        "Target Board(MIRO-H8/3664) vesk3664 Ver 1.0(build 1)\n"
                        "Flash-program/data address = 0000F780 - 0000FB7F (size = 00000400)\n"
                        "User data address =          0000FC00 - 0000FCFF (size = 00000100)\n"),
      std::string::npos)
      << s.dbg.output;
  EXPECT_EQ(s.dbg.output.find("No responce"), std::string::npos);
  EXPECT_EQ(s.quit(), 0);
  EXPECT_EQ(sim.stop(), 0);
}

TEST(H8simEndToEnd, MemoryWritesReadBackAndFlashIgnoresThem) {
  Simulator sim;
  Session s(sim.port);
  ASSERT_TRUE(s.started) << s.dbg.output;
  EXPECT_EQ(s.command("db 0 4"), dumpLine(0, {0x01, 0x00, 0x02, 0x04}));
  EXPECT_EQ(s.command("wb 0xfc00 0x48"), "");
  EXPECT_EQ(s.command("wb 0xfc01 0x38"), "");
  EXPECT_EQ(s.command("db 0xfc00 3"), dumpLine(0xFC00, {'H', '8', 0x00}));
  EXPECT_EQ(s.command("wb 0x1000 0"), "");  // refused by the board; WB reads no status
  EXPECT_EQ(s.command("db 0x1000 2"), dumpLine(0x1000, {0xFF, 0xFF}));
  EXPECT_EQ(s.quit(), 0);
}

TEST(H8simEndToEnd, RegistersShowResetValuesAndTakeWrites) {
  Simulator sim;
  Session s(sim.port);
  ASSERT_TRUE(s.started) << s.dbg.output;
  std::string regs = s.command("r");
  EXPECT_EQ(regs.substr(0, regs.find("PC")),
            "ER0:00000000 ER1:00000000 ER2:00000000 ER3:00000000\n"
            "ER4:00000000 ER5:00000000 ER6:00000000 ER7:0000FF7C\n");
  EXPECT_NE(regs.find("PC :00001000  CCR:I-------\n"), std::string::npos) << regs;
  s.command("r er1 0xcafe");
  s.command("r pc 0x1234");
  regs = s.command("r");
  EXPECT_NE(regs.find("ER1:0000CAFE"), std::string::npos) << regs;
  EXPECT_NE(regs.find("PC :00001234"), std::string::npos) << regs;
  EXPECT_EQ(s.quit(), 0);
}

TEST(H8simEndToEnd, GoAndStepStopWithThePlaceholderCodes) {
  Simulator sim;
  Session s(sim.port);
  ASSERT_TRUE(s.started) << s.dbg.output;
  s.command("bs 0x1010");
  std::string go = s.command("g");
  EXPECT_EQ(go.rfind("Break\nER0:", 0), 0u) << go;
  EXPECT_NE(go.find("PC :00001010"), std::string::npos) << go;
  std::string step = s.command("s");  // erased flash: two-byte instructions
  EXPECT_NE(step.find("PC :00001012"), std::string::npos) << step;
  step = s.command("s 3");
  EXPECT_NE(step.find("PC :00001018"), std::string::npos) << step;
  EXPECT_EQ(s.command("bc"), "Clear Breakpoint\n");
  go = s.command("g");
  EXPECT_EQ(go.rfind("Exception SLEEP\n", 0), 0u) << go;
  EXPECT_NE(go.find("PC :00001018"), std::string::npos) << go;
  EXPECT_EQ(s.quit(), 0);
}

TEST(H8simEndToEnd, FlashEraseWriteAndUserFlag) {
  Simulator sim;
  Session s(sim.port);
  ASSERT_TRUE(s.started) << s.dbg.output;
  s.command("wb 0xfc00 0x41");
  EXPECT_EQ(s.command("fw 0xfc00 0x1000"), "");
  EXPECT_EQ(s.command("db 0x1000 4"), dumpLine(0x1000, {'A', 0, 0, 0}));
  EXPECT_EQ(s.command("fe"), "");
  EXPECT_EQ(s.command("db 0x1000 1"), dumpLine(0x1000, {0xFF}));
  std::string usr = s.command("usr");
  EXPECT_EQ(usr,
            "Precede user program execution. Write flag.\n"
            "Flash-ROM write buffer address = 0000FC00\n"
            "Flash-ROM program/data address = 0000F780  size = 00000400\n"
            "Succeed.\n");
  std::string flag = s.command("db 0x7ffe 2");
  EXPECT_EQ(flag.substr(0, 13), "007FFE FF 00 ") << flag;
  EXPECT_EQ(s.command("db 0xfc00 1"), dumpLine(0xFC00, {'A'}));  // USR put the buffer back
  EXPECT_EQ(s.quit(), 0);
}

TEST(H8simEndToEnd, LoadProgramsASysrofFileAndKeepsItInTheFlashFile) {
  simtest::TempDir dir;
  std::string abs = dir.file("prog.abs");
  std::string flash = dir.file("flash.bin");
  simtest::writeFile(abs, simtest::sysrofImage(0x1000, letters(200)));
  {
    Simulator sim({"--flash", flash});
    Session s(sim.port);
    ASSERT_TRUE(s.started) << s.dbg.output;
    std::string lo = s.command("lo " + abs);
    EXPECT_NE(lo.find("finished to erase. write to Flash-ROM\n"
                      "FlashWrite:Source Address = 0000FC00 : Target Address=00001000\r"
                      "FlashWrite:Source Address = 0000FC00 : Target Address=00001080\r\n"
                      "Finished to load " +
                      abs + "\n"),
              std::string::npos)
        << lo;
    EXPECT_EQ(s.command("db 0x1000 16"), dumpLine(0x1000, letters(16)));
    EXPECT_EQ(s.quit(), 0);
    EXPECT_EQ(sim.stop(), 0);
  }
  // A new h8sim on the same flash file still holds the program.
  Simulator again({"--flash", flash});
  Session s(again.port);
  ASSERT_TRUE(s.started) << s.dbg.output;
  Bytes tail = letters(200);
  EXPECT_EQ(s.command("db 0x10c0 8"), dumpLine(0x10C0, Bytes(tail.begin() + 0xC0, tail.end())));
  EXPECT_EQ(s.quit(), 0);
}

TEST(H8simEndToEnd, LoadOptionProgramsTheFileAtStart) {
  simtest::TempDir dir;
  std::string abs = dir.file("start.abs");
  simtest::writeFile(abs, simtest::sysrofImage(0x2000, letters(16)));
  Simulator sim({"--load", abs});
  Session s(sim.port);
  ASSERT_TRUE(s.started) << s.dbg.output;
  EXPECT_EQ(s.command("db 0x2000 16"), dumpLine(0x2000, letters(16)));
  EXPECT_EQ(s.quit(), 0);
}

TEST(H8simEndToEnd, BadLoadFileStopsTheStart) {
  Child sim;
  ASSERT_TRUE(sim.start({H8SIM, "--load", "/nonexistent.abs"}, false));
  EXPECT_EQ(sim.finish(), 2);
  EXPECT_EQ(sim.output.rfind("Can't open file /nonexistent.abs\n", 0), 0u) << sim.output;
}

TEST(H8simEndToEnd, ResetSignalAnnouncesRestartToTheHost) {
  Simulator sim;
  Session s(sim.port);
  ASSERT_TRUE(s.started) << s.dbg.output;
  s.command("r pc 0x2000");
  size_t from = s.dbg.output.size();
  sim.process.signal(SIGUSR1);
  // The prompt loop echoes the frame, asks for the version again and prompts anew.
  ASSERT_TRUE(s.dbg.waitFor(std::string("\x02\x02\x50\xAE\x03\n>", 7), from)) << s.dbg.output;
  std::string regs = s.command("r");
  EXPECT_NE(regs.find("PC :00001000"), std::string::npos) << regs;
  EXPECT_EQ(s.quit(), 0);
}

TEST(H8simEndToEnd, NoRestartFrameBeforeAHostSpoke) {
  Simulator sim;
  ASSERT_FALSE(sim.port.empty());
  sim.process.signal(SIGUSR1);
  usleep(100000);
  Session s(sim.port);
  ASSERT_TRUE(s.started) << s.dbg.output;
  EXPECT_EQ(s.dbg.output.find("ReStarted"), std::string::npos) << s.dbg.output;
  EXPECT_EQ(s.dbg.output.find("Error"), std::string::npos) << s.dbg.output;
  EXPECT_EQ(s.quit(), 0);
}

TEST(H8simEndToEnd, PacedLineStillServesASession) {
  Simulator sim({"--baud", "19200"});
  Clock::time_point start = Clock::now();
  Session s(sim.port);
  ASSERT_TRUE(s.started) << s.dbg.output;
  EXPECT_EQ(s.command("db 0 2"), dumpLine(0, {0x01, 0x00}));
  EXPECT_EQ(s.quit(), 0);
  // Start-up alone moves about 80 bytes: over 40 ms at 19200 bit/s.
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(40));
}

TEST(H8simEndToEnd, LinkOptionNamesThePortAndIsRemovedAtExit) {
  simtest::TempDir dir;
  std::string link = dir.file("h8board");
  Simulator sim({"--link", link});
  ASSERT_FALSE(sim.port.empty());
  Session s(link);
  ASSERT_TRUE(s.started) << s.dbg.output;
  EXPECT_EQ(s.quit(), 0);
  Session second(link);  // the board outlives its hosts
  ASSERT_TRUE(second.started) << second.dbg.output;
  EXPECT_EQ(second.quit(), 0);
  EXPECT_EQ(sim.stop(), 0);
  struct stat st;
  EXPECT_NE(lstat(link.c_str(), &st), 0);
}

TEST(H8simEndToEnd, InterruptEndsServeModeCleanly) {
  Simulator sim;
  ASSERT_FALSE(sim.port.empty());
  sim.process.signal(SIGINT);
  EXPECT_EQ(sim.process.finish(), 0);
}

// --- the one-command session ---

TEST(H8simRun, DebuggerRunsOnTheUsersTerminal) {
  Child run;
  ASSERT_TRUE(run.startOnTerminal({H8SIM, "run"}));
  // The terminal turns every "\n" into "\r\n".
  ASSERT_TRUE(run.waitFor("Ver 1.0(build 1)\r\n")) << run.output;
  ASSERT_TRUE(run.waitFor("*\r\n>")) << run.output;
  size_t from = run.output.size();
  run.type("db 0 4\r");
  EXPECT_TRUE(run.waitFor("000000 01 00 02 04", from)) << run.output;
  run.type("q\r");
  EXPECT_EQ(run.finish(), 0) << run.output;
  EXPECT_EQ(run.output.find("h8sim:"), std::string::npos) << run.output;
}

TEST(H8simRun, DebuggerOptionsArePassedAndItsStatusReturned) {
  simtest::TempDir dir;
  std::string script = dir.file("fake-h8dbg");
  std::string text = "#!/bin/sh\necho \"args: $*\"\nexit 7\n";
  simtest::writeFile(script, Bytes(text.begin(), text.end()));
  chmod(script.c_str(), 0755);
  Child run;
  ASSERT_TRUE(run.start({H8SIM, "run", "--h8dbg", script, "--", "-m", "prog.map"}, false));
  EXPECT_EQ(run.finish(), 7);
  EXPECT_EQ(run.output.rfind("args: -c /dev/pts/", 0), 0u) << run.output;
  EXPECT_NE(run.output.find(" -m prog.map\n"), std::string::npos) << run.output;
}

TEST(H8simRun, TerminationIsPassedToTheDebugger) {
  simtest::TempDir dir;
  std::string script = dir.file("slow-h8dbg");
  std::string link = dir.file("board");
  std::string text = "#!/bin/sh\necho started\nexec sleep 30\n";
  simtest::writeFile(script, Bytes(text.begin(), text.end()));
  chmod(script.c_str(), 0755);
  Child run;
  ASSERT_TRUE(run.start({H8SIM, "run", "--link", link, "--h8dbg", script}, false));
  ASSERT_TRUE(run.waitFor("started\n"));
  run.signal(SIGTERM);
  EXPECT_EQ(run.finish(), 128 + SIGTERM);
  struct stat st;
  EXPECT_NE(lstat(link.c_str(), &st), 0);
}

TEST(H8simRun, MissingDebuggerIsReported) {
  Child run;
  ASSERT_TRUE(run.start({H8SIM, "run", "--h8dbg", "/nonexistent/h8dbg"}, false));
  EXPECT_EQ(run.finish(), 2);
  EXPECT_EQ(run.output, "h8sim: cannot run /nonexistent/h8dbg: No such file or directory\n");
}

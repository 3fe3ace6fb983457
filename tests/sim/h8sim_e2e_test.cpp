// The built h8dbg against the built h8sim over a pseudo-terminal, as a user runs them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "load/sysrof_writer.h"
#include "support/child.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using h8test::Child;

namespace {

const std::string H8SIM = H8_BUILD_DIR "/h8sim", H8DBG = H8_BUILD_DIR "/h8dbg";

// A SYSROF file: one Object data record and the end record.
std::string sysrofImage(uint32_t address, const std::string& data) {
  h8test::Bytes file = h8test::cat({h8test::obj(address, {data.begin(), data.end()}), h8test::END});
  return std::string(file.begin(), file.end());
}

// A scratch directory removed with everything in it at the end of the test.
struct TempDir {
  char path[24] = "/tmp/h8simtest.XXXXXX";
  TempDir() { EXPECT_TRUE(mkdtemp(path)); }
  ~TempDir() { std::filesystem::remove_all(path); }
  // The path of `name` in the directory, written with `content` when there is any.
  std::string file(const std::string& name, const std::string& content = "") const {
    std::string file = path + ("/" + name);
    if (!content.empty()) std::ofstream(file) << content;
    return file;
  }
};

// Whether `part` shows in `text`; a failure shows both.
testing::AssertionResult has(const std::string& text, const std::string& part) {
  return testing::IsSubstring("part", "text", part, text);
}

}  // namespace

TEST(H8simEndToEnd, DebuggerSessionsAgainstTheSimulatedBoard) {
  TempDir dir;
  std::string text, link = dir.file("board");
  for (int i = 0; i < 200; i++) text += char('A' + i % 26);
  std::string abs = dir.file("p.abs", sysrofImage(0x1000, text));
  std::string flash = dir.file("flash.bin", std::string(0x8000, '\0'));
  // A zeroed flash file, then the program on top: the monitor's area stays, the rest is erased.
  Child sim({H8SIM, "--flash", flash, "--load", abs, "--link", link});
  ASSERT_TRUE(sim.waitFor("h8sim: board on /dev/pts/")) << sim.output;
  Child s({H8DBG, "-c", link});
  ASSERT_TRUE(s.waitFor("vesk3664 Ver 1.0(build 1)\n") && s.waitFor("*\n>")) << s.output;

  EXPECT_EQ(s.command("db 0 4").substr(0, 18), "000000 01 00 02 04");  // the monitor's vectors
  EXPECT_EQ(s.command("db 0x10c6 4").substr(0, 18), "0010C6 51 52 FF FF");
  EXPECT_EQ(s.command("fe"), "");
  EXPECT_EQ(std::ifstream(flash).seekg(0x1000).get(), 0xFF);  // saved at once, not only at exit
  EXPECT_TRUE(has(s.command("lo " + abs), "\nFinished to load " + abs + "\n"));
  EXPECT_EQ(s.command("r pc 0x1010"), "");
  size_t from = s.output.size();
  kill(sim.pid, SIGUSR1);  // h8dbg echoes the RESTART frame, asks for the version, prompts
  ASSERT_TRUE(s.waitFor(std::string("\x02\x02\x50\xAE\x03\n>", 7), from)) << s.output;
  EXPECT_TRUE(has(s.command("r"), "PC :00001000"));
  s.command("q");
  EXPECT_EQ(s.finish(), 0);
  kill(sim.pid, SIGKILL);  // no clean exit: the flash file is written at every change
  EXPECT_EQ(sim.finish(), 128 + SIGKILL);

  // A new, paced h8sim on the same flash file still holds the program; its link replaces the
  // one left behind.
  Child again({H8SIM, "--flash=" + flash, "--link=" + link, "--baud=19200"});
  ASSERT_TRUE(again.waitFor("\n"));
  Child paced({H8DBG, "-c", link});
  ASSERT_TRUE(paced.waitFor("*\n>")) << paced.output;
  Clock::time_point start = Clock::now();
  EXPECT_EQ(paced.command("db 0x10c0 64").substr(0, 30), "0010C0 4B 4C 4D 4E 4F 50 51 52");
  // Four requests of 10 bytes, each answered with 21, in turn at 19200 bit/s.
  EXPECT_GE(Clock::now() - start, 64ms);
  std::filesystem::remove(link);
  std::filesystem::create_symlink("/dev/null", link);  // taken over: left alone at exit
  kill(again.pid, SIGTERM);
  EXPECT_EQ(again.finish(), 0);
  EXPECT_EQ(std::filesystem::read_symlink(link), "/dev/null");
}

TEST(H8simEndToEnd, HelpShowsTheBoardAndABadCommandLineOrBoardEndsWithStatusTwo) {
  Child help({H8SIM, "--help"});
  EXPECT_EQ(help.finish(), 0);
  EXPECT_TRUE(
      has(help.output,
          "board:\n"
          "  monitor version 1.0 build 1; flash programming RAM F780 size 400, user data area\n"
          "  FC00 size 100; flash 0000-7FFF (0000-0FFF the monitor's, read-only), I/O F700-F77F\n"
          "  and FF80-FFFF, RAM F780-FF7F. After reset ER0-ER6 = 0, SP = FF7C, PC = 1000,\n"
          "  CCR = 80. GO runs the program until it stops: Break (12) after the instruction at\n"
          "  the breakpoint, SLEEP (13), TRAPA, an enabled interrupt, or 4/5 for an undefined\n"
          "  instruction or a fetch outside memory.\n"));
  TempDir dir;
  std::string low = dir.file("low.abs", sysrofImage(0x0F00, std::string(16, '\0')));
  std::string small = dir.file("small.bin", std::string(100, '\0'));
  const std::string USAGE = " (h8sim --help for usage)";
  const std::string FAULTS = " (KIND[@REQUEST][:N], KIND one of silence restart wrongcode badsum "
                             "badetx ng short count0 count30 garbage reset vanish misprogram)" +
                             USAGE;
  std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--load", low},
       "SYSROF file " + low + ": object data at 00000F00 - 00000F0F lies outside 00001000 - 00007FFF"},
      {{"--load", "/dev/zero"}, "Can't open file /dev/zero: not a regular file"},
      {{"--flash", small}, small + ": not a flash image (32768 bytes expected)"},
      {{"--flash", "/no/f.bin"}, "/no/f.bin.tmp: No such file or directory"},
      {{"--link", small}, small + ": exists and is not a symbolic link"},
      {{"run", "--h8dbg", "/no/h8dbg"}, "cannot run /no/h8dbg: No such file or directory"},
      {{"--verbose", "run"}, "unknown option run" + USAGE},  // the command comes first
      {{"--", "-m", "x.map"}, "debugger options after -- need the run command" + USAGE},
      {{"--flash"}, "option --flash needs a value" + USAGE},
      {{"--link="}, "option --link needs a value" + USAGE},
      {{"--fault", "silence@NOPE"}, "bad fault silence@NOPE" + FAULTS},
      {{"--fault=reset:0"}, "bad fault reset:0" + FAULTS},
      {{"--fault=bogus@GO"}, "bad fault bogus@GO" + FAULTS},
      {{"--flash-time", "fast"}, "bad flash time fast (typical, max or none)" + USAGE},
  };
  for (std::string baud : {"0", "+9600", "96oo", "4000001", "99999999999999999999", ""}) {
    cases.push_back(
        {{"--baud=" + baud}, "bad line speed " + baud + " (1 to 4000000 bit/s)" + USAGE});
  }
  for (auto [args, message] : cases) {
    args.insert(args.begin(), H8SIM);
    Child sim(args);
    EXPECT_EQ(sim.finish(), 2) << message;
    EXPECT_EQ(sim.output.rfind("h8sim: " + message + "\n", 0), 0u) << sim.output;
  }
}

TEST(H8simRun, DebuggerRunsOnTheUsersTerminalAndEndsWithIt) {
  TempDir dir;
  std::string link = dir.file("board");
  Child run({H8SIM, "run", "--link", link, "--", "-s", "9600"}, true);
  // The terminal turns every "\n" into "\r\n"; h8dbg gets the board's pty, then the options.
  ASSERT_TRUE(run.waitFor("*\r\n>")) << run.output;
  EXPECT_TRUE(has(run.output, " speed   9600\r\n\r\nTarget Board"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  kill(run.pid, SIGINT);  // Ctrl-C is h8dbg's to take: h8sim goes on
  size_t from = run.output.size();
  run.command("db 0 4", "\r");  // the line editor redraws the prompt at once: wait for more
  EXPECT_TRUE(run.waitFor("000000 01 00 02 04", from)) << run.output;
  kill(run.pid, SIGTERM);  // passed on; h8dbg's end is h8sim's
  EXPECT_EQ(run.finish(), 128 + SIGTERM) << run.output;
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_EQ(run.output.find("h8sim:"), std::string::npos) << run.output;
}

// What the user sees when the board misbehaves (h8sim's --fault, its reset switch) or an option
// is bad: each scenario on a fresh board holding a program that loops at 1000 for ever. (Bad
// files, a refused write and a wrong SUM are the console tests', on the same monitor.)
// A scenario may end with a signal once h8sim has logged a request: Ctrl-C to h8dbg (which gives
// up the command and shows the prompt) or the reset switch to h8sim.
TEST(H8simEndToEnd, FaultScenariosGiveOneClearLineAndTheSessionGoesOn) {
  TempDir dir;
  std::string loop = dir.file("loop.abs", sysrofImage(0x1000, "\x40\xFE" "ABCDEFGHIJKLMN"));
  struct Scenario {
    std::vector<std::string> fault, options;
    std::string command, shown;
    const char* logged = nullptr;  // the request h8sim logs before the signal
    int signal = 0;                // SIGINT to h8dbg, SIGUSR1 (reset) to h8sim
  };
  const std::string interrupted = "Interrupted: gave up waiting for the board\n";
  const std::string usrLoad = "Error loading " + loop + "\n";
  // clang-format off
  const Scenario scenarios[] = {
      {{"silence@MEM_READ"}, {}, "db 0 16", interrupted, "> MEM_READ", SIGINT},
      {{"badsum@GO"}, {}, "s", interrupted, "> GO", SIGINT},  // a stop report the poll refuses
      {{}, {}, "g", "Reset!\n", "> GO", SIGUSR1},
      {{"reset@MEM_READ"}, {}, "db 0 32", "dumpMem:Error.Responce is not MEM_READ. 80\n"},
      {{"reset@FLASH_WRITE"}, {}, "lo " + loop, "loadFile:Error Bad responce packet\n" + usrLoad},
      {{"ng@MEM_WRITE"}, {}, "lo " + loop,
       "\rwriteMem:Error.Responce of MEM_WRITE =NG\n" + usrLoad},
      {{"short@MEM_READ"}, {}, "db 0 4", "Error: short reply to MEM_READ (3 of 4 bytes)\n"},
      {{"garbage@MEM_READ"}, {}, "db 0x1000 1", "#?\x7F\xFFx\n001000 40 "},
      {{"count0@MEM_READ"}, {}, "db 0 1", "dumpMem:Error receivePacket()=-2\n"},
      {{"count30@MEM_READ"}, {}, "db 0 1", "dumpMem:Error receivePacket()=-2\n"},
      {{"vanish@MEM_READ"}, {}, "db 0 1",
       "dumpMem:Error receivePacket()=-1\n>\nSerial line lost: the port has gone away.\n>"},
      {{}, {"-s", "0"}, "db 0x1000 2", "\nSpeed 0 is not available: "},  // in the banner
  };
  // clang-format on
  int n = 0;
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.command + " " + (s.fault.empty() ? "" : s.fault[0]));
    std::string link = dir.file("board" + std::to_string(n++));
    // The request log is only asked for where it is read: unread, it would fill the socket.
    std::vector<std::string> simArgs = {H8SIM, "--load", loop, "--link", link};
    if (s.signal != 0) simArgs.push_back("--verbose");
    for (const std::string& f : s.fault) simArgs.insert(simArgs.end(), {"--fault", f});
    Child sim(simArgs);
    ASSERT_TRUE(sim.waitFor("h8sim: board on ")) << sim.output;
    std::vector<std::string> dbgArgs = {H8DBG, "-c", link};
    dbgArgs.insert(dbgArgs.end(), s.options.begin(), s.options.end());
    Child dbg(dbgArgs);
    ASSERT_TRUE(dbg.waitFor("*\n>")) << dbg.output;
    size_t from = s.options.empty() ? dbg.output.size() : 0;
    if (s.signal == 0) {
      dbg.command(s.command);
      EXPECT_TRUE(dbg.waitFor(s.shown, from)) << dbg.output;
    } else {
      dbg.type(s.command + "\n");
      ASSERT_TRUE(sim.waitFor(s.logged, sim.output.size())) << sim.output;
      kill(s.signal == SIGINT ? dbg.pid : sim.pid, s.signal);
      EXPECT_TRUE(dbg.waitFor(s.shown, from)) << dbg.output;
    }
    // The session goes on: Q still ends it cleanly.
    dbg.command("q");
    EXPECT_EQ(dbg.finish(), 0) << dbg.output;
  }
}

// Batch mode as a Makefile's flash step uses it, and a run that outlasts -t.
TEST(H8simEndToEnd, BatchRunsFlashAProgramAndBoundARun) {
  TempDir dir;
  std::string loop = dir.file("loop.abs", sysrofImage(0x1000, "\x40\xFE"));
  std::string link = dir.file("board");
  Child sim({H8SIM, "--link", link});
  ASSERT_TRUE(sim.waitFor("h8sim: board on ")) << sim.output;
  Child flash({H8DBG, "-c", link, "-b", "-e", "LO " + loop, "-e", "USR"});
  EXPECT_EQ(flash.finish(), 0) << flash.output;
  EXPECT_TRUE(has(flash.output, "\nFinished to load " + loop + "\n>USR\n"));
  EXPECT_TRUE(has(flash.output, "Succeed.\n"));
  Child run({H8DBG, "-c", link, "-b", "-t", "1", "-e", "db 0x1000 2", "-e", "g", "-e", "q"});
  EXPECT_EQ(run.finish(), 2) << run.output;
  EXPECT_TRUE(has(run.output, ">db 0x1000 2\n001000 40 FE"));
  EXPECT_TRUE(has(run.output, ">g\n\nRun time limit of 1 s reached: the program goes on running"));
  // -V reads the blocks back: a block the board kept a wrong bit in fails the load; the fault
  // hits once, so the next load reads back as written. (A fresh board: the first still runs.)
  Child spoiled({H8SIM, "--fault", "misprogram@FLASH_WRITE"});
  ASSERT_TRUE(spoiled.waitFor("h8sim: board on ") && spoiled.waitFor("\n")) << spoiled.output;
  std::string pty = spoiled.output.substr(spoiled.output.find("/dev/"));
  pty = pty.substr(0, pty.find('\n'));
  Child caught({H8DBG, "-c", pty, "-b", "-V", "-e", "LO " + loop});
  EXPECT_EQ(caught.finish(), 1) << caught.output;
  EXPECT_TRUE(has(caught.output, "Verify: block 00001000 differs at 00001000: written 40, read 41\n"
                                 "Error loading " + loop + "\nBatch run stopped: LO " + loop));
  Child verified({H8DBG, "-c", pty, "-b", "-V", "-e", "LO " + loop});
  EXPECT_EQ(verified.finish(), 0) << verified.output;
  EXPECT_TRUE(has(verified.output, "\nVerified: every block reads back as written\nFinished"));
}

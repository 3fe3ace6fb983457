#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <tuple>
#include <vector>

#include "console_fixture.h"
#include "load/sysrof_writer.h"

using namespace h8;
using namespace h8test;

namespace {

const std::string kStars = "********************************************************************\n";

struct StartUp : Session {
  StartUp() { board.replies[VERSION] = {1, 2, 3}; }  // digits that show their order
  int start(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return dbg->run(int(argv.size()), argv.data());
  }
};

TEST_F(StartUp, NoArgumentsPrintsUsageAndRunsWithDefaults) {
  EXPECT_EQ(start({"h8dbg"}), 0);
  EXPECT_EQ(out.text,
            "usage: h8dbg [-option[ -option ..]] <target file>\n"
            " -m filename  : load symbol from map file\n"
            " -c <channel> : use COM port <channel>. ex. -c com1\n"
            " -s <speed>   : use com port baud rate <speed>. ex. -s 19200\n" +
                kStars +
                "\n"
                "MIRO-H8/3664 ROM Program Debugger Ver 0.3(build 49)\n"
                "Use port com1 speed  19200\n"
                "\n"
                "Target Board(MIRO-H8/3664) vesk3664 Ver 1.2(build 3)\n"
                "Flash-program/data address = 0000F780 - 0000FB7F (size = 00000400)\n"
                "User data address =          0000FC00 - 0000FCFF (size = 00000100)\n"
                "Total User RAM Area =        0000F780 - 0000FCFF (size = 00000500)\n"
                "\n"
                "Enter 'HELP' for usage.\n"
                "\n" +
                kStars + ">");
  EXPECT_EQ(board.openedName, "com1");
  EXPECT_EQ(board.openedSpeed, 19200);
  // The version is asked twice, then the two areas; Q-like end of input closes the port.
  EXPECT_EQ(board.codes(),
            (std::vector<uint8_t>{VERSION, VERSION, FLASH_PROG_AREA, USER_DATA_AREA}));
  EXPECT_TRUE(board.closed);
  EXPECT_EQ(dbg->userStart, 0xFC00u);
}

// Options in order, each with the port, speed and map file it leaves and what it printed.
TEST_F(StartUp, OptionsAndTheirErrors) {
  const std::string longPort = "COM" + std::string(97, '1'), longMap(100, 'm');
  const std::tuple<std::vector<std::string>, const char*, const char*, long, const char*> rows[] = {
      // clang-format off
      {{"-c", "com3"}, "COM3", "", 19200, ""},
      {{"-c", "com3", "-c", "tty1"}, "COM3", "", 19200, "unknown com port name\n"},
#ifndef _WIN32
      {{"-c", "/dev/mycom", "-c", "/dev/ttyUSB0"}, "/dev/ttyUSB0", "", 19200, ""},
#else
      {{"-c", "/dev/ttyUSB0"}, "com1", "", 19200, "unknown com port name\n"},
#endif
      {{"-s", "fast", "-M", "y", "-m"}, "com1", "", 19200, "map file name missing\n"},
      {{"-s", "9600", "-m", "a.map", "-s"}, "com1", "a.map", 9600, "speed parameter missing.\n"},
      {{"-c"}, "com1", "", 19200, "com port name missing\n"},
      {{"-c", longPort, "-m", longMap}, "com1", "", 19200,
       "com port name too long (99 characters at most)\n"
       "map file name too long (99 characters at most)\n"},
      // clang-format on
  };
  for (auto [args, port, map, speed, printed] : rows) {
    SCOPED_TRACE(args[0] + " " + (args.size() > 1 ? args[1] : ""));
    Debugger fresh(board, keys, out);
    std::vector<char*> argv{(char*)"h8dbg"};
    for (std::string& a : args) argv.push_back(a.data());
    fresh.parseOptions(int(argv.size()), argv.data());
    EXPECT_EQ(fresh.portName, port);
    EXPECT_EQ(fresh.mapFile, map);
    EXPECT_EQ(fresh.speed, speed);
    EXPECT_EQ(out.take(), printed);
  }
}

// A port that will not open ends the program with a failure status and the system's reason.
TEST_F(StartUp, PortThatWillNotOpenEndsAtOnceSayingWhy) {
  board.openResult = false;
  board.openFailure = "Device or resource busy";
  EXPECT_EQ(start({"h8dbg", "-c", "com9"}), 1);
  EXPECT_EQ(out.take(), kStars +
                            "\nMIRO-H8/3664 ROM Program Debugger Ver 0.3(build 49)\n"
                            "Use port COM9 speed  19200\n\n"
                            "initCom() returns with error.\n" +
                            "Can't open " + serialDevicePath("COM9") +
                            ": Device or resource busy\n");
  EXPECT_TRUE(board.sent.empty());
  EXPECT_FALSE(board.closed);
}

// A speed the port did not take is named with the one it runs at.
TEST_F(StartUp, SpeedThePortDidNotTakeIsCorrected) {
  board.speedInUse = 19200;
  EXPECT_EQ(start({"h8dbg", "-s", "-5"}), 0);
  EXPECT_NE(out.text.find("speed     -5\n\nSpeed -5 is not available: com1 runs at 19200\n"),
            std::string::npos)
      << out.text;
}

TEST_F(StartUp, SilentProbeThenAnswerAndFailedAreas) {
  board.fail(Fault::Silence);
  board.fail(Fault::Raw, frame(VERSION, {2, 0, 7}));
  board.fail(Fault::WrongCode);
  board.fail(Fault::WrongCode);
  ASSERT_TRUE(dbg->startUp());
  EXPECT_EQ(board.steps(), 1000);  // the probe's time-out: 1000 poll steps
  EXPECT_EQ(dbg->console.link.comTimeout, 0);
  std::string t = out.text;
  EXPECT_NE(t.find("Error waiting packet receive.\nError at getting Version\n"
                   "No responce from target. Push RESET or ABORT Switch.\n"
                   "Target Board(MIRO-H8/3664) vesk3664 Ver 2.0(build 7)\n"
                   "Error at getting Flash-ROM program area.\n"
                   "Can't read Target Board Flash-ROM programming area\n"
                   "Error at getting User Data area.\n"
                   "Can't read Target Board User RAM area\n"
                   "Total User RAM Area =        00000000 - FFFFFFFF (size = 00000000)\n"),
            std::string::npos)
      << t;
}

TEST_F(StartUp, MapFileOfOneCharacterIsNotLoaded) {
  EXPECT_EQ(start({"h8dbg", "-m", "x"}), 0);
  EXPECT_EQ(out.text.find("symbol"), std::string::npos);
  out.text.clear();
  EXPECT_EQ(start({"h8dbg", "-m", "/nonexistent/file.map"}), 0);
  EXPECT_NE(out.text.find("Not valid symbol file /nonexistent/file.map\n"), std::string::npos);
}

// Batch mode: commands from -e, then -x, or from the keyboard when neither is given; each echoed
// after its prompt; the first that fails ends the run with status 1.
TEST_F(StartUp, BatchModeRunsCommandsUntilOneFails) {
  board.setMem(0xF800, {0x12, 0x34});
  const std::string script = saveFile({'D', 'B', ' ', 'F', '8', '0', '0', ' ', '1', '\r', '\n', '#',
                                       '\n', '\n', 'B', 'O', 'G', 'U', 'S', '\n', 'Q', '\n'});
  struct Case {
    std::vector<std::string> args, keys;
    int status;
    std::string shown;  // what the end of the output holds
  };
  const std::string db = ">DB F800 1\n00F800 12 " + std::string(45, ' ') + ".\n";
  // clang-format off
  const Case cases[] = {
      {{"-e", "DB F800 1", "-e", "WB F801 5"}, {"q"}, 0, db + ">WB F801 5\n"},  // keys unread
      {{}, {"DB F800 1", "", "  # a note", "q", "DB 0 1"}, 0, db + ">q\n"},
      {{"-x", script}, {}, 1, db + ">BOGUS\nUnknown Command\nBatch run stopped: BOGUS failed\n"},
      {{"-e", "WB 0x1000 1", "-e", "Q"}, {}, 1, "(status 0)\nBatch run stopped: WB 0x1000 1 failed\n"},
      {{"-e", "DB zz"}, {}, 1, "Invalid Address zz\nBatch run stopped: DB zz failed\n"},
      {{"-x", "/no/such/file"}, {}, 1, "Can't open command file /no/such/file: No such file or directory\n"},
      {{"-c", "tty1", "-e", "q"}, {}, 1, "unknown com port name\n"},  // nothing opened
      {{"-t", "0"}, {}, 1, "Invalid run time limit 0 (whole seconds, 1 or more)\n"},
      {{"-e"}, {}, 1, "option -e needs a value\n"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "keys" : c.args[0] + " " + c.args.back());
    for (const std::string& k : c.keys) keys.line(k);
    std::vector<std::string> args = {"h8dbg", "-b"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    board.setMem(0xF801, {0});
    dbg = std::make_unique<Debugger>(board, keys, out);
    EXPECT_EQ(start(args), c.status);
    std::string shown = out.take();
    EXPECT_EQ(shown.substr(shown.size() - std::min(shown.size(), c.shown.size())), c.shown) << shown;
    EXPECT_EQ(board.mem(0xF801), c.args.size() > 3 && c.args[3] == "WB F801 5" ? 5 : 0);
    keys.clear();
  }
}

// A monitor that never answers the probe ends a batch run instead of waiting for ever.
TEST_F(StartUp, BatchModeEndsWhenTheBoardIsSilent) {
  board.fail(Fault::Silence);
  EXPECT_EQ(start({"h8dbg", "-b", "-e", "q"}), 1);
  EXPECT_NE(out.text.find("No responce from target. Push RESET or ABORT Switch.\n"), out.text.npos);
  EXPECT_EQ(board.codes(), std::vector<uint8_t>{VERSION});
}

// --help and --version print and end; nothing is opened.
TEST_F(StartUp, HelpAndVersionEndAtOnce) {
  EXPECT_EQ(start({"h8dbg", "--version"}), 0);
  EXPECT_EQ(out.take(), "h8dbg 0.3 (build 49)\n");
  EXPECT_EQ(start({"h8dbg", "-c", "com2", "--help"}), 0);
  EXPECT_NE(out.take().find("\n  -b           batch mode:"), std::string::npos);
  EXPECT_EQ(start({"h8dbg", "-l"}), 0);  // the machine's ports: whatever they are
  EXPECT_TRUE(board.sent.empty());
  EXPECT_TRUE(board.openedName.empty());
}

// -v FILE traces the session's frames into FILE, start-up included.
TEST_F(StartUp, TraceGoesToItsFile) {
  std::string path = saveFile({});
  EXPECT_EQ(start({"h8dbg", "-v", path, "-b", "-e", "DB F800 1"}), 0);
  std::ifstream in(path);
  std::string traced((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(traced.find(" ms > VERSION\n"), std::string::npos) << traced;
  EXPECT_NE(traced.find(" ms > MEM_READ address 0000F800 length 1\n"), std::string::npos);
  EXPECT_EQ(out.text.find("MEM_READ"), std::string::npos);  // none of it on the console
}

}  // namespace

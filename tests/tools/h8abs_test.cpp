// Runs the built h8abs program as a user would and checks its output streams and exit status.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "load/sysrof_writer.h"

using namespace h8test;

namespace {

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  std::string text = s.str();
#ifdef _WIN32
  // The program writes text mode: line ends arrive as CR LF.
  for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
#endif
  return text;
}

// Runs h8abs with `arguments` (paths in them quoted with double quotes, which both the POSIX
// shell and cmd.exe understand).
ProgramRun h8abs(const std::string& arguments) {
  std::string outPath = scratchPath("stdout"), errPath = scratchPath("stderr");
#ifdef _WIN32
  const char* program = "/h8abs.exe";
  const char* noInput = "NUL";
#else
  const char* program = "/h8abs";
  const char* noInput = "/dev/null";
#endif
  std::string command = std::string("\"") + H8_BUILD_DIR + program + "\" " + arguments + " >\"" +
                        outPath + "\" 2>\"" + errPath + "\" <" + noInput;
#ifdef _WIN32
  command = "\"" + command + "\"";  // cmd.exe strips one pair of outer quotes
#endif
  int raw = std::system(command.c_str());
  ProgramRun r;
#ifdef _WIN32
  r.status = raw;
#else
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  r.out = readFile(outPath);
  r.err = readFile(errPath);
  remove(outPath.c_str());
  remove(errPath.c_str());
  return r;
}

std::string inQuotes(const std::string& path) { return "\"" + path + "\""; }

std::string title(const std::string& text) {
  std::string padded = text;
  padded.resize(23, ' ');
  return "    " + std::string(26, '*') + "  " + padded + std::string(22, '*') + "\n";
}

TEST(H8absList, PrintsListingOfFileOnStdout) {
  SysrofWriter w;
  w.unit("blink", 1, 0, 1).objectData(0x1000, {0x79, 0x07, 0xFF, 0x80}).end();
  std::string path = scratchPath("prog.abs");
  ASSERT_TRUE(w.save(path));
  ProgramRun r = h8abs("list " + inQuotes(path));
  remove(path.c_str());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, title("Unit Information") +
                       "        Unit name : blink\n"
                       "        Number of section = 1  External reference symbol = 0  "
                       "Defined sybmol = 1\n" +
                       title("Object data") +
                       "        Adrs=00001000 : EndAdrs=00001004 : (size=4)\n" +
                       title("Other data") + "FF 02 : ");
}

TEST(H8absList, FileEndingAbnormallyIsListedAndFails) {
  SysrofWriter w;
  w.sectionHeader(1, 2);
  std::string path = scratchPath("cut.abs");
  ASSERT_TRUE(w.save(path));
  ProgramRun r = h8abs("list " + inQuotes(path));
  remove(path.c_str());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, title("Section Header") + "        Unit=0001:Section=0002\n" +
                       "Abnormal termination of SYSROF file.\n");
}

TEST(H8absList, MissingFileIsOneLineOnStderr) {
  std::string path = scratchPath("absent.abs");
  ProgramRun r = h8abs("list " + inQuotes(path));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "h8abs: can't open " + path + ": No such file or directory\n");
}

TEST(H8absList, WrongArgumentCountIsUsageError) {
  ProgramRun none = h8abs("list");
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err, "h8abs: list: missing FILE.ABS\n");
  ProgramRun two = h8abs("list a.abs b.abs");
  EXPECT_EQ(two.status, 2);
  EXPECT_EQ(two.err, "h8abs: list: too many arguments\n");
  EXPECT_EQ(two.out, "");
}

TEST(H8absUsage, HelpGoesToStdoutAndSucceeds) {
  for (const char* option : {"--help", "-h", "help"}) {
    ProgramRun r = h8abs(option);
    EXPECT_EQ(r.status, 0) << option;
    EXPECT_EQ(r.err, "") << option;
    EXPECT_EQ(r.out.rfind("Usage: h8abs COMMAND [ARGUMENTS]\n", 0), 0u) << option;
    EXPECT_NE(r.out.find("\n  list  FILE.ABS   "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("-h, --help"), std::string::npos);
  }
}

TEST(H8absUsage, NoArgumentsPrintsUsageOnStderrWithStatusTwo) {
  ProgramRun r = h8abs("");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, h8abs("--help").out);
}

TEST(H8absUsage, UnknownCommandIsOneLineError) {
  ProgramRun r = h8abs("convert x.elf");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "h8abs: unknown command 'convert' (try h8abs --help)\n");
}

}  // namespace

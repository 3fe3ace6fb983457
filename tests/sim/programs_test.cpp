// The C programs of tests/sim/programs, built by examples/board/Makefile with the GNU H8 toolchain
// (skipped where h8300-hms-gcc is missing) and run by `h8sim exec`, which they tell the result by
// output and exit status; and exec's other endings, from hand-made code. Each test builds in its
// own directory under the build tree; every child runs under a deadline.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>

#include "load/sysrof_writer.h"
#include "support/child.h"

using namespace h8test;

namespace {

struct Result {
  int status;          // the exit status, 128 + a signal, or -1: still running at the deadline
  std::string output;  // its standard output and errors
};

// Runs argv (found on PATH) with `input` as its standard input, to its end or for at most 120 s.
Result run(const std::vector<std::string>& argv, const std::string& input = "") {
  Child child(argv);
  if (!input.empty()) child.type(input);
  child.endInput();
  int status = child.finish(120);
  return {status, child.output};
}

// An empty directory for the running test under the build tree.
std::string scratchDirectory(const std::string& name) {
  std::string dir = H8_BUILD_DIR "/tests/programs/" + name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

bool haveToolchain() { return run({"h8300-hms-gcc", "--version"}).status == 0; }

// Builds tests/sim/programs/NAME.c at `opt` in `dir` with the board's Makefile: NAME.coff,
// NAME.bin and NAME.abs.
Result build(const std::string& name, const std::string& opt, const std::string& dir) {
  return run({"make", "-s", "-f", H8_SOURCE_DIR "/examples/board/Makefile", "NAME=" + name,
              "SRC=" H8_SOURCE_DIR "/tests/sim/programs", "OUT=" + dir, "OPT=" + opt});
}

struct Program {
  std::string name, opt, input, output;
};

const Program PROGRAMS[] = {
    {"crc32", "-O2", "", "crc32 ok\n"},   {"crc32", "-O0", "", "crc32 ok\n"},
    {"sieve", "-O2", "", "sieve ok\n"},   {"sort", "-O2", "", "sort ok\n"},
    {"arith", "-O2", "", "arith ok\n"},   {"arith", "-O0", "", "arith ok\n"},
    {"echo", "-O2", "abc\nq\n", "ABC\n"},
};

void PrintTo(const Program& p, std::ostream* o) { *o << p.name << " " << p.opt; }

class Programs : public testing::TestWithParam<Program> {};

TEST_P(Programs, BuildAndPassTheirChecksOnTheSimulatedBoard) {
  if (!haveToolchain()) GTEST_SKIP() << "h8300-hms-gcc not found";
  const Program& p = GetParam();
  std::string dir = scratchDirectory(p.name + p.opt), file = dir + "/" + p.name;
  Result made = build(p.name, p.opt, dir);
  ASSERT_EQ(made.status, 0) << made.output;
  Result undefined = run({"h8300-hms-nm", "-u", file + ".coff"});
  EXPECT_EQ(undefined.status, 0);
  EXPECT_EQ(undefined.output, "");  // everything resolved without a C library or libgcc
  Result ran = run({H8_BUILD_DIR "/h8sim", "exec", "--limit", "200000000", file + ".abs"}, p.input);
  EXPECT_EQ(ran.status, 0);
  EXPECT_EQ(ran.output, p.output);  // and nothing on standard error
}

INSTANTIATE_TEST_SUITE_P(C, Programs, testing::ValuesIn(PROGRAMS),
                         [](const testing::TestParamInfo<Program>& info) {
                           return info.param.name + "_" + info.param.opt.substr(1);
                         });

// Whether `text` is `pattern`, where each '~' stands for a number (digits and points).
bool matches(const std::string& text, const std::string& pattern) {
  size_t t = 0;
  for (char c : pattern) {
    if (c != '~') {
      if (t == text.size() || text[t++] != c) return false;
      continue;
    }
    size_t from = t;
    while (t < text.size() && (isdigit((unsigned char)text[t]) || text[t] == '.')) t++;
    if (t == from) return false;
  }
  return t == text.size();
}

struct Ending {
  std::string name;
  std::vector<std::string> options;
  Bytes code;  // at 0x1000
  int status;
  std::string message;  // all it prints, '~' for a number that varies
};

// clang-format off
const Ending ENDINGS[] = {
    {"Limit", {"--limit", "1000"}, {0x40, 0xFE}, 124,  // BRA to itself
     "h8sim exec: stopped after 1000 instructions at PC 1000\n"},
    {"Trapa", {}, {0x00, 0x00, 0x57, 0x20}, 127, "h8sim exec: TRAPA #2 at PC 1002\n"},
    {"Undefined", {}, {0x00, 0x00, 0x00, 0x01}, 125, "h8sim exec: undefined instruction at PC 1002\n"},
    {"FetchFromUnmapped", {}, {0x5A, 0x00, 0x90, 0x00}, 126,  // JMP @0x9000
     "h8sim exec: address error: instruction fetch at PC 9000\n"},
    {"SleepWithStats", {"--stats", "--clock", "1e6"}, {0xF8, 0x03, 0x01, 0x80}, 3,  // R0L = 3
     "h8sim exec: 2 instructions, 4 states: 0.000004 s on the chip at 1.000 MHz; "
     "simulated at ~ million instructions/s\n"},
};
// clang-format on

void PrintTo(const Ending& e, std::ostream* o) { *o << e.name; }

class Endings : public testing::TestWithParam<Ending> {};

TEST_P(Endings, GiveTheirStatusAndMessage) {
  const Ending& e = GetParam();
  std::string file = scratchDirectory("ending_" + e.name) + "/p.abs";
  Bytes abs = cat({obj(0x1000, e.code), END});
  ASSERT_TRUE(std::ofstream(file, std::ios::binary).write((const char*)abs.data(), abs.size()));
  std::vector<std::string> argv = {H8_BUILD_DIR "/h8sim", "exec"};
  argv.insert(argv.end(), e.options.begin(), e.options.end());
  argv.push_back(file);
  Result ran = run(argv);
  EXPECT_EQ(ran.status, e.status);
  EXPECT_TRUE(matches(ran.output, e.message)) << ran.output;  // on standard error, none on output
}

INSTANTIATE_TEST_SUITE_P(Exec, Endings, testing::ValuesIn(ENDINGS),
                         [](const testing::TestParamInfo<Ending>& info) {
                           return info.param.name;
                         });

}  // namespace

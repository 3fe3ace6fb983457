#include "sim/options.h"

#include <gtest/gtest.h>

using namespace h8;

namespace {

bool parse(std::vector<std::string> args, SimOptions& options, std::string& error) {
  options = SimOptions();
  error.clear();
  return parseOptions(args, options, error);
}

}  // namespace

TEST(SimOptions, NoArgumentsServeUnpaced) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(parse({}, o, error));
  EXPECT_EQ(o.mode, SimMode::SERVE);
  EXPECT_EQ(o.baud, 0);
  EXPECT_TRUE(o.link.empty());
  EXPECT_FALSE(o.verbose);
}

TEST(SimOptions, ValuesTakeSeparateAndInlineForms) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(parse(
      {"serve", "--link", "/tmp/h8", "--baud=19200", "--flash=f.bin", "--load", "p.abs", "-v"}, o,
      error))
      << error;
  EXPECT_EQ(o.mode, SimMode::SERVE);
  EXPECT_EQ(o.link, "/tmp/h8");
  EXPECT_EQ(o.baud, 19200);
  EXPECT_EQ(o.flash, "f.bin");
  EXPECT_EQ(o.load, "p.abs");
  EXPECT_TRUE(o.verbose);
}

TEST(SimOptions, RunPassesWordsAfterDoubleDashToTheDebugger) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(
      parse({"run", "--h8dbg", "/opt/h8dbg", "--", "-m", "prog.map", "--baud", "x"}, o, error));
  EXPECT_EQ(o.mode, SimMode::RUN);
  EXPECT_EQ(o.h8dbg, "/opt/h8dbg");
  EXPECT_EQ(o.debuggerArgs, std::vector<std::string>({"-m", "prog.map", "--baud", "x"}));
  EXPECT_EQ(o.baud, 0);
}

TEST(SimOptions, SubcommandIsOnlyRecognisedFirst) {
  SimOptions o;
  std::string error;
  EXPECT_FALSE(parse({"--verbose", "run"}, o, error));
  EXPECT_EQ(error, "unknown option run");
}

TEST(SimOptions, DebuggerOptionsNeedRun) {
  SimOptions o;
  std::string error;
  EXPECT_FALSE(parse({"--", "-m", "x.map"}, o, error));
  EXPECT_EQ(error, "debugger options after -- need the run command");
  EXPECT_TRUE(parse({"serve", "--"}, o, error));
}

TEST(SimOptions, BadLineSpeedsAreRefused) {
  SimOptions o;
  std::string error;
  for (const char* bad : {"0", "-9600", "96oo", "", "4000001", "99999999999999999999"}) {
    EXPECT_FALSE(parse({"--baud", bad}, o, error)) << bad;
    EXPECT_EQ(error, std::string("bad line speed ") + bad + " (1 to 4000000 bit/s)");
  }
  EXPECT_TRUE(parse({"--baud", "4000000"}, o, error));
}

TEST(SimOptions, MissingValueAndUnknownOptionAreRefused) {
  SimOptions o;
  std::string error;
  EXPECT_FALSE(parse({"--flash"}, o, error));
  EXPECT_EQ(error, "option --flash needs a value");
  EXPECT_FALSE(parse({"--link="}, o, error));
  EXPECT_EQ(error, "option --link needs a value");
  EXPECT_FALSE(parse({"--speed", "9600"}, o, error));
  EXPECT_EQ(error, "unknown option --speed");
  EXPECT_FALSE(parse({"extra"}, o, error));
  EXPECT_EQ(error, "unknown option extra");
}

TEST(SimOptions, HelpAndVersionFlags) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(parse({"-h", "--version"}, o, error));
  EXPECT_TRUE(o.help);
  EXPECT_TRUE(o.version);
}

TEST(SimOptions, UsageNamesEveryOptionAndSignal) {
  StringOutput out;
  printUsage(out);
  for (const char* word :
       {"--link PATH", "--baud N", "--flash FILE", "--load FILE.ABS", "--h8dbg PATH", "--verbose",
        "--version", "--help", "SIGUSR1", "SIGUSR2", "h8sim run", "SP = FF7C", "PC = 1000"}) {
    EXPECT_NE(out.text.find(word), std::string::npos) << word;
  }
}

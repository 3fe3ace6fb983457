#include "sim/options.h"

#include <gtest/gtest.h>

using namespace h8;

TEST(SimOptions, BadCommandLinesAreRefusedWithTheirReason) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--verbose", "run"}, "unknown option run"},  // the command comes first
      {{"--", "-m", "x.map"}, "debugger options after -- need the run command"},
      {{"--flash"}, "option --flash needs a value"},
      {{"--link="}, "option --link needs a value"},
      {{"--speed", "9600"}, "unknown option --speed"},
      {{"--baud", "0"}, "bad line speed 0 (1 to 4000000 bit/s)"},
      {{"--baud", "-9600"}, "bad line speed -9600 (1 to 4000000 bit/s)"},
      {{"--baud", "96oo"}, "bad line speed 96oo (1 to 4000000 bit/s)"},
      {{"--baud", "4000001"}, "bad line speed 4000001 (1 to 4000000 bit/s)"},
      {{"--baud", "99999999999999999999"},
       "bad line speed 99999999999999999999 (1 to 4000000 bit/s)"},
      {{"--baud="}, "bad line speed  (1 to 4000000 bit/s)"},
  };
  SimOptions o;
  std::string error;
  for (const auto& [args, message] : cases) {
    EXPECT_FALSE(parseOptions(args, o, error)) << message;
    EXPECT_EQ(error, message);
  }
  EXPECT_TRUE(parseOptions({"serve", "--baud=4000000", "--"}, o, error)) << error;
}

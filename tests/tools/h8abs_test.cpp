// Runs the built h8abs program as a user would.
#include <gtest/gtest.h>

#include <cstdio>

#include "load/sysrof_writer.h"

using namespace h8test;

namespace {

// Runs h8abs with `arguments` (paths in double quotes, which the POSIX shell and cmd.exe both
// understand) and gives its status (0: exit status 0); `printed` takes its standard output.
int h8abs(const std::string& arguments, std::string& printed) {
  std::string command = "\"" H8_BUILD_DIR "/h8abs\" " + arguments;
#ifdef _WIN32
  command = "\"" + command + "\"";  // cmd.exe strips one pair of outer quotes
#endif
  FILE* pipe = popen(command.c_str(), "r");
  printed.clear();
  for (int c; (c = fgetc(pipe)) != EOF;) printed += char(c);
  return pclose(pipe);
}

TEST(H8abs, ListsAFileAndShowsItsHelp) {
  std::string printed;
  EXPECT_EQ(h8abs("list \"" + saveFile(END) + "\"", printed), 0);
  EXPECT_EQ(printed, "    " + std::string(26, '*') + "  Other data             " +
                         std::string(22, '*') + "\nFF 02 : ");
  EXPECT_NE(h8abs("list \"" + saveFile({0x1A, 2}) + "\"", printed), 0);  // no end record
  EXPECT_EQ(h8abs("--help", printed), 0);
  EXPECT_EQ(printed.rfind("Usage: h8abs COMMAND [ARGUMENTS]\n", 0), 0u) << printed;
  EXPECT_NE(
      printed.find("\n  list  FILE.ABS   list the records of a SYSROF absolute load module\n"),
      std::string::npos);
}

}  // namespace

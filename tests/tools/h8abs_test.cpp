// Runs the built h8abs program as a user would.
#include <gtest/gtest.h>

#include "load/sysrof_writer.h"

using namespace h8test;

namespace {

// Runs h8abs with `arguments` and gives its status (0: exit status 0); `printed` takes its
// standard output. Paths go in double quotes, which the POSIX shell and cmd.exe both understand.
int h8abs(const std::string& arguments, std::string& printed) {
  std::string command = "\"" H8_BUILD_DIR "/h8abs\" " + arguments;
#ifdef _WIN32
  command = "\"" + command + "\"";  // cmd.exe strips one pair of outer quotes
#endif
  FILE* pipe = popen(command.c_str(), "r");
  for (int c; (c = fgetc(pipe)) != EOF;) printed += char(c);
  return pclose(pipe);
}

// The exit status tells whether an 0xFF record ended the file.
TEST(H8abs, ListsAFileAndShowsItsHelp) {
  std::string listed, cut, help;
  EXPECT_EQ(h8abs("list \"" + saveFile(END) + "\"", listed), 0);
  EXPECT_EQ(listed, "    " + std::string(26, '*') + "  Other data             " +
                        std::string(22, '*') + "\nFF 02 : ");
  EXPECT_NE(h8abs("list \"" + saveFile({0x1A, 2}) + "\"", cut), 0);
  EXPECT_EQ(h8abs("--help", help), 0);
  EXPECT_NE(help.find("\n  list  FILE.ABS   list the records of a SYSROF absolute load module\n"),
            help.npos);
}

}  // namespace

// The Win32 console output: binary standard output, and the code page 932 help text written as
// its exact bytes when standard output is redirected.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "process_win32.h"

using h8test::buildDirectory;
using h8test::runProcess;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(RedirectedOutput, HelpScreenIsTheExactCp932Bytes) {
  std::string expected = readFile(H8_SOURCE_DIR "/tests/console/help_cp932.bin");
  ASSERT_EQ(expected.size(), 1327u);
  auto r = runProcess("\"" + buildDirectory() + "\\tests\\console_probe.exe\" help", "");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u);
  // Plain output before and after the help stays in order around it, and no "\n" becomes
  // "\r\n".
  EXPECT_EQ(r.output, "<" + expected + ">\n");
}

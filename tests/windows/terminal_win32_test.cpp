// The Win32 console output: binary standard output, and the code page 932 help text written as
// its exact bytes when standard output is redirected.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "process_win32.h"

TEST(RedirectedOutput, HelpScreenIsTheExactCp932BytesInOrderWithoutCarriageReturns) {
  std::ostringstream help;
  help << std::ifstream(H8_SOURCE_DIR "/tests/console/help_cp932.bin", std::ios::binary).rdbuf();
  EXPECT_EQ(h8test::runProcess("console_probe.exe", ""), "<" + help.str() + ">\n[status 0]");
}

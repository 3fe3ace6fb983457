// The Win32 keyboard binding: redirected standard input (a pipe, as from a script runner, and a
// file, as from "h8dbg < commands.txt") and the console, fed through its own input queue.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "console/keyboard.h"
#include "process_win32.h"

using namespace h8;
using namespace h8test;

namespace {

// Puts a handle in place of standard input for the keyboard built in the test.
struct RedirectedInput : ::testing::Test {
  HANDLE saved = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;

  void SetUp() override {
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    SetStdHandle(STD_INPUT_HANDLE, readEnd);
  }
  void send(const std::string& bytes) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writeEnd, bytes.data(), DWORD(bytes.size()), &written, nullptr));
  }
  void closeWriter() {
    CloseHandle(writeEnd);
    writeEnd = nullptr;
  }
  void TearDown() override {
    SetStdHandle(STD_INPUT_HANDLE, saved);
    if (writeEnd) CloseHandle(writeEnd);
    if (readEnd) CloseHandle(readEnd);
  }
};

}  // namespace

TEST_F(RedirectedInput, PipeIsNotInteractiveAndWaitsOnlyWithBytes) {
  auto kb = makePlatformKeyboard();
  EXPECT_FALSE(kb->interactive());
  EXPECT_FALSE(kb->keyWaiting());
  send("q");
  EXPECT_TRUE(kb->keyWaiting());
}

TEST_F(RedirectedInput, PipeLinesLoseTheirLineEndsAndKeysStayRaw) {
  auto kb = makePlatformKeyboard();
  send("db 100,20\r\n\nq\na\x1b\r\xff");
  std::string line;
  ASSERT_TRUE(kb->readLine(line, ">"));
  EXPECT_EQ(line, "db 100,20");
  ASSERT_TRUE(kb->readLine(line, ">"));
  EXPECT_EQ(line, "");
  ASSERT_TRUE(kb->readLine(line, ">"));
  EXPECT_EQ(line, "q");
  EXPECT_EQ(kb->readKey(), 'a');
  EXPECT_EQ(kb->readKey(), 0x1B);
  EXPECT_EQ(kb->readKey(), '\r');
  EXPECT_EQ(kb->readKey(), 0xFF);
  EXPECT_FALSE(kb->keyWaiting());  // all taken, the writer still there
}

TEST_F(RedirectedInput, ClosedPipeIsTheEndOfInput) {
  auto kb = makePlatformKeyboard();
  send("g\nlast");
  closeWriter();
  std::string line;
  ASSERT_TRUE(kb->readLine(line, ">"));
  EXPECT_EQ(line, "g");
  ASSERT_TRUE(kb->readLine(line, ">"));  // a last line without a newline still counts
  EXPECT_EQ(line, "last");
  EXPECT_TRUE(kb->keyWaiting());  // the end of input is waiting to be seen
  EXPECT_FALSE(kb->readLine(line, ">"));
  EXPECT_EQ(line, "");
  EXPECT_EQ(kb->readKey(), -1);
  EXPECT_FALSE(kb->readLine(line, ">"));
}

// A file, through a real child process whose standard input the system set up.
TEST(RedirectedInputFile, IsAlwaysReadyAndEndsAtItsEnd) {
  std::string path = writeTempFile("h8probe.txt", "help\r\nq");
  auto r =
      runProcess("\"" + buildDirectory() + "\\tests\\console_probe.exe\" keys WLKLWKL", "", path);
  DeleteFileA(path.c_str());
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.output,
            "interactive 0\nwaiting 1\nline [help]\nkey 113\nend\nwaiting 1\nkey -1\nend\n");
}

namespace {

// The test process gets a console of its own when it has none. Under wine only a terminal gives
// a console with an input queue; ctest runs these cases a second time on a pseudo-terminal.
struct ConsoleInput : ::testing::Test {
  HANDLE saved = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE conin = INVALID_HANDLE_VALUE;

  void SetUp() override {
    AllocConsole();  // fails harmlessly when there is one already
    // wine attaches a process started without a terminal to a console without an input queue.
    conin = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (conin == INVALID_HANDLE_VALUE || !GetConsoleMode(conin, &mode)) {
      if (getenv("H8_REQUIRE_CONSOLE")) FAIL() << "no console with an input queue";
      GTEST_SKIP() << "no console with an input queue (under wine: run on a terminal)";
    }
    FlushConsoleInputBuffer(conin);
    SetStdHandle(STD_INPUT_HANDLE, conin);
  }
  void TearDown() override {
    SetStdHandle(STD_INPUT_HANDLE, saved);
    if (conin != INVALID_HANDLE_VALUE) {
      FlushConsoleInputBuffer(conin);
      CloseHandle(conin);
    }
  }

  void put(bool down, WORD vk, WORD scan, char c, DWORD state = 0, WORD repeat = 1) {
    INPUT_RECORD r{};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent = {down, repeat, vk, scan, {}, state};
    r.Event.KeyEvent.uChar.AsciiChar = c;
    DWORD written = 0;
    ASSERT_TRUE(WriteConsoleInputA(conin, &r, 1, &written));
  }
  // One key pressed and released.
  void press(WORD vk, WORD scan, char c, DWORD state = 0, WORD repeat = 1) {
    put(true, vk, scan, c, state, repeat);
    put(false, vk, scan, c, state);
  }
};

}  // namespace

TEST_F(ConsoleInput, KeysComeAsTheirCharactersAndModifiersAloneAreNone) {
  auto kb = makePlatformKeyboard();
  EXPECT_TRUE(kb->interactive());
  EXPECT_FALSE(kb->keyWaiting());
  put(true, VK_SHIFT, 0x2A, 0, SHIFT_PRESSED);
  put(true, VK_CONTROL, 0x1D, 0, LEFT_CTRL_PRESSED);
  EXPECT_FALSE(kb->keyWaiting());
  press('A', 0x1E, 'A', SHIFT_PRESSED);
  press(VK_ESCAPE, 0x01, 0x1B);
  press(VK_RETURN, 0x1C, '\r');
  EXPECT_TRUE(kb->keyWaiting());
  EXPECT_EQ(kb->readKey(), 'A');
  EXPECT_EQ(kb->readKey(), 0x1B);
  EXPECT_EQ(kb->readKey(), '\r');
  EXPECT_FALSE(kb->keyWaiting());
}

TEST_F(ConsoleInput, FunctionKeysGiveAPrefixAndTheScanCodeAndHeldKeysRepeat) {
  auto kb = makePlatformKeyboard();
  press(VK_UP, 0x48, 0, ENHANCED_KEY);
  press(VK_F1, 0x3B, 0);
  press('B', 0x30, 'b', 0, 2);
  EXPECT_EQ(kb->readKey(), 0xE0);
  EXPECT_TRUE(kb->keyWaiting());  // the second byte is still to come
  EXPECT_EQ(kb->readKey(), 0x48);
  EXPECT_EQ(kb->readKey(), 0x00);
  EXPECT_EQ(kb->readKey(), 0x3B);
  EXPECT_EQ(kb->readKey(), 'b');
  EXPECT_TRUE(kb->keyWaiting());
  EXPECT_EQ(kb->readKey(), 'b');
  EXPECT_FALSE(kb->keyWaiting());
}

TEST_F(ConsoleInput, ArrowStartsALineAndTheLineComesWithoutItsEnd) {
  auto kb = makePlatformKeyboard();
  press(VK_LEFT, 0x4B, 0, ENHANCED_KEY);
  EXPECT_TRUE(kb->keyWaiting());  // at the prompt it begins the console's line editing
  for (char c : std::string("db 1,2")) press(WORD(VkKeyScanA(c) & 0xFF), 0, c);
  press(VK_RETURN, 0x1C, '\r');
  std::string line;
  ASSERT_TRUE(kb->readLine(line, ">"));
  EXPECT_EQ(line, "db 1,2");
  EXPECT_FALSE(kb->keyWaiting());
}

TEST_F(ConsoleInput, CtrlZAtTheStartOfALineEndsTheInput) {
  auto kb = makePlatformKeyboard();
  press('Z', 0x2C, 0x1A, LEFT_CTRL_PRESSED);
  press(VK_RETURN, 0x1C, '\r');
  std::string line = "stale";
  EXPECT_FALSE(kb->readLine(line, ">"));
  EXPECT_EQ(line, "");
  EXPECT_TRUE(kb->keyWaiting());
  EXPECT_FALSE(kb->readLine(line, ">"));
}

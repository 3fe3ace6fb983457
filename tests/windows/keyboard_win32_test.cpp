// The Win32 keyboard binding on redirected standard input: a pipe (as from another program or
// a script runner) and a file (as from "h8dbg < commands.txt").
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "console/keyboard.h"
#include "process_win32.h"

using namespace h8;
using h8test::buildDirectory;
using h8test::runProcess;

namespace {

// Puts a handle in place of standard input for the keyboard built in the test.
struct RedirectedInput : ::testing::Test {
  HANDLE saved = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;

  void usePipe() {
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    SetStdHandle(STD_INPUT_HANDLE, readEnd);
  }
  void send(const std::string& bytes) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(writeEnd, bytes.data(), DWORD(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
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

std::string probe() { return "\"" + buildDirectory() + "\\tests\\console_probe.exe\""; }

std::string writeTempFile(const char* name, const std::string& bytes) {
  char dir[MAX_PATH];
  DWORD n = GetTempPathA(MAX_PATH, dir);
  std::string path = std::string(dir, n) + name;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(f);
  return path;
}

}  // namespace

TEST_F(RedirectedInput, PipeIsNotInteractive) {
  usePipe();
  auto kb = makePlatformKeyboard();
  EXPECT_FALSE(kb->interactive());
}

TEST_F(RedirectedInput, EmptyPipeHasNoKeyWaiting) {
  usePipe();
  auto kb = makePlatformKeyboard();
  EXPECT_FALSE(kb->keyWaiting());
  send("q");
  EXPECT_TRUE(kb->keyWaiting());
}

TEST_F(RedirectedInput, PipeLinesComeWithoutTheirLineEnds) {
  usePipe();
  auto kb = makePlatformKeyboard();
  send("db 100,20\r\nR\n\nq\n");
  std::string line;
  ASSERT_TRUE(kb->readLine(line, ">"));
  EXPECT_EQ(line, "db 100,20");
  ASSERT_TRUE(kb->readLine(line, ">"));
  EXPECT_EQ(line, "R");
  ASSERT_TRUE(kb->readLine(line, ">"));
  EXPECT_EQ(line, "");
  ASSERT_TRUE(kb->readLine(line, ">"));
  EXPECT_EQ(line, "q");
  EXPECT_FALSE(kb->keyWaiting());  // all taken, writer still there
}

TEST_F(RedirectedInput, PipeKeysComeOneByteEachWithoutTranslation) {
  usePipe();
  auto kb = makePlatformKeyboard();
  send(std::string("a\x1b\r\xff", 4));
  EXPECT_EQ(kb->readKey(), 'a');
  EXPECT_EQ(kb->readKey(), 0x1B);
  EXPECT_EQ(kb->readKey(), '\r');
  EXPECT_EQ(kb->readKey(), 0xFF);
}

TEST_F(RedirectedInput, ClosedPipeIsTheEndOfInput) {
  usePipe();
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

TEST_F(RedirectedInput, ClosedEmptyPipeEndsAtOnce) {
  usePipe();
  closeWriter();
  auto kb = makePlatformKeyboard();
  EXPECT_TRUE(kb->keyWaiting());
  std::string line = "stale";
  EXPECT_FALSE(kb->readLine(line, ">"));
  EXPECT_EQ(line, "");
}

TEST_F(RedirectedInput, FileIsAlwaysReadyAndEndsAtItsEnd) {
  std::string path = writeTempFile("h8keys.txt", "r\r\nxy\nlast");
  HANDLE f =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  SetStdHandle(STD_INPUT_HANDLE, f);
  {
    auto kb = makePlatformKeyboard();
    EXPECT_FALSE(kb->interactive());
    EXPECT_TRUE(kb->keyWaiting());
    std::string line;
    ASSERT_TRUE(kb->readLine(line, ">"));
    EXPECT_EQ(line, "r");
    EXPECT_EQ(kb->readKey(), 'x');
    ASSERT_TRUE(kb->readLine(line, ">"));
    EXPECT_EQ(line, "y");
    ASSERT_TRUE(kb->readLine(line, ">"));
    EXPECT_EQ(line, "last");
    EXPECT_TRUE(kb->keyWaiting());
    EXPECT_FALSE(kb->readLine(line, ">"));
  }
  SetStdHandle(STD_INPUT_HANDLE, saved);
  CloseHandle(f);
  DeleteFileA(path.c_str());
}

TEST_F(RedirectedInput, NulDeviceIsAnEmptyInput) {
  HANDLE nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(nul, INVALID_HANDLE_VALUE);
  SetStdHandle(STD_INPUT_HANDLE, nul);
  {
    auto kb = makePlatformKeyboard();
    EXPECT_FALSE(kb->interactive());
    EXPECT_TRUE(kb->keyWaiting());
    std::string line;
    EXPECT_FALSE(kb->readLine(line, ">"));
  }
  SetStdHandle(STD_INPUT_HANDLE, saved);
  CloseHandle(nul);
}

// The same through a real child process whose standard input the system set up.
TEST(RedirectedInputProcess, PipedLinesAndKeys) {
  auto r = runProcess(probe() + " keys LKLLL", "db 100\r\nxq\n");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.output,
            "interactive 0\n"
            "line [db 100]\n"
            "key 120\n"
            "line [q]\n"
            "end\n"
            "end\n");
}

TEST(RedirectedInputProcess, FileLinesAndKeys) {
  std::string path = writeTempFile("h8probe.txt", "help\nq");
  auto r = runProcess(probe() + " keys WLKLWKL", "", path);
  DeleteFileA(path.c_str());
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.output,
            "interactive 0\n"
            "waiting 1\n"
            "line [help]\n"
            "key 113\n"
            "end\n"
            "waiting 1\n"
            "key -1\n"
            "end\n");
}

// The console path, fed through the console's own input queue. The test process gets a console
// of its own when it has none (under ctest it has none; wine gives it a hidden one).
namespace {

struct ConsoleInput : ::testing::Test {
  HANDLE saved = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE conin = INVALID_HANDLE_VALUE;

  static HANDLE openConsoleInput() {
    return CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
  }

  void SetUp() override {
    AllocConsole();  // fails harmlessly when there is one already
    conin = openConsoleInput();
    if (conin == INVALID_HANDLE_VALUE) {
      // wine attaches a process started from a pipe to a console without an input queue;
      // a console of its own has one.
      FreeConsole();
      AllocConsole();
      conin = openConsoleInput();
    }
    DWORD mode = 0;
    if (conin == INVALID_HANDLE_VALUE || !GetConsoleMode(conin, &mode)) {
      // ctest runs these cases a second time on a pseudo-terminal, where they must not skip.
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

  static INPUT_RECORD keyEvent(bool down, WORD vk, WORD scan, char c, DWORD state = 0,
                               WORD repeat = 1) {
    INPUT_RECORD r{};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent.bKeyDown = down;
    r.Event.KeyEvent.wRepeatCount = repeat;
    r.Event.KeyEvent.wVirtualKeyCode = vk;
    r.Event.KeyEvent.wVirtualScanCode = scan;
    r.Event.KeyEvent.uChar.AsciiChar = c;
    r.Event.KeyEvent.dwControlKeyState = state;
    return r;
  }
  // One key pressed and released.
  void press(WORD vk, WORD scan, char c, DWORD state = 0, WORD repeat = 1) {
    put(keyEvent(true, vk, scan, c, state, repeat));
    put(keyEvent(false, vk, scan, c, state));
  }
  void type(const std::string& text) {
    for (char c : text) {
      if (c == '\r') {
        press(VK_RETURN, 0x1C, '\r');
      } else {
        press(WORD(VkKeyScanA(c) & 0xFF), 0, c);
      }
    }
  }
  void put(const INPUT_RECORD& r) {
    DWORD written = 0;
    ASSERT_TRUE(WriteConsoleInputA(conin, &r, 1, &written));
    ASSERT_EQ(written, 1u);
  }
};

}  // namespace

TEST_F(ConsoleInput, IsInteractiveAndEmptyAtFirst) {
  auto kb = makePlatformKeyboard();
  EXPECT_TRUE(kb->interactive());
  EXPECT_FALSE(kb->keyWaiting());
}

TEST_F(ConsoleInput, ModifierKeysAloneAreNoKey) {
  auto kb = makePlatformKeyboard();
  put(keyEvent(true, VK_SHIFT, 0x2A, 0, SHIFT_PRESSED));
  put(keyEvent(true, VK_CONTROL, 0x1D, 0, LEFT_CTRL_PRESSED));
  put(keyEvent(false, VK_CONTROL, 0x1D, 0));
  EXPECT_FALSE(kb->keyWaiting());
  put(keyEvent(true, 'A', 0x1E, 'A', SHIFT_PRESSED));
  EXPECT_TRUE(kb->keyWaiting());
  EXPECT_EQ(kb->readKey(), 'A');
  put(keyEvent(false, VK_SHIFT, 0x2A, 0));
  EXPECT_FALSE(kb->keyWaiting());
}

TEST_F(ConsoleInput, KeysComeOneAtATimeAsTheirCharacters) {
  auto kb = makePlatformKeyboard();
  press('X', 0x2D, 'x');
  press(VK_ESCAPE, 0x01, 0x1B);
  press(VK_RETURN, 0x1C, '\r');
  EXPECT_TRUE(kb->keyWaiting());
  EXPECT_EQ(kb->readKey(), 'x');
  EXPECT_EQ(kb->readKey(), 0x1B);
  EXPECT_TRUE(kb->keyWaiting());
  EXPECT_EQ(kb->readKey(), '\r');
  EXPECT_FALSE(kb->keyWaiting());
}

TEST_F(ConsoleInput, FunctionKeysGiveAPrefixAndTheScanCode) {
  auto kb = makePlatformKeyboard();
  press(VK_UP, 0x48, 0, ENHANCED_KEY);
  press(VK_F1, 0x3B, 0);
  EXPECT_TRUE(kb->keyWaiting());
  EXPECT_EQ(kb->readKey(), 0xE0);
  EXPECT_TRUE(kb->keyWaiting());  // the second byte is still to come
  EXPECT_EQ(kb->readKey(), 0x48);
  EXPECT_EQ(kb->readKey(), 0x00);
  EXPECT_EQ(kb->readKey(), 0x3B);
  EXPECT_FALSE(kb->keyWaiting());
}

TEST_F(ConsoleInput, HeldKeyRepeatsItsCount) {
  auto kb = makePlatformKeyboard();
  press('B', 0x30, 'b', 0, 3);
  EXPECT_EQ(kb->readKey(), 'b');
  EXPECT_EQ(kb->readKey(), 'b');
  EXPECT_TRUE(kb->keyWaiting());
  EXPECT_EQ(kb->readKey(), 'b');
  EXPECT_FALSE(kb->keyWaiting());
}

TEST_F(ConsoleInput, LineIsReadWithoutItsLineEnd) {
  auto kb = makePlatformKeyboard();
  type("db 100,20\r");
  EXPECT_TRUE(kb->keyWaiting());
  std::string line;
  ASSERT_TRUE(kb->readLine(line, ">"));
  EXPECT_EQ(line, "db 100,20");
  EXPECT_FALSE(kb->keyWaiting());
}

TEST_F(ConsoleInput, ArrowKeyStartsALine) {
  auto kb = makePlatformKeyboard();
  press(VK_LEFT, 0x4B, 0, ENHANCED_KEY);
  EXPECT_TRUE(kb->keyWaiting());
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

// The Win32 keyboard binding: redirected standard input (a pipe, as from a script runner, and a
// file, as from "h8dbg < commands.txt") and the console, fed through its own input queue.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "console/keyboard.h"

// A keyboard on `in` (which stays this process's standard input; nothing else here reads it).
static std::unique_ptr<h8::Keyboard> keyboardOn(HANDLE in) {
  SetStdHandle(STD_INPUT_HANDLE, in);
  return h8::makePlatformKeyboard();
}

// Runs `ops` in order (I interactive, W keyWaiting, K readKey, L readLine); reports each result.
static std::string drive(h8::Keyboard& kb, const char* ops) {
  std::string report;
  for (std::string line = "stale"; *ops; ops++, line = "stale") {
    if (*ops == 'I') report += kb.interactive() ? "I1 " : "I0 ";
    if (*ops == 'W') report += kb.keyWaiting() ? "W1 " : "W0 ";
    if (*ops == 'K') report += "K" + std::to_string(kb.readKey()) + " ";
    if (*ops == 'L') report += kb.readLine(line, ">") ? "[" + line + "] " : "end" + line + " ";
  }
  return report;
}

static void send(HANDLE to, const std::string& bytes) {
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(to, bytes.data(), DWORD(bytes.size()), &n, nullptr));
}

TEST(RedirectedInput, PipeWaitsOnlyWithBytesAndEndsWhenItsWriterCloses) {
  HANDLE in, out;
  ASSERT_TRUE(CreatePipe(&in, &out, nullptr, 0));
  auto kb = keyboardOn(in);
  EXPECT_EQ(drive(*kb, "IW"), "I0 W0 ");
  send(out, "db 100,20\r\n\nq\na\x1b\r\xff");
  EXPECT_EQ(drive(*kb, "WLLLKKKKW"), "W1 [db 100,20] [] [q] K97 K27 K13 K255 W0 ");
  CloseHandle(out);  // the end of input is then waiting, and stays
  EXPECT_EQ(drive(*kb, "WLKL"), "W1 end K-1 end ");
  CloseHandle(in);
}

TEST(RedirectedInput, FileIsAlwaysReadyAndEndsAtItsEnd) {
  HANDLE in = CreateFileA("h8keys.txt", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  send(in, "help\r\nq");  // a last line without a newline still counts
  SetFilePointer(in, 0, nullptr, FILE_BEGIN);
  EXPECT_EQ(drive(*keyboardOn(in), "IWLLWKL"), "I0 W1 [help] [q] W1 K-1 end ");
  CloseHandle(in);
}

// Under wine only a terminal gives a console with an input queue; ctest runs this case a second
// time on a pseudo-terminal, with H8_REQUIRE_CONSOLE set.
TEST(ConsoleInput, KeysWithoutEchoCookedLinesAndCtrlZ) {
  AllocConsole();  // fails harmlessly when there is one
  HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD n = 0;
  if (!GetConsoleMode(in, &n)) {
    if (getenv("H8_REQUIRE_CONSOLE")) FAIL() << "no console with an input queue";
    GTEST_SKIP() << "no console with an input queue (under wine: run on a terminal)";
  }
  FlushConsoleInputBuffer(in);
  auto press = [&](std::initializer_list<KEY_EVENT_RECORD> keys) {  // each pressed and released
    for (KEY_EVENT_RECORD k : keys) {
      INPUT_RECORD r[2] = {{KEY_EVENT, {}}, {KEY_EVENT, {}}};
      r[0].Event.KeyEvent = r[1].Event.KeyEvent = k;
      r[1].Event.KeyEvent.bKeyDown = FALSE;
      ASSERT_TRUE(WriteConsoleInputW(in, r, 2, &n));
    }
  };
  auto kb = keyboardOn(in);
  // Shift and Ctrl alone are no key; characters come as they are, function keys as a prefix
  // (0xE0, or 0 for F1-F12) and the scan code, a held key by its repeat count.
  // clang-format off
  press({{TRUE, 1, VK_SHIFT, 0x2A, {0}, SHIFT_PRESSED}, {TRUE, 1, VK_CONTROL, 0x1D, {0}, 0},
         {TRUE, 1, 'A', 0x1E, {L'A'}, SHIFT_PRESSED}, {TRUE, 1, VK_ESCAPE, 1, {0x1B}, 0},
         {TRUE, 1, VK_RETURN, 0x1C, {L'\r'}, 0}, {TRUE, 1, VK_UP, 0x48, {0}, ENHANCED_KEY},
         {TRUE, 1, VK_F1, 0x3B, {0}, 0}, {TRUE, 2, 'B', 0x30, {L'b'}, 0}});
  // clang-format on
  EXPECT_EQ(drive(*kb, "IWKKKKWKKKKWKW"), "I1 W1 K65 K27 K13 K224 W1 K72 K0 K59 K98 W1 K98 W0 ");
  // An arrow key counts as a key: at the prompt it begins the console's line editing.
  press({{TRUE, 1, VK_LEFT, 0x4B, {0}, ENHANCED_KEY}});
  for (char c : std::string("db 1,2\r")) press({{TRUE, 1, WORD(VkKeyScanA(c)), 0, {WCHAR(c)}, 0}});
  EXPECT_EQ(drive(*kb, "WLW"), "W1 [db 1,2] W0 ");
  press({{TRUE, 1, 'Z', 0x2C, {0x1A}, LEFT_CTRL_PRESSED}, {TRUE, 1, VK_RETURN, 0x1C, {L'\r'}, 0}});
  EXPECT_EQ(drive(*kb, "LWL"), "end W1 end ");  // Ctrl-Z at the start of a line ends the input
  CloseHandle(in);
}

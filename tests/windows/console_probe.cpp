// Drives the Win32 console bindings for windows_test, which runs this program with its standard
// handles redirected.
//   console_probe help        prints "<" + the help screen through writeCp932 + ">\n"
//   console_probe keys OPS    runs OPS in order, one report line each:
//                             W keyWaiting() -> "waiting N", K readKey() -> "key N",
//                             L readLine() -> "line [text]" or "end",
//                             P poll keyWaiting() in 10 ms steps until true -> "polled"
#include <windows.h>

#include <cstring>
#include <string>

#include "console/help.h"
#include "console/keyboard.h"
#include "console/terminal.h"

int main(int argc, char** argv) {
  auto out = h8::makeConsoleOutput();
  if (argc == 2 && strcmp(argv[1], "help") == 0) {
    out->puts("<");
    for (int i = 0; i < h8::helpLineCount; i++) out->writeCp932(h8::helpLines[i]);
    out->puts(">\n");
    out->flush();
    return 0;
  }
  if (argc == 3 && strcmp(argv[1], "keys") == 0) {
    auto keyboard = h8::makePlatformKeyboard();
    out->printf("interactive %d\n", keyboard->interactive() ? 1 : 0);
    for (const char* op = argv[2]; *op; op++) {
      if (*op == 'W') {
        out->printf("waiting %d\n", keyboard->keyWaiting() ? 1 : 0);
      } else if (*op == 'P') {
        while (!keyboard->keyWaiting()) Sleep(10);
        out->puts("polled\n");
      } else if (*op == 'K') {
        out->printf("key %d\n", keyboard->readKey());
      } else if (*op == 'L') {
        std::string line;
        if (keyboard->readLine(line, ">")) {
          out->printf("line [%s]\n", line.c_str());
        } else {
          out->puts("end\n");
        }
      }
      out->flush();
    }
    out->flush();
    return 0;
  }
  out->puts("usage: console_probe help | keys OPS\n");
  return 2;
}

// Prints "<", the help screen through the console output's code page 932 path, and ">\n"; the
// Windows tests run it with standard output redirected.
#include "console/help.h"
#include "console/terminal.h"

int main() {
  auto out = h8::makeConsoleOutput();
  out->puts("<");
  for (int i = 0; i < h8::helpLineCount; i++) out->writeCp932(h8::helpLines[i]);
  out->puts(">\n");
  out->flush();
}

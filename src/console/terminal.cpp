// The registry of functions that put the console back as it was found.
#include "console/terminal.h"

#include <cstdlib>

namespace h8 {

namespace {

constexpr int kMaxRestores = 4;
void (*restores[kMaxRestores])() = {};
int restoreCount = 0;

}  // namespace

void runTerminalRestores() {
  for (int i = 0; i < restoreCount; i++) restores[i]();
}

void installTerminalRestore(void (*restore)()) {
  if (restoreCount == 0) {
    atexit(runTerminalRestores);
    installInterruptHandlers();
  }
  if (restoreCount < kMaxRestores) restores[restoreCount++] = restore;
}

}  // namespace h8

// The registry of functions that put the console back as it was found.
#include "console/terminal.h"

#include <cstdlib>

namespace h8 {

namespace {

constexpr int kMaxRestores = 4;
void (*restores[kMaxRestores])() = {};
int restoreCount = 0;
WaitInterrupt* waitInterrupt = nullptr;

void installHandlersOnce() {
  static bool installed = false;
  if (!installed) installInterruptHandlers();
  installed = true;
}

}  // namespace

void runTerminalRestores() {
  for (int i = 0; i < restoreCount; i++) restores[i]();
}

bool interruptWait() { return waitInterrupt != nullptr && waitInterrupt->request(); }

void catchInterrupts(WaitInterrupt& interrupt) {
  waitInterrupt = &interrupt;
  installHandlersOnce();
}

void installTerminalRestore(void (*restore)()) {
  if (restoreCount == 0) {
    atexit(runTerminalRestores);
    installHandlersOnce();
  }
  if (restoreCount < kMaxRestores) restores[restoreCount++] = restore;
}

}  // namespace h8

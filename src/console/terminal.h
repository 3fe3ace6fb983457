// Process-level console set-up for the real program: the standard-output sink (which shows the
// code page 932 help text correctly on a UTF-8 terminal) and restoring the terminal on exit and
// on SIGINT/SIGTERM.
#pragma once

#include <memory>

#include "common/output.h"

namespace h8 {

std::unique_ptr<Output> makeConsoleOutput();

// Registers a function that puts the terminal back as it was found; it runs at normal exit and
// from the SIGINT/SIGTERM handlers (so it must be async-signal-safe).
void installTerminalRestore(void (*restore)());

// Runs every registered restore function (terminal.cpp). The platform files call it from their
// interrupt handlers, and define installInterruptHandlers, which installTerminalRestore calls
// once.
void runTerminalRestores();
void installInterruptHandlers();

}  // namespace h8

// Process-level console set-up for the real program: the standard-output sink (which shows the
// code page 932 help text correctly on a UTF-8 terminal), restoring the terminal on exit and
// on SIGINT/SIGTERM, and Ctrl-C as the way out of a wait for the board.
#pragma once

#include <memory>

#include "common/output.h"
#include "common/wait_interrupt.h"

namespace h8 {

std::unique_ptr<Output> makeConsoleOutput();

// Registers a function that puts the terminal back as it was found; it runs at normal exit and
// from the SIGINT/SIGTERM handlers (so it must be async-signal-safe).
void installTerminalRestore(void (*restore)());

// Ctrl-C (and Ctrl-Break on Windows) while a command runs gives up its wait through `interrupt`
// instead of ending the program.
void catchInterrupts(WaitInterrupt& interrupt);

// Runs every registered restore function (terminal.cpp). The platform files call it from their
// interrupt handlers, after interruptWait() (true: a running command takes the key, so the
// program goes on), and define installInterruptHandlers, which is called once.
void runTerminalRestores();
bool interruptWait();
void installInterruptHandlers();

}  // namespace h8

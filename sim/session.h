// One h8sim session: build the board as the options say, put it on a pseudo-terminal, and serve
// it until a signal ends h8sim (serve) or the debugger it started exits (run).
//
//   runSimulator(options, out, err)   the process's exit status: 0 after SIGINT/SIGTERM in serve
//                                     mode, h8dbg's status in run mode (128 + signal when a
//                                     signal ended it), 2 when the board could not be set up
//   debuggerPath(options)             the h8dbg that run starts: --h8dbg, else h8dbg in the
//                                     directory of h8sim's own executable
//
// The serve loop owns the signal flags (the one place with process-wide state: signal handlers
// need it): SIGUSR1 resets the board, SIGUSR2 is the abort switch.
#pragma once

#include <string>

#include "common/output.h"
#include "sim/options.h"

namespace h8 {

int runSimulator(const SimOptions& options, Output& out, Output& err);
std::string debuggerPath(const SimOptions& options);

}  // namespace h8

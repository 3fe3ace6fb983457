// `h8sim exec`: runs a program on the simulated board without a debugger.
//
//   runExec(args, out, err)   args after "exec": [--limit N] [--stats] [--clock HZ] FILE.ABS.
//                             Loads the file into the flash, starts at the user flash with the
//                             monitor's stack, SCI3 output to `out`, standard input to SCI3.
//                             Returns the exit status (EXEC_* below, or R0L after SLEEP).
#pragma once

#include <string>
#include <vector>

#include "common/output.h"

namespace h8 {

constexpr int EXEC_BAD_USE = 2;            // a bad command line or a file that does not load
constexpr int EXEC_LIMIT = 124;            // --limit instructions ran
constexpr int EXEC_UNDEFINED = 125;        // an encoding the CPU does not define
constexpr int EXEC_ADDRESS_ERROR = 126;    // an instruction fetch from I/O or unmapped memory
constexpr int EXEC_TRAP = 127;             // TRAPA #0..#3
constexpr int EXEC_OTHER_EXCEPTION = 128;  // an interrupt the program enabled, or the break

int runExec(const std::vector<std::string>& args, Output& out, Output& err);

}  // namespace h8

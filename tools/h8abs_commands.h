// The h8abs program: SYSROF file tools behind one command table.
//
//   runH8abs(argc, argv, out, err)  run the command line; the result is the exit status:
//                                   0 done, 1 the file could not be read or ended abnormally,
//                                   2 a usage error (usage or a one-line error on `err`)
//   printH8absUsage(o)              the usage text, built from the command table
//
// A new subcommand is one row of the table in h8abs_commands.cpp and one handler.
#pragma once

#include "common/output.h"

namespace h8 {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

struct AbsCommand {
  const char* name;
  const char* arguments;  // as shown in the usage text
  const char* summary;
  // argv[0] is the subcommand's name; argc counts it.
  int (*run)(int argc, char** argv, Output& out, Output& err);
};

int runH8abs(int argc, char** argv, Output& out, Output& err);
void printH8absUsage(Output& o);

}  // namespace h8

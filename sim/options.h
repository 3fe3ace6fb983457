// h8sim's command line.
//
//   parseOptions(args, options, error)   false with a one-line message for a bad command line
//   printUsage(out)                      the --help text
//
//   h8sim [serve] [options]                  serve the board until SIGINT/SIGTERM
//   h8sim run [options] [-- h8dbg options]   serve it to an h8dbg started on this terminal
#pragma once

#include <string>
#include <vector>

#include "common/output.h"
#include "sim/faults.h"
#include "sim/monitor_server.h"

namespace h8 {

enum class SimMode { SERVE, RUN };

struct SimOptions {
  SimMode mode = SimMode::SERVE;
  std::string link;       // --link: symlink to the pty slave
  long baud = 0;          // --baud: line pacing in bit/s, 0 unpaced
  double clockHz = 16e6;  // --clock: the CPU clock
  std::string flash;      // --flash: flash image file
  std::string load;       // --load: SYSROF file programmed at start
  std::string h8dbg;      // --h8dbg: the debugger for `run` (default: beside h8sim)
  std::vector<FaultRule> faults;  // --fault: replies the board gets wrong on purpose
  FlashTimes flashTimes;          // --flash-time: erase and programming take the part's time
  bool verbose = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> debuggerArgs;  // after "--" in run mode
};

bool parseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);
void printUsage(Output& out);

}  // namespace h8

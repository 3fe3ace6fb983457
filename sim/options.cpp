#include "sim/options.h"

#include <cerrno>
#include <cstdlib>

#include "common/target.h"
#include "sim/monitor_server.h"

namespace h8 {

namespace {

constexpr long BAUD_MAX = 4000000;

struct ValueOption {
  const char* name;
  std::string SimOptions::*field;
};

constexpr ValueOption VALUE_OPTIONS[] = {
    {"--link", &SimOptions::link},
    {"--flash", &SimOptions::flash},
    {"--load", &SimOptions::load},
    {"--h8dbg", &SimOptions::h8dbg},
};

bool parseBaud(const std::string& text, long& baud) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < 1 || v > BAUD_MAX) return false;
  baud = v;
  return true;
}

}  // namespace

bool parseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error) {
  size_t i = 0;
  if (i < args.size() && (args[i] == "serve" || args[i] == "run")) {
    options.mode = args[i] == "run" ? SimMode::RUN : SimMode::SERVE;
    i++;
  }
  for (; i < args.size(); i++) {
    std::string arg = args[i];
    if (arg == "--") {
      if (options.mode != SimMode::RUN && i + 1 < args.size()) {
        error = "debugger options after -- need the run command";
        return false;
      }
      options.debuggerArgs.assign(args.begin() + long(i) + 1, args.end());
      return true;
    }
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    if (arg == "--version") {
      options.version = true;
      continue;
    }
    if (arg == "--verbose" || arg == "-v") {
      options.verbose = true;
      continue;
    }
    // --name VALUE or --name=VALUE
    std::string name = arg, value;
    bool inlineValue = false;
    size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      inlineValue = true;
    }
    bool known =
        name == "--baud" || name == "--clock" || name == "--fault" || name == "--flash-time";
    for (const ValueOption& v : VALUE_OPTIONS) known = known || name == v.name;
    if (!known) {
      error = "unknown option " + arg;
      return false;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) {
        error = "option " + name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (name == "--baud") {
      if (!parseBaud(value, options.baud)) {
        error = "bad line speed " + value + " (1 to 4000000 bit/s)";
        return false;
      }
      continue;
    }
    if (name == "--flash-time") {
      if (value == "typical") {
        options.flashTimes = FLASH_TIMES_TYPICAL;
      } else if (value == "max") {
        options.flashTimes = FLASH_TIMES_MAX;
      } else if (value == "none") {
        options.flashTimes = FlashTimes{};
      } else {
        error = "bad flash time " + value + " (typical, max or none)";
        return false;
      }
      continue;
    }
    if (name == "--fault") {
      FaultRule rule;
      if (!parseFault(value, rule, error)) return false;
      options.faults.push_back(rule);
      continue;
    }
    if (name == "--clock") {
      char* end = nullptr;
      options.clockHz = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !(options.clockHz >= 1e3 && options.clockHz <= 1e9)) {
        error = "bad clock " + value + " (1000 to 1000000000 Hz)";
        return false;
      }
      continue;
    }
    if (value.empty()) {
      error = "option " + name + " needs a value";
      return false;
    }
    for (const ValueOption& v : VALUE_OPTIONS) {
      if (name == v.name) options.*v.field = value;
    }
  }
  return true;
}

void printUsage(Output& out) {
  out.puts(
      "usage: h8sim [serve] [options]\n"
      "       h8sim run [options] [-- h8dbg options...]\n"
      "       h8sim exec [--limit N] [--stats] [--clock HZ] FILE.ABS\n"
      "\n"
      "A simulated H8/3664 board whose monitor answers h8dbg on a pseudo-terminal and whose\n"
      "H8/300H CPU runs the user program.\n"
      "\n"
      "  serve            (default) create the board, print \"h8sim: board on /dev/pts/N\"\n"
      "                   and serve it until SIGINT or SIGTERM\n"
      "  run              create the board and start h8dbg -c <pty> [h8dbg options] on this\n"
      "                   terminal; exit with h8dbg's status when it ends\n"
      "  exec             run FILE.ABS without a debugger: SCI3 output to stdout, stdin to\n"
      "                   SCI3, exit status R0L at SLEEP (124 past --limit, 125 and up for\n"
      "                   an exception); --stats adds instructions, states and times\n"
      "\n"
      "options:\n"
      "  --link PATH      also place a symbolic link to the pty at PATH (removed at exit)\n"
      "  --baud N         pace the line at N bit/s, 10 bits a byte, both ways (default:\n"
      "                   unpaced)\n"
      "  --flash FILE     keep the 32 KiB flash image in FILE: read at start when it exists,\n"
      "                   written after every erase and program and at exit\n"
      "  --flash-time typical|max|none\n"
      "                   erasing the user area and programming 128 bytes take the real\n"
      "                   part's typical (100 ms, 7 ms) or longest (1.2 s, 200 ms) time\n"
      "                   before the reply goes out (default: none, at once)\n"
      "  --load FILE.ABS  download a SYSROF program into the user flash at start\n"
      "  --h8dbg PATH     the debugger that run starts (default: h8dbg beside h8sim)\n"
      "  --clock HZ       the CPU clock the peripherals and the times count in (default\n"
      "                   16000000)\n"
      "  --fault KIND[@REQUEST][:N]\n"
      "                   get the N-th reply (default the first) to REQUEST (a name such as\n"
      "                   MEM_READ, or a code; default any request) wrong on purpose; may be\n"
      "                   given again. KIND: silence (not sent), restart (RESTART instead),\n"
      "                   wrongcode, badsum, badetx, ng (a refusal), short (one payload byte\n"
      "                   less), count0, count30, garbage (noise before it), reset (the board\n"
      "                   resets instead), vanish (the line goes away), misprogram (the\n"
      "                   block just programmed keeps a wrong bit; reply as usual)\n"
      "  --verbose, -v    log every request and reply, port writes and each run's\n"
      "                   instructions and time on stderr\n"
      "  --version        print h8sim's version\n"
      "  --help, -h       this text\n"
      "\n"
      "signals:\n"
      "  SIGUSR1          reset switch: registers to their reset values, breakpoint cleared,\n"
      "                   a running program dropped; RESTART is sent once a host has spoken\n"
      "  SIGUSR2          abort switch: a running program stops with stop code 7\n"
      "  SIGINT, SIGTERM  end serve mode cleanly (exit status 0); in run mode SIGTERM and\n"
      "                   SIGHUP are passed on to h8dbg and Ctrl-C is left to h8dbg\n"
      "\n");
  out.printf(
      "board:\n"
      "  monitor version %d.%d build %d; flash programming RAM %X size %X, user data area\n"
      "  %X size %X; flash %04X-%04X (%04X-%04X the monitor's, read-only), I/O %04X-%04X\n"
      "  and %04X-%04X, RAM %04X-%04X. After reset ER0-ER6 = 0, SP = %X, PC = %X,\n"
      "  CCR = %X. GO runs the program until it stops: Break (%d) after the instruction at\n"
      "  the breakpoint, SLEEP (%d), TRAPA, an enabled interrupt, or %d/%d for an undefined\n"
      "  instruction or a fetch outside memory.\n",
      MONITOR_VERSION[0], MONITOR_VERSION[1], MONITOR_VERSION[2], FLASH_PROG_AREA_START,
      FLASH_PROG_AREA_SIZE, USER_DATA_AREA_START, USER_DATA_AREA_SIZE, FLASH_START, FLASH_END - 1,
      FLASH_START, USER_FLASH_START - 1, IO_LOW_START, IO_LOW_END - 1, IO_HIGH_START,
      IO_HIGH_END - 1, RAM_START, RAM_END - 1, RESET_SP, USER_FLASH_START, RESET_CCR, STOP_BREAK,
      STOP_SLEEP, STOP_UNDEFINED, STOP_ADDRESS_ERROR);
}

}  // namespace h8

// The debugger session: start-up (options, banner, first contact with the monitor) and the
// command interpreter over the command families. One Debugger is created by main and owns every
// piece of long-lived state; tests build a fresh one over a fake board and keyboard.
//
//   run(argc, argv)   the whole program: options, banner, port open, map file, version probe
//                     and request, areas, command loop until Q, port close. Returns STATUS_DONE,
//                     or STATUS_FAILED when the port could not be opened. --help, --version
//                     and -l print and end at once.
//   runBatch()        batch mode (-b) in place of the command loop: the -e commands, then the
//                     -x file's lines, or standard input when neither was given; each echoed
//                     after a prompt. Blank lines and lines starting with '#' are skipped. The
//                     first command that fails (a negative status, a failed exchange, an
//                     interrupt) ends it with STATUS_FAILED, a run past -t with STATUS_RUN_LIMIT.
//   parseOptions      -m, -c, -s and the usage text; -b -e -x -t -v -V -l --help --version
//   startUp()         banner through the closing asterisks; false when the port did not open
//                     (the system's reason follows the failure line); a speed the port did not
//                     take is named with the one in use
//   commandLoop()     prompt, wait, run commands until Q or the end of console input
//   execute(line)     one command line as typed (empty = the repeat line); false after Q
//
// The interpreter splits the line, looks the first word up in the command table, runs the row's
// handler with the argument words and sets the repeat line by the row's rule.
#pragma once

#include <cstdint>
#include <string>
#include <memory>
#include <vector>

#include "console/commands.h"
#include "console/console.h"

namespace h8 {

constexpr int MAX_NAME = 99;           // port and map-file names
constexpr int MAX_COMMAND_LINE = 127;  // typed command lines

// Exit statuses.
constexpr int STATUS_DONE = 0;
constexpr int STATUS_FAILED = 1;     // a command, the port or an option failed
constexpr int STATUS_RUN_LIMIT = 2;  // batch mode: a run outlasted -t

class Debugger {
 public:
  Debugger(SerialPort& port, Keyboard& keyboard, Output& out);

  int run(int argc, char** argv);
  void parseOptions(int argc, char** argv);
  bool startUp();
  void commandLoop();
  bool execute(std::string line);

  Console console;
  MemoryCommands memory{console};
  ListingCommands listing{console};
  RegisterCommands registers{console, listing};
  RunCommands running{console, registers};
  FlashCommands flash{console};

  // Batch mode and the other command-line extensions; none changes a session without them.
  int runBatch();
  int runBatchLine(std::string line);
  void printHelp();
  bool startTrace();

  std::string portName = "com1";
  long speed = 19200;
  std::string mapFile;
  bool batch = false;                      // -b
  std::vector<std::string> batchCommands;  // -e, in order
  std::string commandFile;                 // -x
  long runLimit = 0;                       // -t, seconds; 0 none
  bool showHelp = false, showVersion = false;
  bool listPorts = false;                  // -l
  bool tracing = false;                    // -v
  std::string traceFile;                   // -v FILE; standard error without one
  std::unique_ptr<Output> traceOut;
  std::unique_ptr<LineTrace> trace;
  bool optionError = false;  // an option was refused (batch mode then fails)
  int lastStatus = 0;        // what the last command returned
  uint32_t progStart = 0, progSize = 0;
  uint32_t userStart = 0, userSize = 0;

  std::string repeatLine;
  bool quit = false;
};

}  // namespace h8

// The debugger session: start-up (options, banner, first contact with the monitor), the command
// interpreter and the console commands. One Debugger is created by main and owns every piece of
// long-lived state; tests build a fresh one over a fake board and keyboard.
//
//   run(argc, argv)   the whole program: options, banner, port open, map file, version probe
//                     and request, areas, command loop until Q, port close. Returns 0.
//   parseOptions      -m, -c, -s and the usage text
//   startUp()         banner through the closing asterisks; false when the port did not open
//   commandLoop()     prompt, wait, run commands until Q or the end of console input
//   execute(line)     one command line as typed (empty = the repeat line); false after Q
//
// Command handlers return 0 when done and a negative status after a reported error; the
// interpreter uses the status only to choose the next repeat line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/output.h"
#include "console/keyboard.h"
#include "expr/expr.h"
#include "expr/symbols.h"
#include "link/link.h"
#include "link/monitor.h"
#include "link/serial.h"
#include "load/flash.h"

namespace h8 {

constexpr int MAX_NAME = 99;           // port and map-file names
constexpr int MAX_COMMAND_LINE = 127;  // typed command lines
constexpr int MAX_WRITE_LINE = 255;    // lines of the interactive write

class Debugger;
using CommandHandler = int (Debugger::*)(int argc, const char* word1, const char* word2);

enum class RepeatRule {
  Keep,       // the repeat line stays as it was
  Clear,      // empty
  NameIfOk,   // the command's own name after status 0, else empty
  Fixed,      // the row's text, whatever the status
  FixedIfOk,  // the row's text after status 0, else empty
  ByHandler,  // the handler sets it itself
};

struct Command {
  int code;
  const char* name;
  CommandHandler handler;
  RepeatRule repeat;
  const char* repeatText;
};

constexpr int CMD_NONE = 18;

// Splits a line into words at blanks, commas, tabs and newlines; no word is ever empty.
std::vector<std::string> splitWords(const std::string& line);

class Debugger {
 public:
  Debugger(SerialPort& port, Keyboard& keyboard, Output& out);
  ~Debugger();

  int run(int argc, char** argv);
  void parseOptions(int argc, char** argv);
  bool startUp();
  void commandLoop();
  bool execute(std::string line);

  // Reads one line the way the command prompt does: board bytes are echoed and an unasked
  // frame re-reads the version while no key is waiting. False at the end of console input.
  bool waitLine(std::string& line, const std::string& prompt);

  // The commands.
  int dumpByte(int argc, const char* w1, const char* w2) { return dumpCommand(argc, w1, w2, 1); }
  int dumpWord(int argc, const char* w1, const char* w2) { return dumpCommand(argc, w1, w2, 2); }
  int dumpLong(int argc, const char* w1, const char* w2) { return dumpCommand(argc, w1, w2, 4); }
  int writeByte(int argc, const char* w1, const char* w2) { return writeCommand(argc, w1, w2, 1); }
  int writeWord(int argc, const char* w1, const char* w2) { return writeCommand(argc, w1, w2, 2); }
  int writeLong(int argc, const char* w1, const char* w2) { return writeCommand(argc, w1, w2, 4); }
  int disassembleCommand(int argc, const char* w1, const char* w2);
  int registerCommand(int argc, const char* w1, const char* w2);
  int goCommand(int argc, const char* w1, const char* w2);
  int stepCommand(int argc, const char* w1, const char* w2);
  int breakSetCommand(int argc, const char* w1, const char* w2);
  int breakClearCommand(int argc, const char* w1, const char* w2);
  int flashEraseCommand(int argc, const char* w1, const char* w2);
  int flashWriteCommand(int argc, const char* w1, const char* w2);
  int loadCommand(int argc, const char* w1, const char* w2);
  int quitCommand(int argc, const char* w1, const char* w2);
  int userFlagCommand(int argc, const char* w1, const char* w2);
  int helpCommand(int argc, const char* w1, const char* w2);
  int unknownCommand(int argc, const char* w1, const char* w2);

  // Evaluates an argument word into `value`; when it does not evaluate, prints `error` (a
  // format taking the word) and leaves `value` as it was.
  bool evalArgument(const char* word, const char* error, uint32_t& value);

  int dumpCommand(int argc, const char* address, const char* size, int unit);
  int writeCommand(int argc, const char* address, const char* data, int unit);
  void dumpMem(uint32_t address, uint32_t count, int unit);
  uint32_t writeMemSingle(uint32_t address, uint32_t value, int unit);
  uint32_t interactiveWrite(uint32_t address, int unit);

  void showRegisters();
  static void ccrFlags(uint32_t value, char* text);
  void showRegister(std::string name);
  void setRegister(std::string name, uint32_t value);
  uint32_t listAt(uint32_t address);

  int runAndWait();
  int runUserProgram();

  // Long-lived state (public so that tests can look at it).
  SerialPort& port;
  Keyboard& keyboard;
  Output& out;
  Link link;
  Monitor monitor;
  SymbolTable symbols;
  Evaluator evaluator;
  std::unique_ptr<FlashState> flash;

  std::string portName = "com1";
  long speed = 19200;
  std::string mapFile;

  int version[3] = {0, 0, 0};
  uint32_t progStart = 0, progSize = 0;
  uint32_t userStart = 0, userSize = 0;

  std::string repeatLine;
  bool quit = false;
  bool lossReported = false;  // a lost serial line is reported once

  uint32_t dumpAddress = 0;
  uint32_t dumpSize = 16;
  uint32_t writeAddress = 0;
  uint32_t daAddress = 0;
  uint32_t daCount = 10;
  bool breakSet = false;
  uint32_t breakAddress = 0;
};

extern const Command commandTable[];
extern const int commandTableSize;

}  // namespace h8

// What every command family shares: the console (output and keyboard), the link to the board's
// monitor, the symbol table and the expression evaluator, and the line input of the prompt.
//
//   waitLine(line, prompt)   read one line the way the command prompt does: board bytes are
//                            echoed and an unasked frame (the monitor restarted) re-reads the
//                            version while no key is waiting. False at the end of console input.
//   evalArgument(w, e, v)    evaluate an argument word into v; when it does not evaluate, print
//                            the format e (taking the word) and leave v as it was
//
// Owns the user's interrupt of a wait, the link, the monitor requests, the symbols and the evaluator for the whole session, and
// the monitor version the prompt refreshes after a restart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/output.h"
#include "console/keyboard.h"
#include "expr/expr.h"
#include "expr/symbols.h"
#include "link/link.h"
#include "link/monitor.h"
#include "link/serial.h"

namespace h8 {

// A command's argument words (the words after the command word, at most two).
using Words = std::vector<std::string>;

class Console {
 public:
  Console(SerialPort& port, Keyboard& keyboard, Output& out);

  bool waitLine(std::string& line, const std::string& prompt);
  bool evalArgument(const std::string& word, const char* error, uint32_t& value);

  SerialPort& port;
  Keyboard& keyboard;
  Output& out;
  WaitInterrupt interrupt;  // armed while a command runs; the link's waits watch it
  Link link;
  Monitor monitor;
  SymbolTable symbols;
  Evaluator evaluator;
  int version[3] = {0, 0, 0};  // major, minor, build of the monitor
  bool batch = false;          // commands from options or a file: no keys reach a program

 private:
  bool lossReported_ = false;  // a lost serial line is reported once
};

// Splits a line into words at blanks, commas, tabs and newlines; no word is ever empty.
std::vector<std::string> splitWords(const std::string& line);

}  // namespace h8

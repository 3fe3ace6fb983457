// Expression evaluator for command arguments: decimal and hexadecimal numbers, map-file
// symbols, @registers read from the target, + - * / with parentheses, and the functions
// memB, memW, memL and near.
//
//   evalExpression(text)  the 32-bit value; 0xFFFFFFFF when `exprError` is set (test the flag,
//                         never the value)
//   exprError             set by every error of the last evaluation, cleared at its start
//
// Numbers are unsigned 32-bit: hexadecimal up to FFFFFFFF is its value, and a literal of either
// base that does not fit in 32 bits sets exprError. Beyond the basic rules, exprError is also
// set by: division by zero, a token longer than 63 characters (the rest of the run is consumed),
// near() of a value below every symbol, a failed memory read in memB/memW/memL, and nesting
// deeper than MAX_DEPTH sums (parentheses or function arguments; the rest of the text is then
// not read).
//
// Owns the tokenizer and look-ahead state of one evaluation; reads registers and memory through
// the Monitor and names through the SymbolTable.
#pragma once

#include <cstdint>
#include <string>

#include "common/output.h"
#include "expr/symbols.h"
#include "link/monitor.h"

namespace h8 {

enum TokenKind {
  TK_ERROR = -1,
  TK_NONE = 0,
  TK_END = 1,
  TK_MUL = 2,
  TK_DIV = 3,
  TK_ADD = 4,
  TK_SUB = 5,
  TK_LPAREN = 6,
  TK_RPAREN = 7,
  TK_DECIMAL = 8,
  TK_HEX = 9,
  TK_IDENT = 10,
  TK_REGISTER = 11,
};

class Evaluator {
 public:
  Evaluator(Monitor& monitor, const SymbolTable& symbols, Output& out)
      : monitor_(monitor), symbols_(symbols), out_(out) {}

  uint32_t evalExpression(const char* text);
  bool exprError = false;

  static constexpr int MAX_TOKEN = 63;
  static constexpr int MAX_DEPTH = 256;

  // Implementation state and helpers are private; see expr.cpp.
 private:
  int nextToken(char* text);
  void pushBackToken(int kind, const char* text);
  int scanToken(char* text);
  uint32_t parseSum();
  uint32_t parseProduct();
  uint32_t parsePrimary();
  uint32_t number(const char* text, int base);
  uint32_t callFunction(int function, const char* name);  // index into the function table

  Monitor& monitor_;
  const SymbolTable& symbols_;
  Output& out_;

  const char* input_ = "";
  int lastKind_ = TK_NONE;  // TK_END and TK_ERROR are sticky
  bool pushed_ = false;
  int pushedKind_ = TK_NONE;
  char pushedText_[MAX_TOKEN + 1] = {};
  int depth_ = 0;
};

}  // namespace h8

// Drives the expression evaluator on the whole input as one expression (up to its first zero
// byte), twice: with a board that answers every memory and register read (memB, memW, memL,
// @registers) and with a lost line, over a small fixed symbol table (names, near()).
#include <cstddef>
#include <cstdint>
#include <string>

#include "expr/expr.h"
#include "fuzz_support.h"
#include "link/monitor.h"

namespace {

const h8::SymbolTable& symbols() {
  static h8::SymbolTable* table = [] {
    auto* t = new h8::SymbolTable;
    t->addSymbol("_start", 0x1000);
    t->addSymbol("_main", 0x10F8);
    t->addSymbol("_etext", 0x138C);
    t->addSymbol("_counter", 0xF780);
    t->addSymbol("buffer", 0xFC00);
    t->addSymbol("high", 0xFFFFFFF0);
    return t;
  }();
  return *table;
}

void evaluate(const std::string& text, bool lostLine) {
  static const uint8_t memory[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  h8fuzz::AnsweringPort port(memory, sizeof memory, 0xFC00, lostLine);
  h8::NullOutput out;
  h8::Link link(port, out);
  h8::Monitor monitor(link);
  h8::Evaluator evaluator(monitor, symbols(), out);
  uint32_t value = evaluator.evalExpression(text.c_str());
  // A failed evaluation always gives 0xFFFFFFFF.
  if (evaluator.exprError && value != 0xFFFFFFFF) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  evaluate(text, false);
  evaluate(text, true);
  return 0;
}

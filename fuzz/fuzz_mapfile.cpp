// Drives the symbol table's loader (SymbolTable::loadSymbols, as -m uses it) on the whole input
// as a map file (a COFF or ELF file too, when the input begins like one), written to one
// temporary file per process and rewritten each run; then looks up names and addresses, some
// taken from the input's first bytes, and adds a symbol to the loaded table.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/bigendian.h"
#include "expr/symbols.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static h8fuzz::TempFile file("map");
  h8::NullOutput out;
  auto symbols = std::make_unique<h8::SymbolTable>();
  symbols->loadSymbols(file.write(data, size), out);

  const uint32_t probe = size >= 4 ? h8::load32(data) : 0x1000;
  const uint32_t addresses[] = {0, 0x1000, 0xF780, 0xFFFFFFFF, probe};
  for (uint32_t a : addresses) {
    uint32_t found = 0;
    const char* name = symbols->nearestSymbol(a, &found);
    if (name != nullptr) {
      // The nearest symbol lies at or below the address and is known by its name.
      if (found > a || symbols->symbolExists(name) != 1) __builtin_trap();
    }
    symbols->symbolNameAt(a);
  }
  const char* names[] = {"_main", "_start", "", "__"};
  for (const char* name : names) symbols->symbolAddress(name);
  symbols->addSymbol("_fuzz", probe);
  symbols->listSymbols(out);
  return 0;
}

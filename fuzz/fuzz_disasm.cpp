// Drives the disassembler on the input as H8/300H code at 0x1000 (its first 16 bytes: the
// decoder's linear table search is most of the cost, and short inputs keep runs fast): the
// decoder and operand formatting (disassembleOne) at every byte offset, with the ten bytes from
// there (zeros past the end), and the listing lines (listInstruction) as DA lists them, from the
// first byte and from the second, reading the same bytes from a board that answers MEM_READ
// from them (a fixed pattern past the end). A few symbols sit among the addresses so that labels
// and referenced names are shown.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "disasm/listing.h"
#include "fuzz_support.h"
#include "link/monitor.h"

namespace {

constexpr uint32_t BASE = 0x1000;
constexpr size_t MAX_CODE = 16;

const h8::SymbolTable& symbols() {
  static h8::SymbolTable* table = [] {
    auto* t = new h8::SymbolTable;
    t->addSymbol("_start", BASE);
    t->addSymbol("_loop", BASE + 0x10);
    t->addSymbol("_far", BASE + 0x100);
    t->addSymbol("_ram", 0xF780);
    t->addSymbol("_io", 0xFFAB);
    t->addSymbol("_zero", 0);
    return t;
  }();
  return *table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size = std::min(size, MAX_CODE);
  for (size_t offset = 0; offset < size; offset++) {
    uint8_t bytes[h8::INSTRUCTION_BYTES] = {};
    memcpy(bytes, data + offset, std::min(size - offset, size_t(h8::INSTRUCTION_BYTES)));
    const uint32_t address = BASE + uint32_t(offset);
    uint32_t next = 0;
    h8::disassembleOne(address, bytes, symbols(), &next);
    // One to five words.
    if (next < address + 2 || next > address + 10 || (next - address) % 2 != 0) __builtin_trap();
  }

  h8fuzz::AnsweringPort port(data, size, BASE, false);
  h8::NullOutput out;
  h8::Link link(port, out);
  h8::Monitor monitor(link);
  for (uint32_t start = 0; start < 2 && start < size; start++) {
    for (uint32_t address = BASE + start; address < BASE + size;) {
      address = h8::listInstruction(monitor, symbols(), out, address);
    }
  }
  return 0;
}

// Operand formatting, one instruction's text and the listing line.
//
//   formatOperands(format, bytes, next, &ref, &referenced)
//                          expand an operand template; `ref` gets the last 16/24/32-bit value or
//                          branch target shown (0 when none; `referenced` then false). PC-relative
//                          operands count from `next`, the following instruction's address
//   disassembleOne(address, bytes, symbols, &next)
//                          "%-8s%-24s" (or "%-8s%-24s;%s" with the referenced symbol), or "???"
//                          when nothing matches; `next` gets the following instruction's address
//   listInstruction(monitor, symbols, out, address)
//                          read 10 bytes with one readMem, print the label line (if a symbol sits
//                          at `address`) and the listing line; returns the next address. A failed
//                          read has printed its message and the line shows zero bytes.
//
// Template language: %I2dN %I3dN (2/3 low bits of a nibble, "%04X"), %I8d/%IBd ("%02X"), %IWd,
// %ITd, %ILd/%IQd (16/24/32-bit values), %P8d/%PBd, %PWd (8/16-bit displacements shown as the
// "%08X" target), %RBdN %RWdN %RLdN (register names). d is a byte index 0-9; N is 'H' for the
// high nibble, anything else for the low one. Malformed directives are copied as they stand;
// bytes past the tenth read as 0.
#pragma once

#include <cstdint>
#include <string>

#include "disasm/decoder.h"
#include "expr/symbols.h"
#include "link/monitor.h"

namespace h8 {

std::string formatOperands(const char* format, const uint8_t bytes[INSTRUCTION_BYTES],
                           uint32_t nextAddress, uint32_t* reference, bool* referenced = nullptr);

std::string disassembleOne(uint32_t address, const uint8_t bytes[INSTRUCTION_BYTES],
                           const SymbolTable& symbols, uint32_t* next);

uint32_t listInstruction(Monitor& monitor, const SymbolTable& symbols, Output& out,
                         uint32_t address);

}  // namespace h8

// Table-driven H8/300H instruction decoder.
//
//   instructionTable          268 ordered patterns plus a terminator whose mask[0] is 0; the
//                             first entry that matches wins, so the order is part of the meaning
//   findInstruction(bytes)    first entry matching bytes 0..5 taken as three big-endian words,
//                             or nullptr when none does
//   nextAddress(addr, entry)  where the following instruction starts: addr + 2 * length, or
//                             addr + 2 when no entry matched (the word is shown as "???")
//
// Stateless; works on the 10 bytes (the longest instruction) that the caller read.
#pragma once

#include <cstdint>

namespace h8 {

struct Instruction {
  uint16_t mask[3];   // a 0 in place 2 or 3 ends the comparison there
  uint16_t value[3];  // required values of the masked bits
  uint16_t length;    // in 16-bit words, 1 to 5
  const char* mnemonic;
  const char* format;  // operand template (see listing.h), may be empty
};

inline constexpr int INSTRUCTION_COUNT = 268;
inline constexpr int INSTRUCTION_BYTES = 10;

extern const Instruction instructionTable[];

const Instruction* findInstruction(const uint8_t bytes[INSTRUCTION_BYTES]);

inline uint32_t nextAddress(uint32_t address, const Instruction* entry) {
  return address + 2u * (entry ? entry->length : 1u);
}

}  // namespace h8

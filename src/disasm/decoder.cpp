#include "disasm/decoder.h"

#include "common/bigendian.h"

namespace h8 {

const Instruction* findInstruction(const uint8_t bytes[INSTRUCTION_BYTES]) {
  const uint32_t words[3] = {load16(bytes), load16(bytes + 2), load16(bytes + 4)};
  for (const Instruction* entry = instructionTable; entry->mask[0] != 0; ++entry) {
    bool match = true;
    for (int j = 0; j < 3 && match; ++j) {
      if (j > 0 && entry->mask[j] == 0) break;
      match = (words[j] & entry->mask[j]) == entry->value[j];
    }
    if (match) return entry;
  }
  return nullptr;
}

}  // namespace h8

#include "sim/core.h"

#include "common/target.h"
#include "disasm/decoder.h"

namespace h8 {

uint32_t instructionLength(const Board& board, uint32_t address) {
  uint8_t bytes[INSTRUCTION_BYTES];
  for (int i = 0; i < INSTRUCTION_BYTES; i++) bytes[i] = board.read(address + uint32_t(i));
  return nextAddress(address, findInstruction(bytes)) - address;
}

int PlaceholderCore::run(Board& board, uint32_t budget) {
  (void)budget;
  if (!board.breakpointSet) return STOP_SLEEP;
  uint32_t pc = board.reg(REG_PC);
  if (board.breakpoint == pc) {
    board.setReg(REG_PC, pc + instructionLength(board, pc));
  } else {
    board.setReg(REG_PC, board.breakpoint);
  }
  return STOP_BREAK;
}

}  // namespace h8

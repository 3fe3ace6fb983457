#include "sim/h8core.h"

namespace h8 {

void H8Core::start(Board& board) {
  for (int i = 0; i < 8; i++) cpu.regs.er[i] = board.reg(i);
  cpu.regs.pc = board.reg(REG_PC);
  cpu.regs.ccr = uint8_t(board.reg(REG_CCR));
  cpu.breakSet = board.breakpointSet;
  cpu.breakAddress = uint16_t(board.breakpoint);
  board.startRun(cpu.states);
}

int H8Core::run(Board& board, uint32_t budget) {
  int stop = cpu.run(budget);
  for (int i = 0; i < 8; i++) board.setReg(i, cpu.regs.er[i]);
  board.setReg(REG_PC, cpu.regs.pc);
  board.setReg(REG_CCR, cpu.regs.ccr);
  return stop;
}

}  // namespace h8

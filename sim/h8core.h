// The H8/300H core behind the board's CpuCore seam.
//
//   start(board)          the program's registers and the monitor's breakpoint go to the CPU
//   run(board, budget)    the CPU runs at most `budget` instructions; its registers go back to
//                         the board; RUN_CONTINUES or the stop code
//   cpu                   the core itself (instruction and state counts)
#pragma once

#include "sim/board.h"
#include "sim/core.h"
#include "sim/cpu/cpu.h"

namespace h8 {

class H8Core : public CpuCore {
 public:
  explicit H8Core(Board& board) : cpu(board) {}

  void start(Board& board) override;
  int run(Board& board, uint32_t budget) override;

  H8Cpu cpu;
};

}  // namespace h8

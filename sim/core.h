// The seam where a CPU core plugs into the simulated board.
//
//   start(board)          the monitor hands control to the user program (GO) at the board's PC
//   run(board, budget)    execute at most `budget` instructions; RUN_CONTINUES when the budget
//                         ran out with the program still running, or the stop code (the
//                         exception vector: 12 breakpoint, 13 SLEEP, 8..11 TRAP, ...)
//
// The monitor server calls run() in slices while the program runs, so that the line, the abort
// switch and a reset are served between slices. A core reads and writes memory and registers
// through the Board, takes keys from board.sciInput and queues the program's SCI3 output in
// board.sciOutput; the server sends that output as text on the line.
//
// PlaceholderCore stands in until a real core exists. It stops at once:
//   breakpoint at the PC   PC advances by one instruction (decoded length), stop code 12
//   breakpoint elsewhere   PC := the breakpoint, stop code 12
//   no breakpoint          stop code 13 (SLEEP), PC unchanged
#pragma once

#include <cstdint>

#include "sim/board.h"
#include "sim/cpu/cpu.h"  // RUN_CONTINUES and the stop codes, shared with the CPU core

namespace h8 {

class CpuCore {
 public:
  virtual ~CpuCore() = default;
  virtual void start(Board& board) { (void)board; }
  virtual int run(Board& board, uint32_t budget) = 0;
};

class PlaceholderCore : public CpuCore {
 public:
  int run(Board& board, uint32_t budget) override;
};

// Length in bytes of the instruction at `address` (2 for a word no instruction matches).
uint32_t instructionLength(const Board& board, uint32_t address);

}  // namespace h8

// Why H8Cpu::run() returned: the exception vector number the H8/3664 would take, or a code of
// the core's own. The program is never vectored; the board's monitor owns the vector table.
//
//   RUN_CONTINUES         the instruction budget ran out; the program can run on
//   STOP_UNDEFINED        an encoding the CPU does not define; PC at that instruction
//   STOP_ADDRESS_ERROR    an instruction fetch from an IO or unmapped page; PC at that instruction
//   STOP_NMI              bus.pending bit 7 (the abort switch); PC at the instruction not yet run
//   STOP_TRAPA + n        TRAPA #n; PC after it
//   STOP_ADDRESS_BREAK    the instruction at the break address has run; PC after it
//   STOP_SLEEP            SLEEP; PC after it
//   STOP_IRQ_FIRST..LAST  a maskable interrupt (CCR.I = 0, lowest vector first); PC not yet run
//
// The values match link/requests.h's STOP_ABORT (7) and STOP_BREAK (12), the monitor's codes.
#pragma once

namespace h8 {

constexpr int RUN_CONTINUES = -1;
constexpr int STOP_UNDEFINED = 4;
constexpr int STOP_ADDRESS_ERROR = 5;
constexpr int STOP_NMI = 7;
constexpr int STOP_TRAPA = 8;  // TRAPA #0..#3 give 8..11
constexpr int STOP_ADDRESS_BREAK = 12;
constexpr int STOP_SLEEP = 13;
constexpr int STOP_IRQ_FIRST = 14;
constexpr int STOP_IRQ_LAST = 25;

}  // namespace h8

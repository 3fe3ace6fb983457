// How run() ends beyond one instruction: budget, the address break, NMI and maskable interrupts,
// fetches from pages that hold no code; the bus event; EEPMOV. (TRAPA, SLEEP and undefined
// encodings are rows of cpu_instruction_test.cpp.)
#include <gtest/gtest.h>

#include "fake_cpu_bus.h"

using namespace h8test;

// A fetch from an I/O or unmapped page, also of an extension word that crosses into one.
TEST(CpuStops, FetchFromAPageWithoutCodeIsAnAddressError) {
  for (h8::Region region : {h8::Region::IO, h8::Region::NONE}) {
    Machine m;
    m.bus.regions[0x1080 >> 7] = region;
    m.load(hex("0000"), 0x1080);
    EXPECT_EQ(m.cpu.run(10), h8::STOP_ADDRESS_ERROR);
    EXPECT_EQ(m.cpu.regs.pc, 0x1080u);
    m.load(hex("0000 7900"), 0x107C);  // nop; mov.w #imm,r0 whose imm is on 0x1080
    EXPECT_EQ(m.cpu.run(10), h8::STOP_ADDRESS_ERROR);
    EXPECT_EQ(m.cpu.regs.pc, 0x107Eu);
    EXPECT_EQ(m.cpu.regs.er[0], P);
    EXPECT_EQ(m.cpu.instructions, 1u);
    EXPECT_TRUE(m.bus.io.empty());
  }
}

// The break stops after the instruction at breakAddress: a break at PC is a single step, also
// across a branch.
TEST(CpuStops, AddressBreakStopsAfterTheInstructionAtIt) {
  Machine m;
  m.load(hex("0000 0000 0000 407E"));  // nop, nop, nop, bra .+0x80
  m.put(0x1086, hex("0180"));          // sleep
  m.cpu.breakSet = true;
  for (uint32_t at : {0x1002u, 0x1004u, 0x1006u}) {
    m.cpu.breakAddress = uint16_t(at);
    EXPECT_EQ(m.cpu.run(100), h8::STOP_BREAK);
    EXPECT_EQ(m.cpu.regs.pc, at == 0x1006 ? 0x1086u : at + 2);
  }
  EXPECT_EQ(m.cpu.instructions, 4u);
  m.cpu.breakSet = false;
  EXPECT_EQ(m.cpu.run(100), h8::STOP_SLEEP);
}

// Interrupts stop before the next instruction: NMI whatever CCR.I, maskable ones (lowest
// vector first) only while I is 0, also once the program clears I itself.
TEST(CpuStops, InterruptsStopBeforeTheNextInstruction) {
  Machine m;
  m.load(hex("0000 0000 067F 0000"));  // nop, nop, andc #0x7f,ccr, nop
  m.cpu.regs.ccr = I;
  m.bus.pending = 1u << 20 | 1u << 14;
  EXPECT_EQ(m.cpu.run(1), h8::RUN_CONTINUES);
  EXPECT_EQ(m.cpu.regs.pc, 0x1002u);
  m.bus.pending |= 1u << h8::STOP_ABORT;
  EXPECT_EQ(m.cpu.run(10), h8::STOP_ABORT);
  EXPECT_EQ(m.cpu.regs.pc, 0x1002u);
  m.bus.pending &= ~(1u << h8::STOP_ABORT);
  EXPECT_EQ(m.cpu.run(10), 14);
  EXPECT_EQ(m.cpu.regs.pc, 0x1006u);
  EXPECT_EQ(m.cpu.regs.ccr, 0);
  EXPECT_EQ(m.cpu.instructions, 3u);
}

// A run cut into slices ends exactly where one long run does.
TEST(CpuRun, BudgetSlicesContinueExactly) {
  const Bytes loop = hex("8801 9000 40FA");  // add.b #1,r0l; addx #0,r0h; bra .-4
  Machine whole, sliced;
  whole.load(loop);
  sliced.load(loop);
  EXPECT_EQ(whole.cpu.run(1000), h8::RUN_CONTINUES);
  for (uint64_t budget : {0, 1, 7, 992}) EXPECT_EQ(sliced.cpu.run(budget), h8::RUN_CONTINUES);
  EXPECT_EQ(sliced.cpu.instructions, 1000u);
  EXPECT_EQ(sliced.cpu.states, whole.cpu.states);
  EXPECT_EQ(sliced.cpu.regs.pc, whole.cpu.regs.pc);
  EXPECT_EQ(sliced.cpu.regs.ccr, whole.cpu.regs.ccr);
  EXPECT_EQ(sliced.cpu.regs.er[0], whole.cpu.regs.er[0]);
  EXPECT_EQ(whole.cpu.regs.er[0], 0xA5A5A5A5u + 334);
}

TEST(CpuRun, EventCalledOnceTheStateCounterReachesEventAt) {
  Machine m;
  m.load(hex("0000 0000 0000 0180"));  // nop, nop, nop, sleep
  m.bus.eventAt = 6;
  EXPECT_EQ(m.cpu.run(100), h8::STOP_SLEEP);
  EXPECT_EQ(m.bus.events, std::vector<uint64_t>{6});
  EXPECT_EQ(m.cpu.states, 8u);
}

// EEPMOV.B moves R4L bytes, EEPMOV.W R4 bytes (here 3 and 259), from @ER5+ to @ER6+ in 8 + 4n
// states.
TEST(CpuRun, EepmovMovesTheCountedBytes) {
  for (bool word : {false, true}) {
    const uint32_t n = word ? 259 : 3;
    Machine m;
    m.load(hex(word ? "7BD4 598F" : "7B5C 598F"));
    m.put(0x2000, hex("11223344"));
    m.cpu.regs.er[4] = word ? 0xA5A50103 : 0xA5A5A503;
    m.cpu.regs.er[5] = 0x2000, m.cpu.regs.er[6] = 0x3000;
    EXPECT_EQ(m.cpu.run(1), h8::RUN_CONTINUES);
    EXPECT_EQ(m.get32(0x3000), word ? 0x11223344u : 0x11223300u);
    EXPECT_EQ(m.cpu.regs.er[4], word ? 0xA5A50000 : 0xA5A5A500);
    EXPECT_EQ(m.cpu.regs.er[5], 0x2000 + n);
    EXPECT_EQ(m.cpu.regs.er[6], 0x3000 + n);
    EXPECT_EQ(m.cpu.states, 8 + 4 * n);
    EXPECT_EQ(m.cpu.regs.pc, 0x1004u);
  }
}

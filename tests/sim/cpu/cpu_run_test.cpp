// How run() ends: budget, TRAPA, SLEEP, the address break, NMI and maskable interrupts,
// undefined encodings and fetches from pages that hold no code; the bus event; state counts.
#include <gtest/gtest.h>

#include "fake_cpu_bus.h"

using namespace h8test;

namespace {

const Bytes NOPS = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x80};  // nop, nop, nop, sleep

}  // namespace

TEST(CpuStops, TrapaAndSleepStopAfterTheInstruction) {
  const std::vector<std::pair<Bytes, int>> rows = {{{0x57, 0x00}, 8},
                                                   {{0x57, 0x10}, 9},
                                                   {{0x57, 0x20}, 10},
                                                   {{0x57, 0x30}, 11},               // trapa #n
                                                   {{0x01, 0x80}, h8::STOP_SLEEP}};  // sleep
  for (const auto& [code, stop] : rows) {
    Machine m;
    m.load(code);
    EXPECT_EQ(m.cpu.run(10), stop);
    EXPECT_EQ(m.cpu.regs.pc, 0x1002u);
    EXPECT_EQ(m.cpu.instructions, 1u);
  }
}

// Nothing changes: not the registers, the counters or memory.
TEST(CpuStops, UndefinedEncodingStopsAtIt) {
  const std::vector<Bytes> codes = {{0x00, 0x01},
                                    {0x01, 0x10},
                                    {0x57, 0x40},
                                    {0x0A, 0x18},
                                    {0x7B, 0x5C, 0x59, 0x8E},
                                    {0x01, 0x00, 0x6D, 0x08},
                                    {0x7D, 0x00, 0x73, 0x00},
                                    {0x7A, 0x70, 0, 0, 0, 0}};
  for (const Bytes& code : codes) {
    Machine m;
    m.load(code);
    m.cpu.regs.ccr = 0x0F;
    EXPECT_EQ(m.cpu.run(10), h8::STOP_UNDEFINED);
    EXPECT_EQ(m.cpu.regs.pc, 0x1000u);
    EXPECT_EQ(m.cpu.regs.ccr, 0x0F);
    for (uint32_t r : m.cpu.regs.er) EXPECT_EQ(r, P);
    EXPECT_EQ(m.cpu.instructions, 0u);
    EXPECT_EQ(m.cpu.states, 0u);
  }
}

// A fetch from an I/O or unmapped page, also of an extension word that crosses into one.
TEST(CpuStops, FetchFromAPageWithoutCodeIsAnAddressError) {
  for (h8::Region region : {h8::Region::IO, h8::Region::NONE}) {
    Machine m;
    m.bus.regions[0x1080 >> 7] = region;
    m.load({0x00, 0x00}, 0x1080);
    EXPECT_EQ(m.cpu.run(10), h8::STOP_ADDRESS_ERROR);
    EXPECT_EQ(m.cpu.regs.pc, 0x1080u);
    m.load({0x00, 0x00, 0x79, 0x00}, 0x107C);  // nop; mov.w #imm,r0 whose imm is on 0x1080
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
  m.load(NOPS);
  m.cpu.breakSet = true;
  m.cpu.breakAddress = 0x1002;
  EXPECT_EQ(m.cpu.run(100), h8::STOP_BREAK);
  EXPECT_EQ(m.cpu.regs.pc, 0x1004u);
  EXPECT_EQ(m.cpu.instructions, 2u);
  m.cpu.breakAddress = 0x1004;
  EXPECT_EQ(m.cpu.run(100), h8::STOP_BREAK);
  EXPECT_EQ(m.cpu.regs.pc, 0x1006u);
  m.load({0x40, 0x7E}, 0x1006);  // bra .+0x80
  m.cpu.breakAddress = 0x1006;
  EXPECT_EQ(m.cpu.run(100), h8::STOP_BREAK);
  EXPECT_EQ(m.cpu.regs.pc, 0x1086u);
  m.cpu.breakSet = false;
  m.load({0x01, 0x80}, 0x1086);
  EXPECT_EQ(m.cpu.run(100), h8::STOP_SLEEP);
}

// Interrupts stop before the next instruction: NMI whatever CCR.I, maskable ones (lowest
// vector first) only while I is 0, also once the program clears I itself.
TEST(CpuStops, InterruptsStopBeforeTheNextInstruction) {
  Machine m;
  m.load({0x00, 0x00, 0x00, 0x00, 0x06, 0x7F, 0x00, 0x00});  // nop, nop, andc #0x7F,ccr, nop
  m.cpu.regs.ccr = I;
  m.bus.pending = 1u << 20 | 1u << 16;
  EXPECT_EQ(m.cpu.run(1), h8::RUN_CONTINUES);
  EXPECT_EQ(m.cpu.regs.pc, 0x1002u);
  m.bus.pending |= 1u << h8::STOP_ABORT;
  EXPECT_EQ(m.cpu.run(10), h8::STOP_ABORT);
  EXPECT_EQ(m.cpu.regs.pc, 0x1002u);
  m.bus.pending &= ~(1u << h8::STOP_ABORT);
  EXPECT_EQ(m.cpu.run(10), 16);
  EXPECT_EQ(m.cpu.regs.pc, 0x1006u);
  EXPECT_EQ(m.cpu.regs.ccr, 0);
  EXPECT_EQ(m.cpu.instructions, 3u);
}

// A run cut into slices ends exactly where one long run does.
TEST(CpuRun, BudgetSlicesContinueExactly) {
  const Bytes loop = {0x88, 0x01, 0x90, 0x00, 0x40, 0xFA};  // add.b #1,r0l; addx #0,r0h; bra
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
  m.load(NOPS);
  m.bus.eventAt = 5;
  EXPECT_EQ(m.cpu.run(100), h8::STOP_SLEEP);
  EXPECT_EQ(m.bus.events, std::vector<uint64_t>{6});
  EXPECT_EQ(m.cpu.states, 8u);
}

// States per the manual: 2 per fetch, data access and stack access, 1 per internal state.
// Registers point at 0x2000, R4 = 3 (EEPMOV moves 3 bytes), SP 0xFF00.
TEST(CpuStates, RepresentativeInstructions) {
  // clang-format off
  const std::vector<std::pair<Bytes, uint64_t>> rows = {
    {{0x00, 0x00}, 2},  // nop
    {{0x79, 0x10, 0x00, 0x01}, 4},  // add.w #1,r0
    {{0x7A, 0x10, 0x00, 0x00, 0x00, 0x01}, 6},  // add.l #1,er0
    {{0x68, 0x28}, 4},  // mov.b @er2,r0l
    {{0x6D, 0x20}, 6},  // mov.w @er2+,r0
    {{0x01, 0x00, 0x69, 0x20}, 8},  // mov.l @er2,er0
    {{0x01, 0x00, 0x6F, 0x20, 0x00, 0x10}, 10},  // mov.l @(0x10:16,er2),er0
    {{0x01, 0x00, 0x78, 0x20, 0x6B, 0x20, 0x00, 0x00, 0x00, 0x10}, 14},  // mov.l @(0x10:24,er2),er0
    {{0x28, 0x10}, 4},  // mov.b @0x10:8,r0l
    {{0x01, 0x00, 0x6D, 0xF0}, 10},  // push.l er0
    {{0x40, 0x02}, 4},  // bra .+4
    {{0x58, 0x40, 0x0F, 0xFC}, 6},  // bcc .+0x1000
    {{0x5C, 0x00, 0x0F, 0xFC}, 8},  // bsr .+0x1000
    {{0x5A, 0x00, 0x20, 0x00}, 6},  // jmp @0x2000:24
    {{0x5E, 0x00, 0x20, 0x00}, 8},  // jsr @0x2000:24
    {{0x5B, 0x10}, 8},  // jmp @@0x10:8
    {{0x54, 0x70}, 8},  // rts
    {{0x56, 0x70}, 10},  // rte
    {{0x50, 0x90}, 14},  // mulxu.b r1l,r0
    {{0x01, 0xC0, 0x52, 0x10}, 24},  // mulxs.w r1,er0
    {{0x53, 0x10}, 22},  // divxu.w r1,er0
    {{0x01, 0xD0, 0x51, 0x90}, 16},  // divxs.b r1l,r0
    {{0x7D, 0x20, 0x70, 0x10}, 8},  // bset #1,@er2
    {{0x7C, 0x20, 0x73, 0x10}, 6},  // btst #1,@er2
    {{0x70, 0x18}, 2},  // bset #1,r0l
    {{0x01, 0x40, 0x69, 0x20}, 6},  // ldc @er2,ccr
    {{0x01, 0x40, 0x78, 0x20, 0x6B, 0xA0, 0x00, 0x00, 0x00, 0x10}, 12},  // stc ccr,@(0x10:24,er2)
    {{0x7B, 0x5C, 0x59, 0x8F}, 20},  // eepmov.b
    {{0x7B, 0xD4, 0x59, 0x8F}, 20},  // eepmov.w
  };
  // clang-format on
  for (const auto& [code, states] : rows) {
    Machine m;
    m.load(code);
    std::fill(std::begin(m.cpu.regs.er), std::end(m.cpu.regs.er), 0x2000);
    m.cpu.regs.er[4] = 3;
    m.cpu.regs.er[7] = 0xFF00;
    EXPECT_EQ(m.cpu.run(1), h8::RUN_CONTINUES);
    EXPECT_EQ(m.cpu.states, states) << "first byte " << int(code[0]);
  }
}

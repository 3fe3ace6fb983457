// The core instruction by instruction: each table row runs one instruction at 0x1000 with the
// registers filled with P, and checks the destination, every CCR flag and that nothing else
// changed. Encodings come from h8300-hms-as; expected values from the programming manual.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <set>
#include <string>

#include "disasm/decoder.h"
#include "fake_cpu_bus.h"

using namespace h8test;

namespace {

// One register instruction: ER0 is the destination, ER1 the source; ER2..ER7 hold P.
struct RegRow {
  Bytes code;
  uint8_t ccr;
  uint32_t er0, er1;
  uint8_t ccrOut;
  uint32_t er0Out;
};

void runRegRows(const std::vector<RegRow>& rows) {
  for (size_t i = 0; i < rows.size(); ++i) {
    const RegRow& r = rows[i];
    SCOPED_TRACE(testing::Message() << "row " << i);
    Machine m;
    m.load(r.code);
    m.cpu.regs.er[0] = r.er0;
    m.cpu.regs.er[1] = r.er1;
    m.cpu.regs.ccr = r.ccr;
    EXPECT_EQ(m.cpu.run(1), h8::RUN_CONTINUES);
    EXPECT_EQ(m.cpu.regs.pc, 0x1000 + r.code.size());
    const std::array<uint32_t, 8> want = {r.er0Out, r.er1, P, P, P, P, P, P};
    for (int n = 0; n < 8; ++n) EXPECT_EQ(m.cpu.regs.er[n], want[n]) << "ER" << n;
    EXPECT_EQ(m.cpu.regs.ccr, r.ccrOut);
  }
}

}  // namespace

// clang-format off
TEST(CpuInstruction, AddSubCompareNegateIncrementDecrement) {
  // code, CCR, ER0, ER1 -> CCR, ER0
  runRegRows({
    {{0x08, 0x98}, 0, 0xA5A5A5FF, 0xA5A5A501, H|Z|C, 0xA5A5A500},  // add.b r1l,r0l
    {{0x08, 0x98}, 0, 0xA5A5A57F, 0xA5A5A501, N|V|H, 0xA5A5A580},  // add.b r1l,r0l
    {{0x88, 0x10}, 0, 0xA5A5A5F0, P, Z|C, 0xA5A5A500},  // add.b #0x10,r0l
    {{0x09, 0x10}, 0, 0xA5A50FFF, 0xA5A50001, H, 0xA5A51000},  // add.w r1,r0
    {{0x09, 0x10}, 0, 0xA5A58000, 0xA5A58000, V|Z|C, 0xA5A50000},  // add.w r1,r0
    {{0x09, 0x18}, 0, 0x7FFFA5A5, 0xA5A50001, N|V|H, 0x8000A5A5},  // add.w r1,e0
    {{0x0A, 0x90}, 0, 0x0FFFFFFF, 0x00000001, H, 0x10000000},  // add.l er1,er0
    {{0x0A, 0x90}, 0, 0x7FFFFFFF, 0x00000001, N|V|H, 0x80000000},  // add.l er1,er0
    {{0x7A, 0x10, 0x00, 0x00, 0x00, 0x01}, 0, 0xFFFFFFFF, P, H|Z|C, 0x00000000},  // add.l #1,er0
    {{0x0E, 0x98}, Z|C, 0xA5A5A50F, 0xA5A5A500, H, 0xA5A5A510},  // addx r1l,r0l
    {{0x0E, 0x98}, Z|C, 0xA5A5A5FF, 0xA5A5A500, H|Z|C, 0xA5A5A500},  // addx r1l,r0l
    {{0x0E, 0x98}, C, 0xA5A5A5FF, 0xA5A5A500, H|C, 0xA5A5A500},  // addx r1l,r0l
    {{0x98, 0x7F}, C, 0xA5A5A500, P, N|V|H, 0xA5A5A580},  // addx #0x7F,r0l
    {{0x18, 0x98}, 0, 0xA5A5A500, 0xA5A5A501, N|H|C, 0xA5A5A5FF},  // sub.b r1l,r0l
    {{0x18, 0x98}, 0, 0xA5A5A580, 0xA5A5A501, V|H, 0xA5A5A57F},  // sub.b r1l,r0l
    {{0x19, 0x10}, 0, 0xA5A51000, 0xA5A50001, H, 0xA5A50FFF},  // sub.w r1,r0
    {{0x1A, 0x90}, 0, 0x80000000, 0x00000001, V|H, 0x7FFFFFFF},  // sub.l er1,er0
    {{0x7A, 0x30, 0x00, 0x00, 0x00, 0x01}, 0, 0x00000000, P, N|H|C, 0xFFFFFFFF},  // sub.l #1,er0
    {{0x1E, 0x98}, Z|C, 0xA5A5A510, 0xA5A5A500, H, 0xA5A5A50F},  // subx r1l,r0l
    {{0xB8, 0x00}, Z|C, 0xA5A5A501, P, Z, 0xA5A5A500},  // subx #0,r0l
    {{0x1C, 0x98}, C, 0xA5A5A542, 0xA5A5A542, Z, 0xA5A5A542},  // cmp.b r1l,r0l
    {{0x1D, 0x10}, 0, 0xA5A58000, 0xA5A50001, V|H, 0xA5A58000},  // cmp.w r1,r0
    {{0x7A, 0x20, 0x10, 0x00, 0x00, 0x00}, 0, 0x0FFFFFFF, P, N|C, 0x0FFFFFFF},  // cmp.l #0x10000000,er0
    {{0x17, 0x88}, 0, 0xA5A5A580, P, N|V|C, 0xA5A5A580},  // neg.b r0l
    {{0x17, 0x88}, 0, 0xA5A5A500, P, Z, 0xA5A5A500},  // neg.b r0l
    {{0x17, 0x90}, 0, 0xA5A58000, P, N|V|C, 0xA5A58000},  // neg.w r0
    {{0x17, 0xB0}, 0, 0x00000010, P, N|H|C, 0xFFFFFFF0},  // neg.l er0
    {{0x0A, 0x08}, H|C, 0xA5A5A57F, P, N|V|H|C, 0xA5A5A580},  // inc.b r0l
    {{0x0B, 0xD0}, 0, 0xA5A57FFE, P, N|V, 0xA5A58000},  // inc.w #2,r0
    {{0x0B, 0x70}, 0, 0xFFFFFFFF, P, Z, 0x00000000},  // inc.l #1,er0
    {{0x1A, 0x08}, 0, 0xA5A5A580, P, V, 0xA5A5A57F},  // dec.b r0l
    {{0x1B, 0xF0}, 0, 0x80000001, P, V, 0x7FFFFFFF},  // dec.l #2,er0
    {{0x0B, 0x90}, N|Z, 0xFFFFFFFE, P, N|Z, 0x00000002},  // adds #4,er0
    {{0x1B, 0x80}, 0, 0x00000001, P, 0, 0xFFFFFFFF},  // subs #2,er0
  });
}

TEST(CpuInstruction, LogicMoveExtendAndCcr) {
  runRegRows({
    {{0x16, 0x98}, V|C, 0xA5A5A5F0, 0xA5A5A53C, C, 0xA5A5A530},  // and.b r1l,r0l
    {{0xC8, 0x80}, 0, 0xA5A5A501, P, N, 0xA5A5A581},  // or.b #0x80,r0l
    {{0x15, 0x98}, 0, 0xA5A5A55A, 0xA5A5A55A, Z, 0xA5A5A500},  // xor.b r1l,r0l
    {{0x79, 0x60, 0x00, 0xFF}, N, 0xA5A51234, P, 0, 0xA5A50034},  // and.w #0x00FF,r0
    {{0x01, 0xF0, 0x66, 0x10}, 0, 0xF0F0F0F0, 0x0F0F0F0F, Z, 0x00000000},  // and.l er1,er0
    {{0x7A, 0x40, 0x80, 0x00, 0x00, 0x00}, Z, 0x00000000, P, N, 0x80000000},  // or.l #0x80000000,er0
    {{0x01, 0xF0, 0x65, 0x10}, 0, 0x12345678, 0xFFFFFFFF, N, 0xEDCBA987},  // xor.l er1,er0
    {{0x17, 0x08}, 0, 0xA5A5A50F, P, N, 0xA5A5A5F0},  // not.b r0l
    {{0x17, 0x30}, V, 0x7FFFFFFF, P, N, 0x80000000},  // not.l er0
    {{0x17, 0x50}, N, P, P, 0, 0xA5A500A5},  // extu.w r0
    {{0x17, 0x70}, N, P, P, 0, 0x0000A5A5},  // extu.l er0
    {{0x17, 0xD0}, 0, 0xA5A5A580, P, N, 0xA5A5FF80},  // exts.w r0
    {{0x17, 0xF0}, N, 0xA5A57FFF, P, 0, 0x00007FFF},  // exts.l er0
    {{0x0C, 0x98}, V|C, P, 0xA5A5A500, Z|C, 0xA5A5A500},  // mov.b r1l,r0l
    {{0x0C, 0x10}, 0, P, 0x0000AB00, N, 0xA5A5ABA5},  // mov.b r1h,r0h
    {{0x0D, 0x10}, 0, P, 0x00008000, N, 0xA5A58000},  // mov.w r1,r0
    {{0xF8, 0x80}, 0, 0x00000000, P, N, 0x00000080},  // mov.b #0x80,r0l
    {{0x79, 0x08, 0x12, 0x34}, 0, P, P, 0, 0x1234A5A5},  // mov.w #0x1234,e0
    {{0x7A, 0x00, 0x00, 0x00, 0x00, 0x00}, 0, P, P, Z, 0x00000000},  // mov.l #0,er0
    {{0x07, 0xFF}, 0, P, P, 0xFF, P},  // ldc #0xFF,ccr
    {{0x03, 0x09}, 0, P, 0x0000006A, 0x6A, P},  // ldc r1l,ccr
    {{0x02, 0x08}, 0x2B, P, P, 0x2B, 0xA5A5A52B},  // stc ccr,r0l
    {{0x06, 0x7F}, 0xFF, P, P, 0x7F, P},  // andc #0x7F,ccr
    {{0x04, 0x40}, 0x01, P, P, 0x41, P},  // orc #0x40,ccr
  });
}

TEST(CpuInstruction, ShiftsAndRotates) {
  runRegRows({
    {{0x10, 0x08}, V, 0xA5A5A581, P, C, 0xA5A5A502},  // shll.b r0l
    {{0x10, 0x88}, 0, 0xA5A5A540, P, N|V, 0xA5A5A580},  // shal.b r0l
    {{0x10, 0x88}, 0, 0xA5A5A5C0, P, N|C, 0xA5A5A580},  // shal.b r0l
    {{0x11, 0x08}, 0, 0xA5A5A581, P, C, 0xA5A5A540},  // shlr.b r0l
    {{0x11, 0x88}, 0, 0xA5A5A581, P, N|C, 0xA5A5A5C0},  // shar.b r0l
    {{0x12, 0x08}, 0, 0xA5A5A580, P, Z|C, 0xA5A5A500},  // rotxl.b r0l
    {{0x12, 0x08}, C, 0xA5A5A500, P, 0, 0xA5A5A501},  // rotxl.b r0l
    {{0x12, 0x88}, 0, 0xA5A5A581, P, C, 0xA5A5A503},  // rotl.b r0l
    {{0x13, 0x08}, C, 0xA5A5A501, P, N|C, 0xA5A5A580},  // rotxr.b r0l
    {{0x13, 0x88}, 0, 0xA5A5A501, P, N|C, 0xA5A5A580},  // rotr.b r0l
    {{0x10, 0x00}, 0, 0xA5A580A5, P, Z|C, 0xA5A500A5},  // shll.b r0h
    {{0x10, 0x10}, 0, 0xA5A58000, P, Z|C, 0xA5A50000},  // shll.w r0
    {{0x11, 0x90}, 0, 0xA5A58000, P, N, 0xA5A5C000},  // shar.w r0
    {{0x12, 0x98}, 0, 0x8001A5A5, P, C, 0x0003A5A5},  // rotl.w e0
    {{0x10, 0xB0}, 0, 0x40000000, P, N|V, 0x80000000},  // shal.l er0
    {{0x13, 0xB0}, 0, 0x00000001, P, N|C, 0x80000000},  // rotr.l er0
  });
}

// Divide by zero leaves the register and sets Z; an overflowing quotient is truncated.
TEST(CpuInstruction, MultiplyAndDivide) {
  runRegRows({
    {{0x50, 0x90}, Z|C, 0xA5A5A5FF, 0xA5A5A5FF, Z|C, 0xA5A5FE01},  // mulxu.b r1l,r0
    {{0x52, 0x10}, N, 0xA5A5FFFF, 0xA5A5FFFF, N, 0xFFFE0001},  // mulxu.w r1,er0
    {{0x01, 0xC0, 0x50, 0x90}, 0, 0xA5A5A5FF, 0xA5A5A502, N, 0xA5A5FFFE},  // mulxs.b r1l,r0
    {{0x01, 0xC0, 0x50, 0x90}, N|C, 0xA5A5A500, 0xA5A5A580, Z|C, 0xA5A50000},  // mulxs.b r1l,r0
    {{0x01, 0xC0, 0x52, 0x10}, 0, 0xA5A58000, 0xA5A58000, 0, 0x40000000},  // mulxs.w r1,er0
    {{0x01, 0xC0, 0x52, 0x10}, 0, 0xA5A5FFFF, 0xA5A50001, N, 0xFFFFFFFF},  // mulxs.w r1,er0
    {{0x51, 0x90}, 0, 0xA5A50064, 0xA5A5A507, 0, 0xA5A5020E},  // divxu.b r1l,r0
    {{0x51, 0x90}, 0, 0xA5A50100, 0xA5A5A580, N, 0xA5A50002},  // divxu.b r1l,r0
    {{0x53, 0x10}, 0, 0x00010000, 0xA5A50010, 0, 0x00001000},  // divxu.w r1,er0
    {{0x53, 0x10}, 0, 0x12345678, 0xA5A50000, Z, 0x12345678},  // divxu.w r1,er0
    {{0x01, 0xD0, 0x51, 0x90}, 0, 0xA5A5FFF9, 0xA5A5A502, N, 0xA5A5FFFD},  // divxs.b r1l,r0
    {{0x01, 0xD0, 0x51, 0x90}, 0, 0xA5A5FFFF, 0xA5A5A505, 0, 0xA5A5FF00},  // divxs.b r1l,r0
    {{0x01, 0xD0, 0x51, 0x90}, 0, 0xA5A51234, 0xA5A5A500, Z, 0xA5A51234},  // divxs.b r1l,r0
    {{0x01, 0xD0, 0x53, 0x10}, 0, 0x80000000, 0xA5A5FFFF, 0, 0x00000000},  // divxs.w r1,er0
    {{0x01, 0xD0, 0x53, 0x10}, 0, 0xFFFF8000, 0xA5A50002, N, 0x0000C000},  // divxs.w r1,er0
    {{0x01, 0xD0, 0x53, 0x10}, 0, 0x00008000, 0xA5A5FFFF, N, 0x00008000},  // divxs.w r1,er0
  });
}

TEST(CpuInstruction, BitsInRegisters) {
  runRegRows({
    {{0x70, 0x78}, Z, 0xA5A5A500, P, Z, 0xA5A5A580},  // bset #7,r0l
    {{0x72, 0x08}, 0, 0xA5A5A5FF, P, 0, 0xA5A5A5FE},  // bclr #0,r0l
    {{0x73, 0x18}, Z|C, 0xA5A5A502, P, C, 0xA5A5A502},  // btst #1,r0l
    {{0x73, 0x10}, C, 0xA5A500A5, P, Z|C, 0xA5A500A5},  // btst #1,r0h
    {{0x60, 0x98}, 0, 0xA5A5A500, 0xA5A5A50D, 0, 0xA5A5A520},  // bset r1l,r0l
    {{0x62, 0x18}, 0, 0xA5A5A5FF, 0xA5A502A5, 0, 0xA5A5A5FB},  // bclr r1h,r0l
    {{0x61, 0x98}, 0, 0xA5A5A5FF, 0xA5A5A507, 0, 0xA5A5A57F},  // bnot r1l,r0l
    {{0x77, 0x28}, 0, 0xA5A5A504, P, C, 0xA5A5A504},  // bld #2,r0l
    {{0x77, 0xA8}, C, 0xA5A5A504, P, 0, 0xA5A5A504},  // bild #2,r0l
    {{0x67, 0x68}, C, 0xA5A5A500, P, C, 0xA5A5A540},  // bst #6,r0l
    {{0x67, 0xE8}, C, 0xA5A5A5FF, P, C, 0xA5A5A5BF},  // bist #6,r0l
    {{0x76, 0x08}, C, 0xA5A5A5FE, P, 0, 0xA5A5A5FE},  // band #0,r0l
    {{0x74, 0x78}, 0, 0xA5A5A580, P, C, 0xA5A5A580},  // bor #7,r0l
    {{0x75, 0x48}, C, 0xA5A5A510, P, 0, 0xA5A5A510},  // bxor #4,r0l
    {{0x75, 0xC8}, C, 0xA5A5A510, P, C, 0xA5A5A510},  // bixor #4,r0l
  });
}
// clang-format on

// Memory operands: ER0 data, ER2 pointer, a 32-bit field at `addr`; the rest of memory must not
// change.
TEST(CpuInstruction, MemoryOperands) {
  struct Row {
    Bytes code;
    uint8_t ccr;
    uint32_t er0, er2;
    uint16_t addr;
    uint32_t mem;
    uint8_t ccrOut;
    uint32_t er0Out, er2Out, memOut;
  };
  // clang-format off
  const std::vector<Row> rows = {
    {{0x68, 0x28}, 0, P, 0x00002000, 0x2000, 0x11223344, 0, 0xA5A5A511, 0x00002000, 0x11223344},  // mov.b @er2,r0l
    {{0x69, 0x20}, 0, P, 0xFFFF2001, 0x2000, 0x11223344, 0, 0xA5A51122, 0xFFFF2001, 0x11223344},  // mov.w @er2,r0
    {{0x01, 0x00, 0x69, 0x20}, 0, P, 0x00002000, 0x2000, 0x80000000, N, 0x80000000, 0x00002000, 0x80000000},  // mov.l @er2,er0
    {{0x68, 0xA8}, 0, P, 0x00002000, 0x2000, 0x11223344, N, P, 0x00002000, 0xA5223344},  // mov.b r0l,@er2
    {{0x69, 0xA0}, 0, 0x00000000, 0x00002000, 0x2000, 0x11223344, Z, 0x00000000, 0x00002000, 0x00003344},  // mov.w r0,@er2
    {{0x01, 0x00, 0x69, 0xA0}, Z, 0x01020304, 0x00002000, 0x2000, 0x11223344, 0, 0x01020304, 0x00002000, 0x01020304},  // mov.l er0,@er2
    {{0x6C, 0x28}, 0, P, 0x00002000, 0x2000, 0x11223344, 0, 0xA5A5A511, 0x00002001, 0x11223344},  // mov.b @er2+,r0l
    {{0x6D, 0x20}, 0, P, 0x00002000, 0x2000, 0x11223344, 0, 0xA5A51122, 0x00002002, 0x11223344},  // mov.w @er2+,r0
    {{0x01, 0x00, 0x6D, 0x20}, 0, P, 0x00002000, 0x2000, 0x11223344, 0, 0x11223344, 0x00002004, 0x11223344},  // mov.l @er2+,er0
    {{0x6C, 0xA8}, 0, P, 0x00002001, 0x2000, 0x11223344, N, P, 0x00002000, 0xA5223344},  // mov.b r0l,@-er2
    {{0x6D, 0xA0}, 0, P, 0x00002002, 0x2000, 0x11223344, N, P, 0x00002000, 0xA5A53344},  // mov.w r0,@-er2
    {{0x01, 0x00, 0x6D, 0xA0}, 0, P, 0x00002004, 0x2000, 0x11223344, N, P, 0x00002000, 0xA5A5A5A5},  // mov.l er0,@-er2
    {{0x6E, 0x28, 0x00, 0x01}, 0, P, 0x00001FFF, 0x2000, 0x11223344, 0, 0xA5A5A511, 0x00001FFF, 0x11223344},  // mov.b @(1,er2),r0l
    {{0x6F, 0x20, 0xFF, 0xFE}, 0, P, 0x00002002, 0x2000, 0x11223344, 0, 0xA5A51122, 0x00002002, 0x11223344},  // mov.w @(-2,er2),r0
    {{0x01, 0x00, 0x6F, 0xA0, 0x00, 0x02}, 0, 0x00000000, 0x00001FFE, 0x2000, 0x11223344, Z, 0x00000000, 0x00001FFE, 0x00000000},  // mov.l er0,@(2,er2)
    {{0x78, 0x20, 0x6A, 0xA8, 0x00, 0x00, 0x10, 0x00}, 0, P, 0x00001000, 0x2000, 0x11223344, N, P, 0x00001000, 0xA5223344},  // mov.b r0l,@(0x1000:24,er2)
    {{0x01, 0x00, 0x78, 0x20, 0x6B, 0x20, 0x00, 0x00, 0x10, 0x00}, 0, P, 0x00001000, 0x2000, 0x11223344, 0, 0x11223344, 0x00001000, 0x11223344},  // mov.l @(0x1000:24,er2),er0
    {{0x6A, 0x08, 0x20, 0x03}, 0, P, P, 0x2000, 0x11223344, 0, 0xA5A5A544, P, 0x11223344},  // mov.b @0x2003:16,r0l
    {{0x6B, 0x80, 0x20, 0x02}, 0, P, P, 0x2000, 0x11223344, N, P, P, 0x1122A5A5},  // mov.w r0,@0x2002:16
    {{0x01, 0x00, 0x6B, 0x80, 0x20, 0x00}, 0, P, P, 0x2000, 0x11223344, N, P, P, 0xA5A5A5A5},  // mov.l er0,@0x2000:16
    {{0x6A, 0xA8, 0x00, 0x00, 0x20, 0x00}, 0, P, P, 0x2000, 0x11223344, N, P, P, 0xA5223344},  // mov.b r0l,@0x2000:24
    {{0x01, 0x00, 0x6B, 0x20, 0x00, 0x00, 0x20, 0x00}, 0, P, P, 0x2000, 0x11223344, 0, 0x11223344, P, 0x11223344},  // mov.l @0x2000:24,er0
    {{0x28, 0x01}, 0, P, P, 0xFF00, 0x11223344, 0, 0xA5A5A522, P, 0x11223344},  // mov.b @0x01:8,r0l
    {{0x38, 0x00}, 0, P, P, 0xFF00, 0x11223344, N, P, P, 0xA5223344},  // mov.b r0l,@0x00:8
    {{0x6A, 0x48, 0x20, 0x00}, 0, P, P, 0x2000, 0x11223344, 0, 0xA5A5A511, P, 0x11223344},  // movfpe @0x2000:16,r0l
    {{0x6A, 0xC8, 0x20, 0x00}, 0, P, P, 0x2000, 0x11223344, N, P, P, 0xA5223344},  // movtpe r0l,@0x2000:16
    {{0x01, 0x40, 0x69, 0x20}, 0, P, 0x00002000, 0x2000, 0x8A223344, 0x8A, P, 0x00002000, 0x8A223344},  // ldc @er2,ccr
    {{0x01, 0x40, 0x69, 0xA0}, 0x2B, P, 0x00002000, 0x2000, 0x11223344, 0x2B, P, 0x00002000, 0x2B2B3344},  // stc ccr,@er2
    {{0x01, 0x40, 0x6D, 0x20}, 0, P, 0x00002000, 0x2000, 0x11223344, 0x11, P, 0x00002002, 0x11223344},  // ldc @er2+,ccr
    {{0x01, 0x40, 0x6D, 0xA0}, 0x40, P, 0x00002002, 0x2000, 0x11223344, 0x40, P, 0x00002000, 0x40403344},  // stc ccr,@-er2
    {{0x01, 0x40, 0x6B, 0xA0, 0x00, 0x00, 0x20, 0x00}, 0x05, P, P, 0x2000, 0x11223344, 0x05, P, P, 0x05053344},  // stc ccr,@0x2000:24
    {{0x01, 0x40, 0x78, 0x20, 0x6B, 0x20, 0x00, 0x00, 0x10, 0x00}, 0, P, 0x00001000, 0x2000, 0x11223344, 0x11, P, 0x00001000, 0x11223344},  // ldc @(0x1000:24,er2),ccr
    {{0x01, 0x40, 0x78, 0x20, 0x6B, 0xA0, 0x00, 0x00, 0x10, 0x00}, 0x81, P, 0x00001000, 0x2000, 0x11223344, 0x81, P, 0x00001000, 0x81813344},  // stc ccr,@(0x1000:24,er2)
    {{0x7D, 0x20, 0x70, 0x70}, 0, P, 0x00002000, 0x2000, 0x11223344, 0, P, 0x00002000, 0x91223344},  // bset #7,@er2
    {{0x7D, 0x20, 0x62, 0x80}, 0, P, 0x00002000, 0x2000, 0x31223344, 0, P, 0x00002000, 0x11223344},  // bclr r0l,@er2
    {{0x7C, 0x20, 0x73, 0x40}, Z, P, 0x00002000, 0x2000, 0x11223344, 0, P, 0x00002000, 0x11223344},  // btst #4,@er2
    {{0x7C, 0x20, 0x63, 0x80}, 0, P, 0x00002000, 0x2000, 0x11223344, Z, P, 0x00002000, 0x11223344},  // btst r0l,@er2
    {{0x7C, 0x20, 0x77, 0x00}, 0, P, 0x00002000, 0x2000, 0x11223344, C, P, 0x00002000, 0x11223344},  // bld #0,@er2
    {{0x7D, 0x20, 0x67, 0x90}, 0, P, 0x00002000, 0x2000, 0x11223344, 0, P, 0x00002000, 0x13223344},  // bist #1,@er2
    {{0x7C, 0x20, 0x76, 0x40}, C, P, 0x00002000, 0x2000, 0x11223344, C, P, 0x00002000, 0x11223344},  // band #4,@er2
    {{0x7F, 0x00, 0x70, 0x00}, 0, P, P, 0xFF00, 0x10223344, 0, P, P, 0x11223344},  // bset #0,@0x00:8
    {{0x7F, 0x00, 0x61, 0x80}, 0, P, P, 0xFF00, 0x11223344, 0, P, P, 0x31223344},  // bnot r0l,@0x00:8
    {{0x7E, 0x00, 0x75, 0xC0}, C, P, P, 0xFF00, 0x11223344, C, P, P, 0x11223344},  // bixor #4,@0x00:8
    {{0x7E, 0x00, 0x77, 0x80}, C, P, P, 0xFF00, 0x11223344, 0, P, P, 0x11223344},  // bild #0,@0x00:8
  };
  // clang-format on
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    SCOPED_TRACE(testing::Message() << "row " << i);
    Machine m;
    m.load(r.code);
    m.cpu.regs.er[0] = r.er0;
    m.cpu.regs.er[2] = r.er2;
    m.cpu.regs.ccr = r.ccr;
    m.put32(r.addr, r.mem);
    Machine want;
    want.load(r.code);
    want.put32(r.addr, r.memOut);
    EXPECT_EQ(m.cpu.run(1), h8::RUN_CONTINUES);
    EXPECT_EQ(m.cpu.regs.pc, 0x1000 + r.code.size());
    const std::array<uint32_t, 8> regs = {r.er0Out, P, r.er2Out, P, P, P, P, P};
    for (int n = 0; n < 8; ++n) EXPECT_EQ(m.cpu.regs.er[n], regs[n]) << "ER" << n;
    EXPECT_EQ(m.cpu.regs.ccr, r.ccrOut);
    EXPECT_EQ(m.get32(r.addr), r.memOut);
    EXPECT_TRUE(std::equal(std::begin(m.bus.memory), std::end(m.bus.memory), want.bus.memory));
  }
}

// Jumps, calls, returns and the stack, in normal mode (16-bit return addresses). ER0 holds
// 0x12343000, SP 0xFF00 with the words 0x2B00 0x5000 0x0000 above it, and the vector at 0x0010
// holds 0x4000.
TEST(CpuInstruction, BranchesCallsReturnsAndStack) {
  struct Row {
    Bytes code;
    uint8_t ccr;
    uint16_t pcOut, spOut;
    uint8_t ccrOut;
    uint32_t er0Out;
    uint16_t top;  // the word at SP afterwards
  };
  // clang-format off
  const std::vector<Row> rows = {
    {{0x40, 0x10}, 0, 0x1012, 0xFF00, 0, 0x12343000, 0x2B00},  // bra .+0x12
    {{0x58, 0x00, 0xFF, 0x7C}, 0, 0x0F80, 0xFF00, 0, 0x12343000, 0x2B00},  // bra .-0x80
    {{0x58, 0x00, 0x0F, 0xFC}, 0, 0x2000, 0xFF00, 0, 0x12343000, 0x2B00},  // bra .+0x1000
    {{0x55, 0x1E}, 0, 0x1020, 0xFEFE, 0, 0x12343000, 0x1002},  // bsr .+0x20
    {{0x5C, 0x00, 0x0F, 0xFC}, 0, 0x2000, 0xFEFE, 0, 0x12343000, 0x1004},  // bsr .+0x1000
    {{0x59, 0x00}, 0, 0x3000, 0xFF00, 0, 0x12343000, 0x2B00},  // jmp @er0
    {{0x5A, 0x00, 0x44, 0x44}, 0, 0x4444, 0xFF00, 0, 0x12343000, 0x2B00},  // jmp @0x4444:24
    {{0x5B, 0x10}, 0, 0x4000, 0xFF00, 0, 0x12343000, 0x2B00},  // jmp @@0x10:8
    {{0x5D, 0x00}, 0, 0x3000, 0xFEFE, 0, 0x12343000, 0x1002},  // jsr @er0
    {{0x5E, 0x00, 0x44, 0x44}, 0, 0x4444, 0xFEFE, 0, 0x12343000, 0x1004},  // jsr @0x4444:24
    {{0x5F, 0x10}, 0, 0x4000, 0xFEFE, 0, 0x12343000, 0x1002},  // jsr @@0x10:8
    {{0x54, 0x70}, C, 0x2B00, 0xFF02, C, 0x12343000, 0x5000},  // rts
    {{0x56, 0x70}, 0x80, 0x5000, 0xFF04, 0x2B, 0x12343000, 0x0000},  // rte
    {{0x6D, 0xF0}, 0, 0x1002, 0xFEFE, 0, 0x12343000, 0x3000},  // push.w r0
    {{0x01, 0x00, 0x6D, 0xF0}, 0, 0x1004, 0xFEFC, 0, 0x12343000, 0x1234},  // push.l er0
    {{0x6D, 0x70}, N, 0x1002, 0xFF02, 0, 0x12342B00, 0x5000},  // pop.w r0
    {{0x01, 0x00, 0x6D, 0x70}, 0, 0x1004, 0xFF04, 0, 0x2B005000, 0x0000},  // pop.l er0
  };
  // clang-format on
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    SCOPED_TRACE(testing::Message() << "row " << i);
    Machine m;
    m.load(r.code);
    m.cpu.regs.er[0] = 0x12343000;
    m.cpu.regs.er[7] = 0xFF00;
    m.cpu.regs.ccr = r.ccr;
    m.put32(0xFF00, 0x2B005000);
    m.put16(0x0010, 0x4000);
    EXPECT_EQ(m.cpu.run(1), h8::RUN_CONTINUES);
    EXPECT_EQ(m.cpu.regs.pc, r.pcOut);
    EXPECT_EQ(m.cpu.regs.er[7], r.spOut);
    EXPECT_EQ(m.cpu.regs.ccr, r.ccrOut);
    EXPECT_EQ(m.cpu.regs.er[0], r.er0Out);
    EXPECT_EQ(m.get16(r.spOut), r.top);
    for (int n = 1; n < 7; ++n) EXPECT_EQ(m.cpu.regs.er[n], P);
  }
}

// Bcc d:8 and d:16 for every condition over every N, Z, V, C; `taken` is the manual's table.
TEST(CpuInstruction, ConditionalBranches) {
  auto taken = [](int cc, bool n, bool z, bool v, bool c) {
    const bool conditions[16] = {true,   false,  !(c || z),    c || z,     !c, c,
                                 !z,     z,      !v,           v,          !n, n,
                                 n == v, n != v, !z && n == v, z || n != v};
    return conditions[cc];
  };
  for (int cc = 0; cc < 16; ++cc) {
    for (int flags = 0; flags < 16; ++flags) {
      SCOPED_TRACE(testing::Message() << "condition " << cc << " flags " << flags);
      bool t = taken(cc, flags & N, flags & Z, flags & V, flags & C);
      for (bool wide : {false, true}) {
        Machine m;
        m.load(wide ? Bytes{0x58, uint8_t(cc << 4), 0x00, 0x10} : Bytes{uint8_t(0x40 | cc), 0x10});
        m.cpu.regs.ccr = uint8_t(flags);
        EXPECT_EQ(m.cpu.run(1), h8::RUN_CONTINUES);
        EXPECT_EQ(m.cpu.regs.pc, (wide ? 0x1004u : 0x1002u) + (t ? 0x10 : 0));
        EXPECT_EQ(m.cpu.regs.ccr, flags);
      }
    }
  }
}

// DAA and DAS over every input the manual's tables define: C and H before, the ranges of the
// upper and lower digit, the value added and C after.
TEST(CpuInstruction, DecimalAdjustOverTheWholeTables) {
  struct Rule {
    int c, h, upperLow, upperHigh, lowerLow, lowerHigh, add, cOut;
  };
  const std::vector<Rule> daa = {
      {0, 0, 0x0, 0x9, 0x0, 0x9, 0x00, 0}, {0, 0, 0x0, 0x8, 0xA, 0xF, 0x06, 0},
      {0, 1, 0x0, 0x9, 0x0, 0x3, 0x06, 0}, {0, 0, 0xA, 0xF, 0x0, 0x9, 0x60, 1},
      {0, 0, 0x9, 0xF, 0xA, 0xF, 0x66, 1}, {0, 1, 0xA, 0xF, 0x0, 0x3, 0x66, 1},
      {1, 0, 0x0, 0x2, 0x0, 0x9, 0x60, 1}, {1, 0, 0x0, 0x2, 0xA, 0xF, 0x66, 1},
      {1, 1, 0x0, 0x3, 0x0, 0x3, 0x66, 1}};
  const std::vector<Rule> das = {{0, 0, 0x0, 0x9, 0x0, 0x9, 0x00, 0},
                                 {0, 1, 0x0, 0x8, 0x6, 0xF, 0xFA, 0},
                                 {1, 0, 0x7, 0xF, 0x0, 0x9, 0xA0, 1},
                                 {1, 1, 0x6, 0xF, 0x6, 0xF, 0x9A, 1}};
  int checked = 0;
  for (bool subtract : {false, true}) {
    for (const Rule& rule : subtract ? das : daa) {
      for (int upper = rule.upperLow; upper <= rule.upperHigh; ++upper) {
        for (int lower = rule.lowerLow; lower <= rule.lowerHigh; ++lower) {
          const uint32_t a = uint32_t(upper << 4 | lower), r = (a + rule.add) & 0xFF;
          SCOPED_TRACE(testing::Message()
                       << (subtract ? "DAS " : "DAA ") << a << " C" << rule.c << " H" << rule.h);
          Machine m;
          m.load({uint8_t(subtract ? 0x1F : 0x0F), 0x08});  // daa r0l / das r0l
          m.cpu.regs.er[0] = 0xA5A5A500 | a;
          m.cpu.regs.ccr = uint8_t((rule.c ? C : 0) | (rule.h ? H : 0));
          EXPECT_EQ(m.cpu.run(1), h8::RUN_CONTINUES);
          EXPECT_EQ(m.cpu.regs.er[0], 0xA5A5A500 | r);
          const uint8_t ccr = m.cpu.regs.ccr;
          EXPECT_EQ(bool(ccr & C), bool(rule.cOut));
          EXPECT_EQ(bool(ccr & Z), r == 0);
          EXPECT_EQ(bool(ccr & N), bool(r & 0x80));
          ++checked;
        }
      }
    }
  }
  EXPECT_EQ(checked, 384 + 380);  // every cell of both tables
}

// ROM ignores stores, unmapped pages read 0xFF, I/O pages go through the bus byte by byte in
// big-endian order (a bit instruction reads, then writes).
TEST(CpuInstruction, RegionsOfTheBus) {
  Machine m;
  m.bus.regions[0x2000 >> 7] = h8::Region::ROM;
  m.bus.regions[0x2080 >> 7] = h8::Region::NONE;
  m.bus.regions[0xFF80 >> 7] = h8::Region::IO;
  m.bus.memory[0x2000] = 0x77;
  m.bus.memory[0x2080] = 0x12;
  m.load({0x6A, 0x88, 0x20, 0x00,              // mov.b r0l,@0x2000:16
          0x6A, 0x09, 0x20, 0x80,              // mov.b @0x2080:16,r1l
          0x6B, 0x80, 0xFF, 0x91,              // mov.w r0,@0xFF91:16 (even: 0xFF90)
          0x01, 0x00, 0x6B, 0x02, 0xFF, 0x94,  // mov.l @0xFF94:16,er2
          0x7F, 0x98, 0x71, 0x00,              // bnot #0,@0x98:8
          0x01, 0x80});                        // sleep
  m.cpu.regs.er[0] = 0x1234ABCD;
  EXPECT_EQ(m.cpu.run(100), h8::STOP_SLEEP);
  EXPECT_EQ(m.bus.memory[0x2000], 0x77);
  EXPECT_EQ(m.cpu.regs.er[1], 0xA5A5A5FF);
  EXPECT_EQ(m.cpu.regs.er[2], 0x5A5A5A5Au);
  using A = FakeCpuBus::Access;
  const std::vector<A> io = {{0xFF90, 0xAB, true},  {0xFF91, 0xCD, true},  {0xFF94, 0x5A, false},
                             {0xFF95, 0x5A, false}, {0xFF96, 0x5A, false}, {0xFF97, 0x5A, false},
                             {0xFF98, 0x5A, false}, {0xFF98, 0x5B, true}};
  EXPECT_EQ(m.bus.io, io);
}

// Every first word with second and third words drawn from each disassembler table entry that
// could match, and some random ones: the core stops with STOP_UNDEFINED exactly where the table
// has no entry, and other instructions that do not branch advance PC by the table's length.
// The table does not compare the low nibble of BCLR #n,@aa:8's fourth byte; the CPU needs it 0.
TEST(CpuInstruction, DecodesExactlyTheEncodingsOfTheInstructionTable) {
  const std::set<std::string> branches = {"BRA", "BRN", "BHI", "BLS", "BCC", "BCS", "BNE",
                                          "BEQ", "BVC", "BVS", "BPL", "BMI", "BGE", "BLT",
                                          "BGT", "BLE", "BSR", "JMP", "JSR", "RTS", "RTE"};
  std::mt19937 rng(1);
  Machine m;
  int defined = 0;
  for (uint32_t first = 0; first < 0x10000; ++first) {
    std::vector<std::array<uint16_t, 2>> tails = {{uint16_t(rng()), uint16_t(rng())},
                                                  {uint16_t(rng()), uint16_t(rng())}};
    for (int i = 0; i < h8::INSTRUCTION_COUNT; ++i) {
      const h8::Instruction& e = h8::instructionTable[i];
      if ((first & e.mask[0]) != e.value[0]) continue;
      tails.push_back({uint16_t((rng() & ~e.mask[1]) | e.value[1]),
                       uint16_t((rng() & ~e.mask[2]) | e.value[2])});
    }
    for (const auto& tail : tails) {
      uint8_t bytes[h8::INSTRUCTION_BYTES];
      for (int k = 0; k < h8::INSTRUCTION_BYTES; ++k) bytes[k] = uint8_t(rng());
      bytes[0] = uint8_t(first >> 8), bytes[1] = uint8_t(first);
      bytes[2] = uint8_t(tail[0] >> 8), bytes[3] = uint8_t(tail[0]);
      bytes[4] = uint8_t(tail[1] >> 8), bytes[5] = uint8_t(tail[1]);
      const h8::Instruction* e = h8::findInstruction(bytes);
      if (e && first >> 8 == 0x7F && bytes[2] == 0x72 && (bytes[3] & 0x0F)) e = nullptr;
      m.load(Bytes(bytes, bytes + h8::INSTRUCTION_BYTES));
      std::fill(std::begin(m.cpu.regs.er), std::end(m.cpu.regs.er), 0x3002);
      m.cpu.regs.er[4] = 2;  // EEPMOV count
      const int stop = m.cpu.run(1);
      SCOPED_TRACE(testing::Message() << std::hex << first << " " << tail[0] << " " << tail[1]);
      ASSERT_EQ(stop == h8::STOP_UNDEFINED, e == nullptr) << (e ? e->mnemonic : "");
      if (!e) continue;
      ++defined;
      if (!branches.count(e->mnemonic)) {
        EXPECT_EQ(m.cpu.regs.pc, 0x1000u + 2 * e->length);
      }
    }
  }
  EXPECT_GT(defined, 60000);
}

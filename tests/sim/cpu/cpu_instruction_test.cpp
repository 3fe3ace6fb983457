// The core instruction by instruction: each table row runs one instruction at 0x1000 with the
// registers filled with P, and checks two registers, a memory field, PC, every CCR flag, the state
// count and how run() ended, and that no other register or memory byte changed. Encodings come
// from h8300-hms-as; expected values and state counts from the programming manual.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <optional>
#include <random>
#include <string>

#include "disasm/decoder.h"
#include "fake_cpu_bus.h"

using namespace h8test;

namespace {

constexpr uint32_t M = 0x11223344;  // the long at 0xFF00 before each row

// Before: ER0 = a, ER<second> = b, CCR = ccr; memory from 0xFF00 holds 11 22 33 44 2B 02 80 02
// (the stack rows pop from SP 0xFF04) and the vector at 0x0010 holds 0x4002. After: ER0 = aOut,
// ER<second> = bOut (unset: b), the long at 0xFF00 = mem, PC = pc (0: after the instruction).
struct Row {
  const char* code;
  uint64_t states;
  uint8_t ccr;
  uint32_t a, b;
  uint8_t ccrOut;
  uint32_t aOut;
  std::optional<uint32_t> bOut = {};
  uint32_t mem = M, pc = 0;
  int stop = h8::RUN_CONTINUES;
};

void runRows(int second, const std::vector<Row>& rows) {
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.code << std::hex << " CCR " << +r.ccr << " ER0 " << r.a);
    const Bytes code = hex(r.code);
    Machine m;
    m.load(code);
    m.put(0x0010, hex("4002"));
    m.put(0xFF00, hex("11223344 2B028002"));
    Bytes memory(m.bus.memory, m.bus.memory + 0x10000);
    for (int k = 0; k < 4; ++k) memory[0xFF00 + k] = uint8_t(r.mem >> (24 - 8 * k));
    m.cpu.regs.er[0] = r.a;
    m.cpu.regs.er[second] = r.b;
    m.cpu.regs.ccr = r.ccr;
    EXPECT_EQ(m.cpu.run(1), r.stop);
    EXPECT_EQ(m.cpu.regs.pc, r.pc ? r.pc : 0x1000 + code.size());
    for (int n = 0; n < 8; ++n) {
      EXPECT_EQ(m.cpu.regs.er[n], n == 0 ? r.aOut : n == second ? r.bOut.value_or(r.b) : P) << n;
    }
    EXPECT_EQ(m.cpu.regs.ccr, r.ccrOut);
    EXPECT_EQ(m.cpu.states, r.states);
    EXPECT_EQ(m.cpu.instructions, r.stop == h8::STOP_UNDEFINED ? 0u : 1u);
    EXPECT_EQ(m.get32(0xFF00), r.mem);
    EXPECT_TRUE(std::equal(memory.begin(), memory.end(), m.bus.memory));
  }
}

}  // namespace

// clang-format off
// ER0 the destination, ER1 the source: code, states, CCR, ER0, ER1 -> CCR, ER0.
TEST(CpuInstruction, RegisterOperands) {
  runRows(1, {
    // ADD, ADDX, SUB, SUBX, CMP, NEG, INC, DEC, ADDS, SUBS
    {"0898", 2, 0, 0xA5A5A588, 0xA5A5A588, H|V|C, 0xA5A5A510},  // add.b r1l,r0l
    {"8810", 2, 0, 0xA5A5A5F0, P, Z|C, 0xA5A5A500},  // add.b #0x10,r0l
    {"0910", 2, 0, 0xA5A59000, 0xA5A58000, V|C, 0xA5A51000},  // add.w r1,r0
    {"0918", 2, 0, 0x0FFFA5A5, 0xA5A58001, N|H, 0x9000A5A5},  // add.w r1,e0
    {"0A90", 2, 0, 0x6FFFFFFF, 0x20000001, N|V|H, 0x90000000},  // add.l er1,er0
    {"7A10 00000001", 6, 0, 0xFFFFFFFF, P, H|Z|C, 0x00000000},  // add.l #1,er0
    {"0E98", 2, Z|C, 0xA5A5A5FF, 0xA5A5A500, H|Z|C, 0xA5A5A500},  // addx r1l,r0l
    {"0E98", 2, C, 0xA5A5A5FF, 0xA5A5A500, H|C, 0xA5A5A500},  // addx r1l,r0l
    {"987F", 2, Z|C, 0xA5A5A500, P, N|V|H, 0xA5A5A580},  // addx #0x7f,r0l
    {"1898", 2, 0, 0xA5A5A570, 0xA5A5A581, N|V|H|C, 0xA5A5A5EF},  // sub.b r1l,r0l
    {"1910", 2, 0, 0xA5A51000, 0xA5A50001, H, 0xA5A50FFF},  // sub.w r1,r0
    {"1A90", 2, 0, 0x80000000, 0x01000000, V|H, 0x7F000000},  // sub.l er1,er0
    {"7A30 00000001", 6, 0, 0x00000000, P, N|H|C, 0xFFFFFFFF},  // sub.l #1,er0
    {"1E98", 2, Z|C, 0xA5A5A510, 0xA5A5A500, H, 0xA5A5A50F},  // subx r1l,r0l
    {"1E98", 2, C, 0xA5A5A501, 0xA5A5A500, 0, 0xA5A5A500},  // subx r1l,r0l
    {"B800", 2, Z|C, 0xA5A5A501, P, Z, 0xA5A5A500},  // subx #0,r0l
    {"1C98", 2, C, 0xA5A5A542, 0xA5A5A542, Z, 0xA5A5A542},  // cmp.b r1l,r0l
    {"1D10", 2, 0, 0xA5A58000, 0xA5A50001, V|H, 0xA5A58000},  // cmp.w r1,r0
    {"7A20 10000000", 6, 0, 0x0FFFFFFF, P, N|C, 0x0FFFFFFF},  // cmp.l #0x10000000,er0
    {"A801", 2, 0, 0xA5A5A500, P, N|H|C, 0xA5A5A500},  // cmp.b #1,r0l
    {"1788", 2, 0, 0xA5A5A580, P, N|V|C, 0xA5A5A580},  // neg.b r0l
    {"1790", 2, 0, 0xA5A58000, P, N|V|C, 0xA5A58000},  // neg.w r0
    {"17B0", 2, 0, 0x00000010, P, N|H|C, 0xFFFFFFF0},  // neg.l er0
    {"0A08", 2, H|C, 0xA5A5A57F, P, N|V|H|C, 0xA5A5A580},  // inc.b r0l
    {"0BD0", 2, 0, 0xA5A57FFE, P, N|V, 0xA5A58000},  // inc.w #2,r0
    {"0B70", 2, 0, 0xFFFFFFFF, P, Z, 0x00000000},  // inc.l #1,er0
    {"1A08", 2, 0, 0xA5A5A580, P, V, 0xA5A5A57F},  // dec.b r0l
    {"1BF0", 2, 0, 0x80000001, P, V, 0x7FFFFFFF},  // dec.l #2,er0
    {"0B90", 2, N|Z, 0xFFFFFFFE, P, N|Z, 0x00000002},  // adds #4,er0
    {"1B80", 2, V|C, 0x00000001, P, V|C, 0xFFFFFFFF},  // subs #2,er0
    // AND, OR, XOR, NOT, EXTU, EXTS, MOV, LDC, STC, ANDC, ORC
    {"1698", 2, V|C, 0xA5A5A5F0, 0xA5A5A5BC, N|C, 0xA5A5A5B0},  // and.b r1l,r0l
    {"C880", 2, 0, 0xA5A5A501, P, N, 0xA5A5A581},  // or.b #0x80,r0l
    {"1598", 2, 0, 0xA5A5A55A, 0xA5A5A55A, Z, 0xA5A5A500},  // xor.b r1l,r0l
    {"D8FF", 2, Z|V, 0xA5A5A55A, P, N, 0xA5A5A5A5},  // xor.b #0xff,r0l
    {"E80F", 2, N|V|C, 0xA5A5A5F0, P, Z|C, 0xA5A5A500},  // and.b #0xf,r0l
    {"6410", 2, 0, 0xA5A50F00, 0xA5A580F0, N, 0xA5A58FF0},  // or.w r1,r0
    {"7960 00FF", 4, N, 0xA5A51234, P, 0, 0xA5A50034},  // and.w #0xff,r0
    {"01F0 6610", 4, 0, 0xF0F0F0F0, 0x0F0F0F0F, Z, 0x00000000},  // and.l er1,er0
    {"7A40 80000000", 6, Z, 0x00000000, P, N, 0x80000000},  // or.l #0x80000000,er0
    {"01F0 6510", 4, 0, 0x12345678, 0xFFFFFFFF, N, 0xEDCBA987},  // xor.l er1,er0
    {"7A50 FFFFFFFF", 6, N|Z|V, P, P, 0, 0x5A5A5A5A},  // xor.l #0xffffffff,er0
    {"1708", 2, 0, 0xA5A5A55F, P, N, 0xA5A5A5A0},  // not.b r0l
    {"1710", 2, V, 0xA5A57FFF, P, N, 0xA5A58000},  // not.w r0
    {"1730", 2, V, 0x7FFFFFFF, P, N, 0x80000000},  // not.l er0
    {"1750", 2, N, P, P, 0, 0xA5A500A5},  // extu.w r0
    {"1770", 2, N, P, P, 0, 0x0000A5A5},  // extu.l er0
    {"17D0", 2, 0, 0xA5A5A581, P, N, 0xA5A5FF81},  // exts.w r0
    {"17F0", 2, N, 0xA5A57FFF, P, 0, 0x00007FFF},  // exts.l er0
    {"0C18", 2, V|C, P, 0xA5A5ABA5, N|C, 0xA5A5A5AB},  // mov.b r1h,r0l
    {"0D10", 2, 0, P, 0x00008000, N, 0xA5A58000},  // mov.w r1,r0
    {"0F90", 2, Z|V, P, 0x80000000, N, 0x80000000},  // mov.l er1,er0
    {"F880", 2, 0, 0x00000000, P, N, 0x00000080},  // mov.b #0x80,r0l
    {"7908 1234", 4, Z|V, P, P, 0, 0x1234A5A5},  // mov.w #0x1234,e0
    {"7A00 00000000", 6, 0, P, P, Z, 0x00000000},  // mov.l #0,er0
    {"07FF", 2, 0, P, P, 0xFF, P},  // ldc #0xff,ccr
    {"0309", 2, 0, P, 0x0000006A, 0x6A, P},  // ldc r1l,ccr
    {"0208", 2, 0x2B, P, P, 0x2B, 0xA5A5A52B},  // stc ccr,r0l
    {"067F", 2, 0xFF, P, P, 0x7F, P},  // andc #0x7f,ccr
    {"0440", 2, 0x01, P, P, 0x41, P},  // orc #0x40,ccr
    {"0581", 2, 0x0F, P, P, 0x8E, P},  // xorc #0x81,ccr
    // Shifts and rotates
    {"1088", 2, 0, 0xA5A5A5C0, P, N|C, 0xA5A5A580},  // shal.b r0l
    {"1108", 2, 0, 0xA5A5A581, P, C, 0xA5A5A540},  // shlr.b r0l
    {"1188", 2, 0, 0xA5A5A581, P, N|C, 0xA5A5A5C0},  // shar.b r0l
    {"1208", 2, C, 0xA5A5A501, P, 0, 0xA5A5A503},  // rotxl.b r0l
    {"1288", 2, 0, 0xA5A5A581, P, C, 0xA5A5A503},  // rotl.b r0l
    {"1308", 2, C, 0xA5A5A582, P, N, 0xA5A5A5C1},  // rotxr.b r0l
    {"1388", 2, C, 0xA5A5A502, P, 0, 0xA5A5A501},  // rotr.b r0l
    {"1000", 2, V, 0xA5A581A5, P, C, 0xA5A502A5},  // shll.b r0h
    {"1010", 2, 0, 0xA5A58000, P, Z|C, 0xA5A50000},  // shll.w r0
    {"10B0", 2, 0, 0x40000000, P, N|V, 0x80000000},  // shal.l er0
    {"13B0", 2, 0, 0x00000001, P, N|C, 0x80000000},  // rotr.l er0
    {"1230", 2, 0, 0x80000000, P, Z|C, 0x00000000},  // rotxl.l er0
    {"1330", 2, 0, 0x00000001, P, Z|C, 0x00000000},  // rotxr.l er0
    // Multiply and divide: by zero the register stays and Z is set; an overflowing quotient
    // is truncated.
    {"5090", 14, Z|C, 0xA5A5A5FF, 0xA5A5A5FF, Z|C, 0xA5A5FE01},  // mulxu.b r1l,r0
    {"5210", 22, N, 0xA5A5FFFF, 0xA5A5FFFF, N, 0xFFFE0001},  // mulxu.w r1,er0
    {"01C0 5090", 16, 0, 0xA5A5A5FF, 0xA5A5A502, N, 0xA5A5FFFE},  // mulxs.b r1l,r0
    {"01C0 5090", 16, N|C, 0xA5A5A500, 0xA5A5A580, Z|C, 0xA5A50000},  // mulxs.b r1l,r0
    {"01C0 5090", 16, N, 0xA5A5A5D5, 0xA5A5A5FD, 0, 0xA5A50081},  // mulxs.b r1l,r0
    {"01C0 5210", 24, 0, 0xA5A5FFFF, 0xA5A50001, N, 0xFFFFFFFF},  // mulxs.w r1,er0
    {"01C0 5210", 24, N, 0xA5A58000, 0xA5A5FFFF, 0, 0x00008000},  // mulxs.w r1,er0
    {"5190", 14, 0, 0xA5A50101, 0xA5A5A580, N, 0xA5A50102},  // divxu.b r1l,r0
    {"5310", 22, 0, 0x00010001, 0xA5A58000, N, 0x00010002},  // divxu.w r1,er0
    {"5310", 22, 0, 0x12345678, 0xA5A50000, Z, 0x12345678},  // divxu.w r1,er0
    {"01D0 5190", 16, 0, 0xA5A5FFF9, 0xA5A5A502, N, 0xA5A5FFFD},  // divxs.b r1l,r0
    {"01D0 5190", 16, Z, 0xA5A5FFFF, 0xA5A5A505, 0, 0xA5A5FF00},  // divxs.b r1l,r0
    {"01D0 5190", 16, 0, 0xA5A51234, 0xA5A5A500, Z, 0xA5A51234},  // divxs.b r1l,r0
    {"01D0 5190", 16, 0, 0xA5A5FF80, 0xA5A5A5FF, N, 0xA5A50080},  // divxs.b r1l,r0
    {"01D0 5310", 24, 0, 0x80000000, 0xA5A5FFFF, 0, 0x00000000},  // divxs.w r1,er0
    {"01D0 5310", 24, 0, 0xFFFF8000, 0xA5A50002, N, 0x0000C000},  // divxs.w r1,er0
    {"01D0 5310", 24, 0, 0xFFFF8000, 0xA5A5FFFF, N, 0x00008000},  // divxs.w r1,er0
    // Bits
    {"7078", 2, Z, 0xA5A5A500, P, Z, 0xA5A5A580},  // bset #7,r0l
    {"7208", 2, 0, 0xA5A5A5FF, P, 0, 0xA5A5A5FE},  // bclr #0,r0l
    {"7318", 2, Z, 0xA5A5A502, P, 0, 0xA5A5A502},  // btst #1,r0l
    {"6218", 2, 0, 0xA5A5A5FF, 0xA5A502A5, 0, 0xA5A5A5FB},  // bclr r1h,r0l
    {"7728", 2, 0, 0xA5A5A504, P, C, 0xA5A5A504},  // bld #2,r0l
    {"77A8", 2, C, 0xA5A5A504, P, 0, 0xA5A5A504},  // bild #2,r0l
    {"6768", 2, C, 0xA5A5A500, P, C, 0xA5A5A540},  // bst #6,r0l
    {"67E8", 2, C, 0xA5A5A5FF, P, C, 0xA5A5A5BF},  // bist #6,r0l
    {"7608", 2, C, 0xA5A5A5FE, P, 0, 0xA5A5A5FE},  // band #0,r0l
    {"7688", 2, 0, 0xA5A5A5FE, P, 0, 0xA5A5A5FE},  // biand #0,r0l
    {"7478", 2, 0, 0xA5A5A580, P, C, 0xA5A5A580},  // bor #7,r0l
    {"7548", 2, C, 0xA5A5A510, P, 0, 0xA5A5A510},  // bxor #4,r0l
    {"75C8", 2, C, 0xA5A5A510, P, C, 0xA5A5A510},  // bixor #4,r0l
  });
}

// ER0 the data, ER2 the pointer, the operand the long at 0xFF00:
// code, states, CCR, ER0, ER2 -> CCR, ER0, ER2 (unset: unchanged), the long at 0xFF00.
TEST(CpuInstruction, MemoryOperands) {
  runRows(2, {
    {"6828", 4, Z|V|C, P, 0xFF00, C, 0xA5A5A511},  // mov.b @er2,r0l
    {"6920", 4, Z|V, P, 0xFFFFFF01, 0, 0xA5A51122},  // mov.w @er2,r0
    {"0100 6920", 8, 0, P, 0xFF06, N, 0x80020000},  // mov.l @er2,er0
    {"6C28", 6, Z|V|C, P, 0xFF00, C, 0xA5A5A511, 0xFF01},  // mov.b @er2+,r0l
    {"0100 6D20", 10, Z|V, P, 0xFF00, 0, M, 0xFF04},  // mov.l @er2+,er0
    {"0100 6DA0", 10, 0, P, 0xFF04, N, P, 0xFF00, 0xA5A5A5A5},  // mov.l er0,@-er2
    {"6E28 0001", 6, Z|V, P, 0xFEFF, 0, 0xA5A5A511},  // mov.b @(1,er2),r0l
    {"6F20 FFFE", 6, Z|V|C, P, 0xFF02, C, 0xA5A51122},  // mov.w @(-2,er2),r0
    {"0100 6FA0 0002", 10, 0, 0, 0xFEFE, Z, 0, {}, 0x00000000},  // mov.l er0,@(2,er2)
    {"7820 6AA8 00001000", 10, 0, 0x00000080, 0xEF00, N, 0x00000080, {}, 0x80223344},  // mov.b r0l,@(0x1000:24,er2)
    {"0100 7820 6B20 00001000", 14, Z|V, P, 0xEF00, 0, M},  // mov.l @(0x1000:24,er2),er0
    {"6A08 FF03", 6, Z|V, P, P, 0, 0xA5A5A544},  // mov.b @0xff03:16,r0l
    {"6B80 FF02", 6, 0, P, P, N, P, {}, 0x1122A5A5},  // mov.w r0,@0xff02:16
    {"0100 6B80 FF00", 10, 0, P, P, N, P, {}, 0xA5A5A5A5},  // mov.l er0,@0xff00:16
    {"6AA8 0000FF00", 8, 0, P, P, N, P, {}, 0xA5223344},  // mov.b r0l,@0xff00:24
    {"0100 6B20 0000FF00", 12, Z|V|C, P, P, C, M},  // mov.l @0xff00:24,er0
    {"2801", 4, Z|V, P, P, 0, 0xA5A5A522},  // mov.b @0x01:8,r0l
    {"3000", 4, 0, P, P, N, P, {}, 0xA5223344},  // mov.b r0h,@0x00:8
    {"6AC8 FF00", 6, 0, P, P, N, P, {}, 0xA5223344},  // movtpe r0l,@0xff00:16
    {"0140 6920", 6, 0, P, 0xFF06, 0x80, P},  // ldc @er2,ccr
    {"0140 6D20", 8, 0, P, 0xFF00, 0x11, P, 0xFF02},  // ldc @er2+,ccr
    {"0140 6F20 0002", 8, 0, P, 0xFEFE, 0x11, P},  // ldc @(2,er2),ccr
    {"0140 6B80 FF00", 8, 0x05, P, P, 0x05, P, {}, 0x05053344},  // stc ccr,@0xff00:16
    {"0140 6DA0", 8, 0x40, P, 0xFF02, 0x40, P, 0xFF00, 0x40403344},  // stc ccr,@-er2
    {"0140 6BA0 0000FF00", 10, 0x05, P, P, 0x05, P, {}, 0x05053344},  // stc ccr,@0xff00:24
    {"0140 7820 6B20 00001000", 12, 0, P, 0xEF00, 0x11, P},  // ldc @(0x1000:24,er2),ccr
    {"0140 7820 6BA0 00001000", 12, 0x81, P, 0xEF00, 0x81, P, {}, 0x81813344},  // stc ccr,@(0x1000:24,er2)
    {"7D20 7070", 8, 0, P, 0xFF00, 0, P, {}, 0x91223344},  // bset #7,@er2
    {"7C20 6380", 6, C, P, 0xFF00, Z|C, P},  // btst r0l,@er2
    {"7F00 6180", 8, 0, 0xA5A5A0A4, P, 0, 0xA5A5A0A4, {}, 0x01223344},  // bnot r0l,@0x00:8
    {"7E00 7780", 6, C, P, P, 0, P},  // bild #0,@0x00:8
  });
}

// Normal mode: 16-bit return addresses. ER0 = 0x12343002 and SP 0xFF04: pushes land in the long
// at 0xFF00, pops read 0x2B02 0x8002; targets keep bit 1 set, so a PC mask that drops it shows.
// code, states, CCR, ER0, SP -> CCR, ER0, SP, the long at 0xFF00, PC.
TEST(CpuInstruction, BranchesCallsReturnsAndStack) {
  runRows(7, {
    {"5520", 6, 0, 0x12343002, 0xFF04, 0, 0x12343002, 0xFF02, 0x11221002, 0x1022},  // bsr .+0x22
    {"5C00 0FFE", 8, 0, 0x12343002, 0xFF04, 0, 0x12343002, 0xFF02, 0x11221004, 0x2002},  // bsr .+0x1002
    {"5900", 4, 0, 0x12343002, 0xFF04, 0, 0x12343002, {}, M, 0x3002},  // jmp @er0
    {"5A00 4446", 6, 0, 0x12343002, 0xFF04, 0, 0x12343002, {}, M, 0x4446},  // jmp @0x4446:24
    {"5B10", 8, 0, 0x12343002, 0xFF04, 0, 0x12343002, {}, M, 0x4002},  // jmp @@0x10:8
    {"5D00", 6, 0, 0x12343002, 0xFF04, 0, 0x12343002, 0xFF02, 0x11221002, 0x3002},  // jsr @er0
    {"5E00 4446", 8, 0, 0x12343002, 0xFF04, 0, 0x12343002, 0xFF02, 0x11221004, 0x4446},  // jsr @0x4446:24
    {"5F10", 8, 0, 0x12343002, 0xFF04, 0, 0x12343002, 0xFF02, 0x11221002, 0x4002},  // jsr @@0x10:8
    {"5470", 8, C, 0x12343002, 0xFF04, C, 0x12343002, 0xFF06, M, 0x2B02},  // rts
    {"5670", 10, I, 0x12343002, 0xFF04, 0x2B, 0x12343002, 0xFF08, M, 0x8002},  // rte
    {"6DF0", 6, Z|V|C, 0x12343002, 0xFF04, C, 0x12343002, 0xFF02, 0x11223002},  // push.w r0
    {"0100 6DF0", 10, 0, 0x12343002, 0xFF04, 0, 0x12343002, 0xFF00, 0x12343002},  // push.l er0
    {"6D70", 6, N, 0x12343002, 0xFF04, 0, 0x12342B02, 0xFF06},  // pop.w r0
    {"0100 6D70", 10, 0, 0x12343002, 0xFF04, 0, 0x2B028002, 0xFF08},  // pop.l er0
  });
}

// TRAPA and SLEEP stop after the instruction; an undefined encoding stops at it with nothing
// changed.
TEST(CpuStops, TrapaSleepAndUndefinedEncodings) {
  for (const char* code : {"0001", "0110", "5740", "0A18", "7B5C 598E", "0100 6D08", "7D00 7300",
                           "7A70 00000000"}) {
    runRows(1, {{code, 0, 0x0F, P, P, 0x0F, P, {}, M, 0x1000, h8::STOP_UNDEFINED}});
  }
  runRows(1, {
    {"5700", 14, 0, P, P, 0, P, {}, M, 0, h8::STOP_TRAP0},  // trapa #0
    {"5710", 14, 0, P, P, 0, P, {}, M, 0, h8::STOP_TRAP0 + 1},  // trapa #1
    {"5720", 14, 0, P, P, 0, P, {}, M, 0, h8::STOP_TRAP0 + 2},  // trapa #2
    {"5730", 14, 0, P, P, 0, P, {}, M, 0, h8::STOP_TRAP0 + 3},  // trapa #3
    {"0180", 2, 0, P, P, 0, P, {}, M, 0, h8::STOP_SLEEP},  // sleep
  });
}
// clang-format on

// Bcc d:8 and d:16 back by 0x10 and 0xFE for every condition over every N, Z, V, C; `taken` is
// the manual's table.
TEST(CpuInstruction, ConditionalBranches) {
  for (int cc = 0; cc < 16; ++cc) {
    for (uint8_t f = 0; f < 16; ++f) {
      const bool n = f & N, z = f & Z, v = f & V, c = f & C;
      // clang-format off
      const bool taken[16] = {true, false, !(c || z), c || z, !c, c, !z, z, !v, v, !n, n,
                              n == v, n != v, !z && n == v, z || n != v};
      // clang-format on
      char d8[16], d16[16];
      std::snprintf(d8, sizeof d8, "4%XF0", cc);         // bcc .-0x0E
      std::snprintf(d16, sizeof d16, "58%X0 FF02", cc);  // bcc .-0xFA
      runRows(1, {{d8, 4, f, P, P, f, P, {}, M, taken[cc] ? 0x0FF2u : 0x1002u},
                  {d16, 6, f, P, P, f, P, {}, M, taken[cc] ? 0x0F06u : 0x1004u}});
    }
  }
}

// DAA and DAS over every input the manual's tables define: C and H before, the ranges of the
// upper and lower digit, the value added and C after; the first 9 rules are DAA's, the rest DAS's.
TEST(CpuInstruction, DecimalAdjustOverTheWholeTables) {
  const int rules[13][8] = {
      {0, 0, 0x0, 0x9, 0x0, 0x9, 0x00, 0}, {0, 0, 0x0, 0x8, 0xA, 0xF, 0x06, 0},
      {0, 1, 0x0, 0x9, 0x0, 0x3, 0x06, 0}, {0, 0, 0xA, 0xF, 0x0, 0x9, 0x60, 1},
      {0, 0, 0x9, 0xF, 0xA, 0xF, 0x66, 1}, {0, 1, 0xA, 0xF, 0x0, 0x3, 0x66, 1},
      {1, 0, 0x0, 0x2, 0x0, 0x9, 0x60, 1}, {1, 0, 0x0, 0x2, 0xA, 0xF, 0x66, 1},
      {1, 1, 0x0, 0x3, 0x0, 0x3, 0x66, 1}, {0, 0, 0x0, 0x9, 0x0, 0x9, 0x00, 0},
      {0, 1, 0x0, 0x8, 0x6, 0xF, 0xFA, 0}, {1, 0, 0x7, 0xF, 0x0, 0x9, 0xA0, 1},
      {1, 1, 0x6, 0xF, 0x6, 0xF, 0x9A, 1}};
  int checked = 0;
  for (int i = 0; i < 13; ++i) {
    const auto& [c, h, upperLow, upperHigh, lowerLow, lowerHigh, add, cOut] = rules[i];
    for (int upper = upperLow; upper <= upperHigh; ++upper) {
      for (int lower = lowerLow; lower <= lowerHigh; ++lower) {
        const uint32_t a = uint32_t(upper << 4 | lower), r = (a + add) & 0xFF;
        SCOPED_TRACE(testing::Message() << "rule " << i << " value " << a);
        Machine m;
        m.load(hex(i < 9 ? "0F08" : "1F08"));  // daa r0l / das r0l
        m.cpu.regs.er[0] = 0xA5A5A500 | a;
        m.cpu.regs.ccr = uint8_t((c ? C : 0) | (h ? H : 0));
        EXPECT_EQ(m.cpu.run(1), h8::RUN_CONTINUES);
        EXPECT_EQ(m.cpu.regs.er[0], 0xA5A5A500 | r);
        EXPECT_EQ(m.cpu.regs.ccr & (N | Z | C), (r & 0x80 ? N : 0) | (r ? 0 : Z) | (cOut ? C : 0));
        ++checked;
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
  // mov.b r0l,@0x2000:16; mov.b @0x2080:16,r1l; mov.w r0,@0xff91:16 (even: 0xff90);
  // mov.l @0xff94:16,er2; bnot #0,@0x98:8; sleep
  m.load(hex("6A88 2000 6A09 2080 6B80 FF91 0100 6B02 FF94 7F98 7100 0180"));
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
  const std::string branches =
      " BRA BRN BHI BLS BCC BCS BNE BEQ BVC BVS BPL BMI BGE BLT BGT BLE "
      "BSR JMP JSR RTS RTE ";
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
      if (branches.find(" " + std::string(e->mnemonic) + " ") == std::string::npos) {
        EXPECT_EQ(m.cpu.regs.pc, 0x1000u + 2 * e->length);
      }
    }
  }
  EXPECT_GT(defined, 60000);
}

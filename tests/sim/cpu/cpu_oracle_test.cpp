// A program assembled by the GNU H8 assembler (h8300-hms-as, .h8300h), linked at 0x1000 and run
// until SLEEP; results checked against values worked out here. Skipped where the tools are absent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "fake_cpu_bus.h"

using namespace h8test;

namespace {

#ifdef _WIN32
const std::string QUIET = " >NUL 2>&1";
#else
const std::string QUIET = " >/dev/null 2>&1";
#endif

// The program's bytes from 0x1000 on, or empty when a tool failed.
Bytes assemble(const std::string& source) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::temp_directory_path() / ("h8cpu_oracle_" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  std::ofstream(dir / "p.s") << "\t.h8300h\n\t.section .text\n" << source << "\n";
  const std::string p = "\"" + (dir / "p").string();
  const std::string command = "h8300-hms-as -o " + p + ".o\" " + p + ".s\"" + QUIET +
                              " && h8300-hms-ld -mh8300h -Ttext 0x1000 -o " + p + ".out\" " + p +
                              ".o\"" + QUIET + " && h8300-hms-objcopy -O binary " + p + ".out\" " +
                              p + ".bin\"" + QUIET;
  Bytes bytes;
  if (std::system(command.c_str()) == 0) {
    std::ifstream in(dir / "p.bin", std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return bytes;
}

// Five computations in a row, each leaving its result in memory or registers.
const char* const PROGRAM = R"(
        mov.l   #0xFF00,er7
        mov.l   #text,er5           ; crc32 of 123456789 (shifts, xor.l, @er5+, loops)
        mov.w   #9,r4
        mov.l   #0xFFFFFFFF,er0
        mov.l   #0xEDB88320,er3
byte:   mov.b   @er5+,r1l
        extu.w  r1
        extu.l  er1
        xor.l   er1,er0
        mov.b   #8,r2l
bit:    shlr.l  er0
        bcc     skip
        xor.l   er3,er0
skip:   dec.b   r2l
        bne     bit
        dec.w   #1,r4
        bne     byte
        not.l   er0
        mov.l   er0,@0xF810:16
        mov.w   #7,r4               ; signed bubble sort (cmp.b, ble, @(d,er5))
pass:   mov.l   #data,er5
        mov.w   #7,r3
inner:  mov.b   @er5,r0l
        mov.b   @(1,er5),r0h
        cmp.b   r0h,r0l
        ble     keep
        mov.b   r0h,@er5
        mov.b   r0l,@(1,er5)
keep:   adds    #1,er5
        dec.w   #1,r3
        bne     inner
        dec.w   #1,r4
        bne     pass
        mov.l   #words,er5          ; signed average times -3 (exts.l, divxs.w, mulxs.w, shar.l)
        sub.l   er0,er0
        mov.w   #4,r3
sum:    mov.w   @er5+,r1
        exts.l  er1
        add.l   er1,er0
        dec.w   #1,r3
        bne     sum
        mov.w   #4,r2
        divxs.w r2,er0
        exts.l  er0
        mov.w   #-3,r1
        mulxs.w r1,er0
        shar.l  er0
        mov.l   er0,@0xF818:16
        mov.l   #65535,er0          ; decimal digits (divxu.w, @-er6, eepmov.b)
        mov.l   #0xF805,er6
        mov.w   #10,r2
digit:  divxu.w r2,er0
        mov.w   e0,r3
        add.b   #0x30,r3l
        mov.b   r3l,@-er6
        extu.l  er0
        bne     digit
        mov.l   er6,er5
        mov.l   #0xF900,er6
        mov.b   #5,r4l
        eepmov.b
        mov.w   #8,r0               ; recursive factorial (bsr, jsr, rts, push, pop, mulxu.w)
        bsr     fact
        mov.w   r1,@0xF814:16
        mov.l   #data,er1
        sleep
fact:   cmp.w   #1,r0
        bhi     deeper
        mov.w   #1,r1
        rts
deeper: push.w  r0
        dec.w   #1,r0
        jsr     @fact
        pop.w   r0
        mulxu.w r0,er1
        rts
words:  .word   -1000,300,-7,2
data:   .byte   5,-3,127,-128,0,42,-1,7
text:   .ascii  "123456789")";

}  // namespace

TEST(CpuOracle, AssembledProgramRunsToSleep) {
  for (const std::string tool : {"as", "ld", "objcopy"}) {
    if (std::system(("h8300-hms-" + tool + " --version" + QUIET).c_str()) != 0)
      GTEST_SKIP() << "h8300-hms-" << tool << " not installed";
  }
  const Bytes code = assemble(PROGRAM);
  ASSERT_FALSE(code.empty()) << "the assembler or linker failed";
  Machine m;
  m.load(code);
  EXPECT_EQ(m.cpu.run(100000), h8::STOP_SLEEP);
  EXPECT_EQ(m.get32(0xF810), 0xCBF43926u);  // crc32
  EXPECT_EQ(m.get16(0xF814), 40320u);       // 8!
  const uint8_t* data = m.bus.memory + (m.cpu.regs.er[1] & 0xFFFF);
  EXPECT_EQ(Bytes(data, data + 8), hex("80FDFF00 05072A7F"));  // sorted
  EXPECT_EQ(m.get32(0xF818), 264u);  // (-705 / 4 = -176) * -3 = 528, halved
  EXPECT_EQ(std::string(m.bus.memory + 0xF900, m.bus.memory + 0xF905), "65535");
  EXPECT_EQ(m.cpu.regs.er[5], 0xF805u);
  EXPECT_EQ(m.cpu.regs.er[6], 0xF905u);
  EXPECT_EQ(m.cpu.regs.er[4] & 0xFF, 0u);
  EXPECT_EQ(m.cpu.regs.er[7], 0xFF00u);
}

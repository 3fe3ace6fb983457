// Runs compute-bound H8/300H programs on the core and prints instructions per second and the
// simulated time at 16 MHz. Usage: cpu_bench [millions of instructions per program, default 300]
//
// The programs were assembled with h8300-hms-as (.h8300h) and linked at 0x1000; each loops
// forever, so the budget alone ends a run. It is run in slices as the board's monitor does.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sim/cpu/cpu.h"

namespace {

// The H8/3664's map: flash 0x0000-0x7FFF, I/O 0xF700-0xF77F and 0xFF80-0xFFFF, RAM between.
class BenchBus : public h8::CpuBus {
 public:
  BenchBus() {
    for (int page = 0; page < 512; ++page) {
      uint32_t a = uint32_t(page) << 7;
      regions[page] = a < 0x8000                  ? h8::Region::ROM
                      : a >= 0xF780 && a < 0xFF80 ? h8::Region::RAM
                      : a >= 0xF700               ? h8::Region::IO
                                                  : h8::Region::NONE;
    }
  }
  uint8_t ioRead(uint16_t) override { return 0; }
  void ioWrite(uint16_t, uint8_t value) override { sink ^= value; }
  uint8_t sink = 0;
};

struct Program {
  const char* name;
  std::vector<uint8_t> code;
};

// clang-format off
const Program PROGRAMS[] = {
    // CRC-32, bit by bit, over 256 bytes at 0xF800:
    //   start: mov.l #0xF800,er5 / mov.w #256,r4 / mov.l #-1,er0 / mov.l #0xEDB88320,er3
    //   byte:  mov.b @er5+,r1l / extu.w r1 / extu.l er1 / xor.l er1,er0 / mov.b #8,r2l
    //   bit:   shlr.l er0 / bcc skip / xor.l er3,er0
    //   skip:  dec.b r2l / bne bit / dec.w #1,r4 / bne byte / not.l er0
    //          mov.l er0,@0xF700:16 / bra start
    {"crc32", {
        0x7a, 0x05, 0x00, 0x00, 0xf8, 0x00, 0x79, 0x04, 0x01, 0x00, 0x7a, 0x00,
        0xff, 0xff, 0xff, 0xff, 0x7a, 0x03, 0xed, 0xb8, 0x83, 0x20, 0x6c, 0x59,
        0x17, 0x51, 0x17, 0x71, 0x01, 0xf0, 0x65, 0x10, 0xfa, 0x08, 0x11, 0x30,
        0x44, 0x04, 0x01, 0xf0, 0x65, 0x30, 0x1a, 0x0a, 0x46, 0xf4, 0x1b, 0x54,
        0x46, 0xe4, 0x17, 0x30, 0x01, 0x00, 0x6b, 0x80, 0xf7, 0x00, 0x40, 0xc4}},
    // Sieve of Eratosthenes over 1792 flags at 0xF800 (mulxu.w for i*i, cmp.l, bytes through
    // @er6 and @er6+), then the primes counted into r4 and stored to I/O.
    {"sieve", {
      0x7a, 0x05, 0x00, 0x00, 0xf8, 0x00, 0x0f, 0xd6, 0x79, 0x03, 0x07, 0x00,
      0xf8, 0x01, 0x18, 0x00, 0x68, 0xe8, 0x0b, 0x06, 0x1b, 0x53, 0x46, 0xf8,
      0x7a, 0x01, 0x00, 0x00, 0x00, 0x02, 0x0f, 0x92, 0x52, 0x12, 0x7a, 0x22,
      0x00, 0x00, 0x07, 0x00, 0x44, 0x1c, 0x0f, 0xd6, 0x0a, 0x96, 0x68, 0x68,
      0x47, 0x10, 0x0f, 0xd6, 0x0a, 0xa6, 0x68, 0xe0, 0x0a, 0x92, 0x7a, 0x22,
      0x00, 0x00, 0x07, 0x00, 0x45, 0xf0, 0x0b, 0x71, 0x40, 0xd8, 0x79, 0x04,
      0x00, 0x00, 0x0f, 0xd6, 0x79, 0x03, 0x07, 0x00, 0x6c, 0x68, 0x08, 0x8c,
      0x94, 0x00, 0x1b, 0x53, 0x46, 0xf6, 0x6b, 0x84, 0xf7, 0x00, 0x40, 0xa0}},
    // Bubble sort of 256 words at 0xF800 filled from a 16-bit LCG (mulxu.w, add.w #imm),
    // compared with cmp.w and swapped through @er6 and @(2,er6).
    {"sort", {
        0x7a, 0x05, 0x00, 0x00, 0xf8, 0x00, 0x79, 0x00, 0x12, 0x34, 0x0f, 0xd6,
        0x79, 0x03, 0x01, 0x00, 0x79, 0x01, 0x62, 0x55, 0x52, 0x10, 0x79, 0x10,
        0x36, 0x19, 0x17, 0x70, 0x69, 0xe0, 0x0b, 0x86, 0x1b, 0x53, 0x46, 0xec,
        0x79, 0x04, 0x00, 0xff, 0x0f, 0xd6, 0x0d, 0x43, 0x69, 0x61, 0x6f, 0x62,
        0x00, 0x02, 0x1d, 0x12, 0x44, 0x06, 0x69, 0xe2, 0x6f, 0xe1, 0x00, 0x02,
        0x0b, 0x86, 0x1b, 0x53, 0x46, 0xea, 0x1b, 0x54, 0x46, 0xe2, 0x40, 0xb8}},
};
// clang-format on

constexpr uint64_t SLICE = 20000;  // instructions per run(), as the board's monitor uses

}  // namespace

int main(int argc, char** argv) {
  uint64_t budget = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 300) * 1000000ull;
  double totalInstructions = 0, totalSeconds = 0;
  std::printf("%-8s %14s %10s %12s %16s\n", "program", "instructions", "seconds", "MIPS",
              "at 16 MHz (s)");
  for (const Program& p : PROGRAMS) {
    BenchBus bus;
    std::memcpy(bus.memory + 0x1000, p.code.data(), p.code.size());
    h8::H8Cpu cpu(bus);
    cpu.regs.pc = 0x1000;
    cpu.regs.er[7] = 0xFF7C;
    auto begin = std::chrono::steady_clock::now();
    while (cpu.instructions < budget) {
      int stop = cpu.run(SLICE);
      if (stop != h8::RUN_CONTINUES) {
        std::printf("%s stopped with code %d at 0x%04X\n", p.name, stop, unsigned(cpu.regs.pc));
        return 1;
      }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    totalInstructions += double(cpu.instructions);
    totalSeconds += seconds;
    std::printf("%-8s %14llu %10.3f %12.1f %16.3f\n", p.name,
                static_cast<unsigned long long>(cpu.instructions), seconds,
                double(cpu.instructions) / seconds / 1e6, double(cpu.states) / 16e6);
  }
  std::printf("%-8s %14.0f %10.3f %12.1f\n", "all", totalInstructions, totalSeconds,
              totalInstructions / totalSeconds / 1e6);
  return 0;
}

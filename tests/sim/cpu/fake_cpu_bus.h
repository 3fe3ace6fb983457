// The core's test harness: a bus that is RAM everywhere unless a test marks pages otherwise, and
// a machine that loads code and fills the registers.
//
//   FakeCpuBus::io       every I/O access in order; reads return ioValue
//   FakeCpuBus::events   the state counts event() was called with (each call disarms eventAt)
//   Machine()            ER0..ER7 = P, CCR 0, PC 0x1000
//   load(code, at)       copy code to `at` and set PC there
//   put16/put32/get32    big-endian memory fields
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "sim/cpu/cpu.h"

namespace h8test {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t P = 0xA5A5A5A5;  // what registers hold unless a row says otherwise
constexpr uint8_t I = 0x80, UI = 0x40, H = 0x20, U = 0x10, N = 0x08, Z = 0x04, V = 0x02, C = 0x01;

struct FakeCpuBus : h8::CpuBus {
  struct Access {
    uint16_t address;
    uint8_t value;
    bool write;
    bool operator==(const Access&) const = default;
  };
  FakeCpuBus() { std::fill(std::begin(regions), std::end(regions), h8::Region::RAM); }
  uint8_t ioRead(uint16_t address) override {
    io.push_back({address, ioValue, false});
    return ioValue;
  }
  void ioWrite(uint16_t address, uint8_t value) override { io.push_back({address, value, true}); }
  void event(uint64_t states) override {
    events.push_back(states);
    eventAt = UINT64_MAX;
  }
  std::vector<Access> io;
  std::vector<uint64_t> events;
  uint8_t ioValue = 0x5A;
};

struct Machine {
  Machine() { std::fill(std::begin(cpu.regs.er), std::end(cpu.regs.er), P); }
  void load(const Bytes& code, uint16_t at = 0x1000) {
    std::copy(code.begin(), code.end(), bus.memory + at);
    cpu.regs.pc = at;
  }
  void put16(uint16_t a, uint32_t v) {
    bus.memory[a] = uint8_t(v >> 8);
    bus.memory[a + 1] = uint8_t(v);
  }
  void put32(uint16_t a, uint32_t v) {
    put16(a, v >> 16);
    put16(uint16_t(a + 2), v);
  }
  uint32_t get16(uint16_t a) const { return uint32_t(bus.memory[a]) << 8 | bus.memory[a + 1]; }
  uint32_t get32(uint16_t a) const { return get16(a) << 16 | get16(uint16_t(a + 2)); }

  FakeCpuBus bus;
  h8::H8Cpu cpu{bus};
};

}  // namespace h8test

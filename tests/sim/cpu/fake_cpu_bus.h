// The core's test harness: a bus that is RAM everywhere unless a test marks pages otherwise, and
// a machine that loads code and fills the registers.
//
//   hex("7A10 0000 0001")  the bytes a string of hex digits spells (spaces ignored)
//   FakeCpuBus::io         every I/O access in order; reads return ioValue
//   FakeCpuBus::events     the state counts event() was called with (each call disarms eventAt)
//   Machine()              ER0..ER7 = P, CCR 0, PC 0x1000
//   put(at, bytes)         copy bytes to memory; load(code, at) also sets PC there
//   get16/get32            big-endian memory fields
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "sim/cpu/cpu.h"

namespace h8test {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t P = 0xA5A5A5A5;  // what registers hold unless a row says otherwise
constexpr uint8_t I = 0x80, H = 0x20, N = 0x08, Z = 0x04, V = 0x02, C = 0x01;

inline Bytes hex(std::string digits) {
  std::erase(digits, ' ');
  Bytes bytes;
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    bytes.push_back(uint8_t(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return bytes;
}

struct FakeCpuBus : h8::CpuBus {
  using Access = std::tuple<uint16_t, uint8_t, bool>;  // address, value, write
  FakeCpuBus() { std::fill(std::begin(regions), std::end(regions), h8::Region::RAM); }
  uint8_t ioRead(uint16_t address) override {
    io.emplace_back(address, ioValue, false);
    return ioValue;
  }
  void ioWrite(uint16_t address, uint8_t value) override { io.emplace_back(address, value, true); }
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
  void put(uint16_t at, const Bytes& b) { std::copy(b.begin(), b.end(), bus.memory + at); }
  void load(const Bytes& code, uint16_t at = 0x1000) {
    put(at, code);
    cpu.regs.pc = at;
  }
  uint32_t get16(uint16_t a) const { return uint32_t(bus.memory[a]) << 8 | bus.memory[a + 1]; }
  uint32_t get32(uint16_t a) const { return get16(a) << 16 | get16(uint16_t(a + 2)); }

  FakeCpuBus bus;
  h8::H8Cpu cpu{bus};
};

}  // namespace h8test

// Big-endian field helpers shared by the link, loader, disassembler and simulator.
//
//   load16/load24/load32(p)   read an unsigned field, most significant byte first
//   store16/store32(p, v)     write a field, most significant byte first
//   signExtend8/signExtend16  widen a two's-complement field to 32 bits
#pragma once

#include <cstdint>

namespace h8 {

inline uint32_t load16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }
inline uint32_t load24(const uint8_t* p) {
  return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
}
inline uint32_t load32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline void store16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}
inline void store32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}
inline uint32_t signExtend8(uint32_t v) { return uint32_t(int32_t(int8_t(uint8_t(v)))); }
inline uint32_t signExtend16(uint32_t v) { return uint32_t(int32_t(int16_t(uint16_t(v)))); }

}  // namespace h8

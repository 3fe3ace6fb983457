// The H8/300H interpreter. One switch on the first opcode byte (a jump table), with the second
// byte and any further opcode word checked in place; an encoding the CPU does not define stops
// with STOP_UNDEFINED before anything changes.
//
// Choices where the programming manual leaves the result open:
// - DIVXU/DIVXS by zero: the destination register is left unchanged; Z = 1, N = 0.
// - DIVXU/DIVXS whose quotient does not fit: the quotient is truncated to the destination width
//   (H'80000000 / -1 by DIVXS.W gives quotient 0, remainder 0); N = sign of that quotient.
// - DAA/DAS outside the manual's input table: the same adjustment rule (add 6 to a low digit
//   above 9 or with H set, 0x60 to a value above 0x99 or with C set); H and V are left unchanged.
// - MOVFPE/MOVTPE: plain byte transfers with MOV.B's flags, 6 states (the H8/3664 has no E clock).
// - STC CCR to memory writes CCR into both bytes of the word; LDC from memory takes the upper
//   (even address) byte. RTE pops the normal-mode exception frame: a word with CCR in the upper
//   byte (the lower byte is ignored), then the 16-bit PC.
// - EEPMOV.B/.W run to completion as one instruction (8 + 4n states) and take no interrupt.
// - TRAPA counts its normal-mode 14 states although the core stops instead of vectoring.
// - MOV Rn,@-ERn with the same register stores the value from before the decrement.
// - States: 2 per on-chip access, I/O included (the H8/3664's 8-bit I/O registers take 2 or 3;
//   all are counted as 2), 1 per internal operation. An instruction whose extension words run
//   into an IO or unmapped page stops with STOP_ADDRESS_ERROR like a fetch from such a page.
#include "sim/cpu/cpu.h"

#include <array>
#include <bit>

namespace h8 {
namespace {

constexpr int OK = -1;  // step(): the instruction ran, no stop

struct AddressFault {};  // an extension word lies on a page the CPU cannot fetch from

inline bool fetchable(Region r) { return r == Region::RAM || r == Region::ROM; }

inline uint32_t sext8(uint32_t v) { return uint32_t(int32_t(int8_t(v))); }
inline uint32_t sext16(uint32_t v) { return uint32_t(int32_t(int16_t(v))); }

template <int B>
constexpr uint32_t MASK = B == 32 ? 0xFFFFFFFFu : (1u << B) - 1;

// The working state of one run(): PC, the flags unpacked, the state counter.
struct Core {
  explicit Core(H8Cpu& cpu)
      : bus(cpu.bus), mem(cpu.bus.memory), region(cpu.bus.regions), er(cpu.regs.er) {
    pc = cpu.regs.pc & 0xFFFE;
    setCcr(cpu.regs.ccr);
    st = cpu.states;
  }

  CpuBus& bus;
  uint8_t* mem;
  const Region* region;
  uint32_t* er;
  uint32_t pc;
  uint32_t C, V, Z, N, H, upper;  // upper: I, UI and U in their CCR places
  uint64_t st;

  uint8_t ccr() const { return uint8_t(upper | H << 5 | N << 3 | Z << 2 | V << 1 | C); }
  void setCcr(uint32_t v) {
    upper = v & 0xD0;
    H = (v >> 5) & 1;
    N = (v >> 3) & 1;
    Z = (v >> 2) & 1;
    V = (v >> 1) & 1;
    C = v & 1;
  }

  // Registers by their 4-bit field: bytes R0H..R7H, R0L..R7L; words R0..R7, E0..E7.
  uint32_t rb(uint32_t r) const { return (er[r & 7] >> (~r & 8)) & 0xFF; }
  void wb(uint32_t r, uint32_t v) {
    uint32_t s = ~r & 8;
    uint32_t& x = er[r & 7];
    x = (x & ~(0xFFu << s)) | ((v & 0xFF) << s);
  }
  uint32_t rw(uint32_t r) const { return (er[r & 7] >> ((r & 8) << 1)) & 0xFFFF; }
  void ww(uint32_t r, uint32_t v) {
    uint32_t s = (r & 8) << 1;
    uint32_t& x = er[r & 7];
    x = (x & ~(0xFFFFu << s)) | ((v & 0xFFFF) << s);
  }
  template <int B>
  uint32_t get(uint32_t r) const {
    if constexpr (B == 8) return rb(r);
    if constexpr (B == 16) return rw(r);
    return er[r & 7];
  }
  template <int B>
  void set(uint32_t r, uint32_t v) {
    if constexpr (B == 8) wb(r, v);
    if constexpr (B == 16) ww(r, v);
    if constexpr (B == 32) er[r & 7] = v;
  }

  // Memory by 16-bit address.
  uint32_t rd8(uint32_t a) {
    a &= 0xFFFF;
    Region r = region[a >> 7];
    if (fetchable(r)) return mem[a];
    if (r != Region::IO) return 0xFF;
    bus.now = st;
    return bus.ioRead(uint16_t(a));
  }
  uint32_t rd16(uint32_t a) {
    a &= 0xFFFE;
    if (fetchable(region[a >> 7])) return uint32_t(mem[a]) << 8 | mem[a + 1];
    return rd8(a) << 8 | rd8(a + 1);
  }
  uint32_t rd32(uint32_t a) {
    uint32_t high = rd16(a);
    return high << 16 | rd16((a & 0xFFFE) + 2);
  }
  void wr8(uint32_t a, uint32_t v) {
    a &= 0xFFFF;
    Region r = region[a >> 7];
    if (r == Region::RAM) {
      mem[a] = uint8_t(v);
    } else if (r == Region::IO) {
      bus.now = st;
      bus.ioWrite(uint16_t(a), uint8_t(v));
    }
  }
  void wr16(uint32_t a, uint32_t v) {
    a &= 0xFFFE;
    if (region[a >> 7] == Region::RAM) {
      mem[a] = uint8_t(v >> 8);
      mem[a + 1] = uint8_t(v);
    } else {
      wr8(a, v >> 8);
      wr8(a + 1, v);
    }
  }
  void wr32(uint32_t a, uint32_t v) {
    wr16(a, v >> 16);
    wr16((a & 0xFFFE) + 2, v);
  }
  template <int B>
  uint32_t load(uint32_t a) {
    if constexpr (B == 8) return rd8(a);
    if constexpr (B == 16) return rd16(a);
    return rd32(a);
  }
  template <int B>
  void store(uint32_t a, uint32_t v) {
    if constexpr (B == 8) wr8(a, v);
    if constexpr (B == 16) wr16(a, v);
    if constexpr (B == 32) wr32(a, v);
  }

  // The instruction word at pc + off (off > 0: an extension word).
  uint32_t fetch(uint32_t off) {
    uint32_t a = (pc + off) & 0xFFFF;
    if ((a & 0x7F) == 0 && !fetchable(region[a >> 7])) throw AddressFault{};
    return uint32_t(mem[a]) << 8 | mem[a + 1];
  }
  uint32_t fetch32(uint32_t off) { return fetch(off) << 16 | fetch(off + 2); }

  void push16(uint32_t v) {
    er[7] -= 2;
    wr16(er[7], v);
  }
  uint32_t pop16() {
    uint32_t v = rd16(er[7]);
    er[7] += 2;
    return v;
  }

  // Flags.
  template <int B>
  void nz(uint32_t r) {
    N = (r >> (B - 1)) & 1;
    Z = r == 0;
  }
  template <int B>
  void logic(uint32_t r) {
    nz<B>(r);
    V = 0;
  }
  // a + b + cin. With `keepZ` (ADDX), Z can only be cleared.
  template <int B, bool keepZ = false>
  uint32_t add(uint32_t a, uint32_t b, uint32_t cin = 0) {
    uint64_t full = uint64_t(a) + b + cin;
    uint32_t r = uint32_t(full) & MASK<B>;
    C = uint32_t(full >> B) & 1;
    V = (((a ^ r) & (b ^ r)) >> (B - 1)) & 1;
    H = ((a ^ b ^ r) >> (B - 4)) & 1;
    N = r >> (B - 1);
    Z = keepZ ? Z & (r == 0) : r == 0;
    return r;
  }
  // a - b - cin, C and H the borrows out of the top bit and bit 3 / 11 / 27.
  template <int B, bool keepZ = false>
  uint32_t sub(uint32_t a, uint32_t b, uint32_t cin = 0) {
    uint64_t full = uint64_t(a) - b - cin;
    uint32_t r = uint32_t(full) & MASK<B>;
    C = uint32_t(full >> B) & 1;
    V = (((a ^ b) & (a ^ r)) >> (B - 1)) & 1;
    H = ((a ^ b ^ r) >> (B - 4)) & 1;
    N = r >> (B - 1);
    Z = keepZ ? Z & (r == 0) : r == 0;
    return r;
  }
  // INC/DEC by n: N, Z, V; C and H kept.
  template <int B>
  uint32_t incdec(uint32_t a, uint32_t n, bool dec) {
    uint32_t r = (dec ? a - n : a + n) & MASK<B>;
    uint32_t b = dec ? (0u - n) & MASK<B> : n;
    V = (((a ^ r) & (b ^ r)) >> (B - 1)) & 1;
    nz<B>(r);
    return r;
  }

  // MOV/ADD/CMP/SUB/OR/XOR/AND by the field of the 79/7A immediate forms; returns the result.
  template <int B>
  uint32_t immOp(uint32_t op, uint32_t d, uint32_t s) {
    switch (op) {
      case 0:
        logic<B>(s);
        return s;
      case 1:
        return add<B>(d, s);
      case 2:
        sub<B>(d, s);
        return d;
      case 3:
        return sub<B>(d, s);
      case 4:
        d |= s;
        break;
      case 5:
        d ^= s;
        break;
      default:
        d &= s;
        break;
    }
    logic<B>(d);
    return d;
  }

  // Shifts and rotates: kind = bits 7 and 5..4 of the operand byte's high nibble as
  // (first-byte & 3) * 2 + arithmetic/rotate bit.
  template <int B>
  uint32_t shift(uint32_t group, bool alt, uint32_t a) {
    constexpr uint32_t top = B - 1;
    uint32_t r;
    V = 0;
    switch (group * 2 + alt) {
      case 0:  // SHLL
        C = (a >> top) & 1;
        r = a << 1;
        break;
      case 1:  // SHAL
        C = (a >> top) & 1;
        r = a << 1;
        V = ((a ^ r) >> top) & 1;
        break;
      case 2:  // SHLR
        C = a & 1;
        r = a >> 1;
        break;
      case 3:  // SHAR
        C = a & 1;
        r = (a >> 1) | (a & (1u << top));
        break;
      case 4:  // ROTXL
        r = a << 1 | C;
        C = (a >> top) & 1;
        break;
      case 5:  // ROTL
        C = (a >> top) & 1;
        r = a << 1 | C;
        break;
      case 6:  // ROTXR
        r = a >> 1 | C << top;
        C = a & 1;
        break;
      default:  // ROTR
        C = a & 1;
        r = a >> 1 | C << top;
        break;
    }
    r &= MASK<B>;
    nz<B>(r);
    return r;
  }

  // Bcc: the even codes BRA BHI BCC BNE BVC BPL BGE BGT branch when their term is 0; the odd
  // codes are their negations.
  bool cond(uint32_t cc) const {
    const uint32_t nv = N ^ V;
    const uint32_t term[8] = {0, C | Z, C, Z, V, N, nv, Z | nv};
    return (term[cc >> 1] == 0) ^ (cc & 1);
  }

  // The bit group on a byte: op is the opcode byte (60..63, 67, 70..77), inv its bit-7 flag.
  // Returns the byte to store back (unchanged for the tests and loads).
  uint32_t bitOp(uint32_t op, bool inv, uint32_t bit, uint32_t v) {
    uint32_t m = 1u << (bit & 7);
    uint32_t b = (v >> (bit & 7)) & 1;
    switch (op) {
      case 0x60:
      case 0x70:
        return v | m;  // BSET
      case 0x61:
      case 0x71:
        return v ^ m;  // BNOT
      case 0x62:
      case 0x72:
        return v & ~m;  // BCLR
      case 0x63:
      case 0x73:
        Z = b ^ 1;
        break;  // BTST
      case 0x67:
        return (v & ~m) | ((C ^ inv) << (bit & 7));  // BST / BIST
      case 0x74:
        C |= b ^ inv;
        break;  // BOR / BIOR
      case 0x75:
        C ^= b ^ inv;
        break;  // BXOR / BIXOR
      case 0x76:
        C &= b ^ inv;
        break;  // BAND / BIAND
      default:
        C = b ^ inv;
        break;  // BLD / BILD
    }
    return v;
  }
  // Bit instructions on memory (7C..7F): `a` the byte address, w the second word.
  int bitMemory(bool writeForm, uint32_t a, uint32_t w) {
    uint32_t op = w >> 8, lo = w & 0xFF;
    bool ok;
    if (writeForm) {
      ok = (op >= 0x60 && op <= 0x62 && (lo & 0x0F) == 0) || (op == 0x67 && (lo & 0x0F) == 0) ||
           (op >= 0x70 && op <= 0x72 && (lo & 0x8F) == 0);
    } else {
      ok = (op == 0x63 && (lo & 0x0F) == 0) || (op == 0x73 && (lo & 0x8F) == 0) ||
           (op >= 0x74 && op <= 0x77 && (lo & 0x0F) == 0);
    }
    if (!ok) return STOP_UNDEFINED;
    uint32_t bit = op < 0x64 ? rb(lo >> 4) : lo >> 4;
    uint32_t v = rd8(a);
    uint32_t r = bitOp(op, lo & 0x80, bit, v);
    if (writeForm) wr8(a, r);
    st += writeForm ? 8 : 6;
    pc += 4;
    return OK;
  }

  // MOV between a register and memory; load when `toReg`.
  template <int B>
  void move(bool toReg, uint32_t r, uint32_t a) {
    if (toReg) {
      uint32_t v = load<B>(a);
      logic<B>(v);
      set<B>(r, v);
    } else {
      uint32_t v = get<B>(r);
      logic<B>(v);
      store<B>(a, v);
    }
  }

  // MOV.B/.W with @ERn+ / @-ERn: 6C/6D, lo = operand byte.
  template <int B>
  void movePostPre(uint32_t lo) {
    constexpr uint32_t size = B / 8;
    uint32_t& ern = er[(lo >> 4) & 7];
    if (lo & 0x80) {
      uint32_t v = get<B>(lo & 0xF);
      ern -= size;
      logic<B>(v);
      store<B>(ern, v);
    } else {
      uint32_t a = ern;
      ern += size;
      uint32_t v = load<B>(a);
      logic<B>(v);
      set<B>(lo & 0xF, v);
    }
  }

  int step();
  int group01(uint32_t lo);
  int ldcStc(uint32_t w2);
  int divide(bool isSigned, bool isWord, uint32_t rs, uint32_t rd);
  int eepmov(bool word);
};

int Core::divide(bool isSigned, bool isWord, uint32_t rs, uint32_t rd) {
  // .B: Rd(16) / Rs(8) -> remainder:quotient in Rd; .W: ERd(32) / Rs(16) -> Ed:Rd.
  uint32_t divisor = isWord ? rw(rs) : rb(rs);
  uint32_t dividend = isWord ? er[rd & 7] : rw(rd);
  if (divisor == 0) {
    Z = 1;
    N = 0;
    return OK;
  }
  Z = 0;
  uint32_t q, r;
  if (isSigned) {
    int64_t n = isWord ? int64_t(int32_t(dividend)) : int64_t(int16_t(dividend));
    int64_t d = isWord ? int64_t(int16_t(divisor)) : int64_t(int8_t(divisor));
    q = uint32_t(n / d);
    r = uint32_t(n % d);
  } else {
    q = dividend / divisor;
    r = dividend % divisor;
  }
  if (isWord) {
    er[rd & 7] = (r & 0xFFFF) << 16 | (q & 0xFFFF);
    N = isSigned ? (q >> 15) & 1 : (divisor >> 15) & 1;
  } else {
    ww(rd, (r & 0xFF) << 8 | (q & 0xFF));
    N = isSigned ? (q >> 7) & 1 : (divisor >> 7) & 1;
  }
  return OK;
}

int Core::eepmov(bool word) {
  uint32_t n = word ? rw(4) : rb(12);
  for (uint32_t i = 0; i < n; ++i) {
    wr8(er[6], rd8(er[5]));
    ++er[5];
    ++er[6];
  }
  if (word) {
    ww(4, 0);
  } else {
    wb(12, 0);
  }
  st += 8 + 4 * uint64_t(n);
  pc += 4;
  return OK;
}

// LDC/STC with memory, after the 01 40 prefix; w2 is the second word.
int Core::ldcStc(uint32_t w2) {
  uint32_t op = w2 >> 8, lo = w2 & 0xFF;
  uint32_t ern = (lo >> 4) & 7;
  bool toCcr = !(lo & 0x80);
  uint32_t a, len, states;
  if (op == 0x69 && (lo & 0x0F) == 0) {
    a = er[ern], len = 4, states = 6;
  } else if (op == 0x6F && (lo & 0x0F) == 0) {
    a = er[ern] + sext16(fetch(4)), len = 6, states = 8;
  } else if (op == 0x6D && (lo & 0x0F) == 0) {
    len = 4, states = 8;
    if (toCcr) {
      a = er[ern];
      er[ern] += 2;
    } else {
      a = er[ern] -= 2;
    }
  } else if (op == 0x6B && (lo == 0x00 || lo == 0x80)) {
    a = fetch(4), len = 6, states = 8;
  } else if (op == 0x6B && (lo == 0x20 || lo == 0xA0)) {
    a = fetch32(4), len = 8, states = 10;
  } else if (op == 0x78 && (lo & 0x8F) == 0) {
    uint32_t w3 = fetch(4);
    if (w3 != 0x6B20 && w3 != 0x6BA0) return STOP_UNDEFINED;
    toCcr = w3 == 0x6B20;
    a = er[ern] + fetch32(6), len = 10, states = 12;
  } else {
    return STOP_UNDEFINED;
  }
  if (toCcr) {
    setCcr(rd16(a) >> 8);
  } else {
    uint32_t c = ccr();
    wr16(a, c << 8 | c);
  }
  st += states;
  pc += len;
  return OK;
}

int Core::group01(uint32_t lo) {
  if (lo == 0x80) {  // SLEEP
    st += 2;
    pc += 2;
    return STOP_SLEEP;
  }
  if (lo != 0x00 && lo != 0x40 && lo != 0xC0 && lo != 0xD0 && lo != 0xF0) return STOP_UNDEFINED;
  uint32_t w2 = fetch(2);
  if (lo == 0x40) return ldcStc(w2);
  uint32_t op = w2 >> 8, l2 = w2 & 0xFF;
  if (lo == 0xC0 || lo == 0xD0) {  // MULXS / DIVXS
    uint32_t want = lo == 0xC0 ? 0x50 : 0x51;
    bool word = op == want + 2;
    if ((op != want && !word) || (word && (l2 & 0x08))) return STOP_UNDEFINED;
    uint32_t rs = l2 >> 4, rd = l2 & 0xF;
    if (lo == 0xD0) {
      divide(true, word, rs, rd);
    } else if (word) {
      uint32_t r = uint32_t(int32_t(int16_t(er[rd & 7])) * int32_t(int16_t(rw(rs))));
      er[rd & 7] = r;
      nz<32>(r);
    } else {
      uint32_t r = uint32_t(int32_t(int8_t(rw(rd))) * int32_t(int8_t(rb(rs)))) & 0xFFFF;
      ww(rd, r);
      nz<16>(r);
    }
    st += word ? 24 : 16;
    pc += 4;
    return OK;
  }
  if (lo == 0xF0) {  // OR.L / XOR.L / AND.L ERs,ERd
    if (op < 0x64 || op > 0x66 || (l2 & 0x88)) return STOP_UNDEFINED;
    uint32_t s = er[l2 >> 4], d = er[l2 & 7];
    d = op == 0x64 ? d | s : op == 0x65 ? d ^ s : d & s;
    er[l2 & 7] = d;
    logic<32>(d);
    st += 4;
    pc += 4;
    return OK;
  }
  // 01 00: MOV.L with memory.
  bool toReg = !(l2 & 0x80);
  uint32_t a, len, states, r = l2 & 7;
  uint32_t ern = (l2 >> 4) & 7;
  if (op == 0x69 && !(l2 & 0x08)) {
    a = er[ern], len = 4, states = 8;
  } else if (op == 0x6F && !(l2 & 0x08)) {
    a = er[ern] + sext16(fetch(4)), len = 6, states = 10;
  } else if (op == 0x6B && !(l2 & 0x58)) {
    if (l2 & 0x20) {
      a = fetch32(4), len = 8, states = 12;
    } else {
      a = fetch(4), len = 6, states = 10;
    }
  } else if (op == 0x6D && !(l2 & 0x08)) {
    if (toReg) {
      a = er[ern];
      er[ern] += 4;
    } else {
      uint32_t v = er[r];
      a = er[ern] -= 4;
      logic<32>(v);
      wr32(a, v);
      st += 10;
      pc += 4;
      return OK;
    }
    len = 4, states = 10;
  } else if (op == 0x78 && (l2 & 0x0F) == 0) {
    uint32_t w3 = fetch(4);
    bool store = (l2 & 0x80) != 0;
    if ((w3 & 0xFFF8) != (store ? 0x6BA0u : 0x6B20u)) return STOP_UNDEFINED;
    toReg = !store;
    r = w3 & 7;
    a = er[ern] + fetch32(6), len = 10, states = 14;
  } else {
    return STOP_UNDEFINED;
  }
  move<32>(toReg, r, a);
  st += states;
  pc += len;
  return OK;
}

// The switch label of a first byte: the byte itself, or for the families that keep a register
// or condition in the low nibble (20-4F, 80-FF) the byte with that nibble cleared.
constexpr auto LABEL = [] {
  std::array<uint8_t, 256> t{};
  for (int b = 0; b < 256; ++b) t[b] = uint8_t((b >= 0x20 && b < 0x50) || b >= 0x80 ? b & 0xF0 : b);
  return t;
}();

int Core::step() {
  const uint32_t op = uint32_t(mem[pc]) << 8 | mem[pc + 1];
  const uint32_t hi = op >> 8, lo = op & 0xFF, rs = lo >> 4, rd = lo & 0xF;
  switch (LABEL[hi]) {
    case 0x00:  // NOP
      if (lo) return STOP_UNDEFINED;
      break;
    case 0x01:
      return group01(lo);
    case 0x02:  // STC CCR,Rd
      if (rs) return STOP_UNDEFINED;
      wb(rd, ccr());
      break;
    case 0x03:  // LDC Rs,CCR
      if (rs) return STOP_UNDEFINED;
      setCcr(rb(rd));
      break;
    case 0x04:
      setCcr(ccr() | lo);
      break;  // ORC
    case 0x05:
      setCcr(ccr() ^ lo);
      break;  // XORC
    case 0x06:
      setCcr(ccr() & lo);
      break;  // ANDC
    case 0x07:
      setCcr(lo);
      break;  // LDC #imm
    case 0x08:
      wb(rd, add<8>(rb(rd), rb(rs)));
      break;
    case 0x09:
      ww(rd, add<16>(rw(rd), rw(rs)));
      break;
    case 0x0A:
      if (rs == 0) {
        wb(rd, incdec<8>(rb(rd), 1, false));
      } else if ((lo & 0x88) == 0x80) {
        er[rd] = add<32>(er[rd], er[rs & 7]);
      } else {
        return STOP_UNDEFINED;
      }
      break;
    case 0x0B:
    case 0x1B: {  // ADDS/SUBS, INC/DEC .W/.L
      bool dec = hi == 0x1B;
      switch (rs) {
        case 0x0:
        case 0x8:
        case 0x9: {
          if (rd & 8) return STOP_UNDEFINED;
          uint32_t n = rs == 0 ? 1 : rs == 8 ? 2 : 4;
          er[rd] += dec ? 0u - n : n;
          break;
        }
        case 0x5:
        case 0xD:
          ww(rd, incdec<16>(rw(rd), rs == 5 ? 1 : 2, dec));
          break;
        case 0x7:
        case 0xF:
          if (rd & 8) return STOP_UNDEFINED;
          er[rd] = incdec<32>(er[rd], rs == 7 ? 1 : 2, dec);
          break;
        default:
          return STOP_UNDEFINED;
      }
      break;
    }
    case 0x0C: {  // MOV.B Rs,Rd
      uint32_t v = rb(rs);
      logic<8>(v);
      wb(rd, v);
      break;
    }
    case 0x0D: {  // MOV.W Rs,Rd
      uint32_t v = rw(rs);
      logic<16>(v);
      ww(rd, v);
      break;
    }
    case 0x0E:
      wb(rd, add<8, true>(rb(rd), rb(rs), C));
      break;  // ADDX Rs,Rd
    case 0x0F:
      if (rs == 0) {  // DAA
        uint32_t a = rb(rd), adj = 0, carry = C;
        if (H || (a & 0x0F) > 9) adj = 0x06;
        if (C || a > 0x99) adj |= 0x60, carry = 1;
        uint32_t r = (a + adj) & 0xFF;
        wb(rd, r);
        nz<8>(r);
        C = carry;
      } else if ((lo & 0x88) == 0x80) {  // MOV.L ERs,ERd
        uint32_t v = er[rs & 7];
        logic<32>(v);
        er[rd] = v;
      } else {
        return STOP_UNDEFINED;
      }
      break;
    case 0x10:
    case 0x11:
    case 0x12:
    case 0x13: {
      uint32_t g = hi & 3, alt = rs >> 3;
      switch (rs & 7) {
        case 0:
          wb(rd, shift<8>(g, alt, rb(rd)));
          break;
        case 1:
          ww(rd, shift<16>(g, alt, rw(rd)));
          break;
        case 3:
          if (rd & 8) return STOP_UNDEFINED;
          er[rd] = shift<32>(g, alt, er[rd]);
          break;
        default:
          return STOP_UNDEFINED;
      }
      break;
    }
    case 0x14:
    case 0x15:
    case 0x16:
    case 0x64:
    case 0x65:
    case 0x66: {
      bool word = hi & 0x40;
      uint32_t s = word ? rw(rs) : rb(rs), d = word ? rw(rd) : rb(rd);
      uint32_t k = hi & 3;
      d = k == 0 ? d | s : k == 1 ? d ^ s : d & s;
      if (word) {
        logic<16>(d);
        ww(rd, d);
      } else {
        logic<8>(d);
        wb(rd, d);
      }
      break;
    }
    case 0x17:
      if ((rs & 3) == 3 && (rd & 8)) return STOP_UNDEFINED;
      switch (rs) {
        case 0x0: {
          uint32_t r = ~rb(rd) & 0xFF;
          logic<8>(r);
          wb(rd, r);
          break;
        }
        case 0x1: {
          uint32_t r = ~rw(rd) & 0xFFFF;
          logic<16>(r);
          ww(rd, r);
          break;
        }
        case 0x3: {
          uint32_t r = ~er[rd];
          logic<32>(r);
          er[rd] = r;
          break;
        }
        case 0x5: {
          uint32_t r = rw(rd) & 0xFF;
          logic<16>(r);
          ww(rd, r);
          break;
        }
        case 0x7: {
          uint32_t r = er[rd] & 0xFFFF;
          logic<32>(r);
          er[rd] = r;
          break;
        }
        case 0x8:
          wb(rd, sub<8>(0, rb(rd)));
          break;
        case 0x9:
          ww(rd, sub<16>(0, rw(rd)));
          break;
        case 0xB:
          er[rd] = sub<32>(0, er[rd]);
          break;
        case 0xD: {
          uint32_t r = sext8(rw(rd)) & 0xFFFF;
          logic<16>(r);
          ww(rd, r);
          break;
        }
        case 0xF: {
          uint32_t r = sext16(er[rd]);
          logic<32>(r);
          er[rd] = r;
          break;
        }
        default:
          return STOP_UNDEFINED;
      }
      break;
    case 0x18:
      wb(rd, sub<8>(rb(rd), rb(rs)));
      break;
    case 0x19:
      ww(rd, sub<16>(rw(rd), rw(rs)));
      break;
    case 0x1A:
      if (rs == 0) {
        wb(rd, incdec<8>(rb(rd), 1, true));
      } else if ((lo & 0x88) == 0x80) {
        er[rd] = sub<32>(er[rd], er[rs & 7]);
      } else {
        return STOP_UNDEFINED;
      }
      break;
    case 0x1C:
      sub<8>(rb(rd), rb(rs));
      break;
    case 0x1D:
      sub<16>(rw(rd), rw(rs));
      break;
    case 0x1E:
      wb(rd, sub<8, true>(rb(rd), rb(rs), C));
      break;  // SUBX Rs,Rd
    case 0x1F:
      if (rs == 0) {  // DAS: C keeps its value
        uint32_t r = (rb(rd) - ((H ? 0x06 : 0) | (C ? 0x60 : 0))) & 0xFF;
        wb(rd, r);
        nz<8>(r);
      } else if ((lo & 0x88) == 0x80) {
        sub<32>(er[rd], er[rs & 7]);
      } else {
        return STOP_UNDEFINED;
      }
      break;
    case 0x20:
    case 0x30:
      move<8>(hi < 0x30, hi & 0xF, 0xFF00 | lo);  // MOV.B @aa:8
      st += 2;
      break;
    case 0x40:
      st += 4;
      pc = (pc + 2 + (cond(hi & 0xF) ? sext8(lo) : 0)) & 0xFFFE;
      return OK;
    case 0x50:  // MULXU.B Rs,Rd
      ww(rd, (rw(rd) & 0xFF) * rb(rs));
      st += 12;
      break;
    case 0x52:  // MULXU.W Rs,ERd
      if (rd & 8) return STOP_UNDEFINED;
      er[rd] = (er[rd] & 0xFFFF) * rw(rs);
      st += 20;
      break;
    case 0x51:
    case 0x53:
      if (hi == 0x53 && (rd & 8)) return STOP_UNDEFINED;
      divide(false, hi == 0x53, rs, rd);
      st += hi == 0x53 ? 20 : 12;
      break;
    case 0x54:  // RTS
      if (lo != 0x70) return STOP_UNDEFINED;
      pc = pop16() & 0xFFFE;
      st += 8;
      return OK;
    case 0x56: {  // RTE
      if (lo != 0x70) return STOP_UNDEFINED;
      setCcr(pop16() >> 8);
      pc = pop16() & 0xFFFE;
      st += 10;
      return OK;
    }
    case 0x55:  // BSR d:8
      push16(pc + 2);
      pc = (pc + 2 + sext8(lo)) & 0xFFFE;
      st += 6;
      return OK;
    case 0x5C: {  // BSR d:16
      if (lo) return STOP_UNDEFINED;
      uint32_t d = fetch(2);
      push16(pc + 4);
      pc = (pc + 4 + sext16(d)) & 0xFFFE;
      st += 8;
      return OK;
    }
    case 0x57:  // TRAPA #n
      if (lo & 0xCF) return STOP_UNDEFINED;
      pc += 2;
      st += 14;
      return STOP_TRAP0 + int(rs);
    case 0x58: {  // Bcc d:16
      if (rd) return STOP_UNDEFINED;
      uint32_t d = fetch(2);
      pc = (pc + 4 + (cond(rs) ? sext16(d) : 0)) & 0xFFFE;
      st += 6;
      return OK;
    }
    case 0x59:
    case 0x5D:  // JMP/JSR @ERn
      if (lo & 0x8F) return STOP_UNDEFINED;
      if (hi == 0x5D) push16(pc + 2);
      pc = er[rs] & 0xFFFE;
      st += hi == 0x5D ? 6 : 4;
      return OK;
    case 0x5A:
    case 0x5E: {  // JMP/JSR @aa:24
      uint32_t a = fetch(2);
      if (hi == 0x5E) push16(pc + 4);
      pc = a & 0xFFFE;
      st += 8 - (hi == 0x5A) * 2;
      return OK;
    }
    case 0x5B:
    case 0x5F:  // JMP/JSR @@aa:8
      if (hi == 0x5F) push16(pc + 2);
      pc = rd16(lo) & 0xFFFE;
      st += 8;
      return OK;
    case 0x60:
    case 0x61:
    case 0x62:
    case 0x63:  // BSET/BNOT/BCLR/BTST Rn,Rd
      wb(rd, bitOp(hi, false, rb(rs), rb(rd)));
      break;
    case 0x67:
    case 0x74:
    case 0x75:
    case 0x76:
    case 0x77:  // BST.. BLD #imm,Rd
      wb(rd, bitOp(hi, lo & 0x80, rs & 7, rb(rd)));
      break;
    case 0x70:
    case 0x71:
    case 0x72:
    case 0x73:  // BSET/BNOT/BCLR/BTST #imm,Rd
      if (lo & 0x80) return STOP_UNDEFINED;
      wb(rd, bitOp(hi, false, rs, rb(rd)));
      break;
    case 0x68:
      move<8>(!(lo & 0x80), rd, er[rs & 7]);
      st += 2;
      break;
    case 0x69:
      move<16>(!(lo & 0x80), rd, er[rs & 7]);
      st += 2;
      break;
    case 0x6C:
      movePostPre<8>(lo);
      st += 4;
      break;
    case 0x6D:
      movePostPre<16>(lo);
      st += 4;
      break;
    case 0x6E:
    case 0x6F: {  // @(d:16,ERn)
      uint32_t a = er[rs & 7] + sext16(fetch(2));
      if (hi == 0x6E) {
        move<8>(!(lo & 0x80), rd, a);
      } else {
        move<16>(!(lo & 0x80), rd, a);
      }
      st += 6;
      pc += 4;
      return OK;
    }
    case 0x6A:
    case 0x6B: {  // @aa:16, @aa:24 (and MOVFPE/MOVTPE @aa:16)
      bool word = hi == 0x6B;
      // 6A: 0/8 @aa:16, 2/A @aa:24, 4 MOVFPE, C MOVTPE; 6B: 0/8, 2/A.
      if (word ? (rs & 5) != 0 : (rs & 1) != 0 || (rs & 6) == 6) return STOP_UNDEFINED;
      bool toReg = !(rs & 8);
      uint32_t a, len;
      if (rs & 2) {
        a = fetch32(2), len = 6;
      } else {
        a = fetch(2), len = 4;
      }
      if (word) {
        move<16>(toReg, rd, a);
      } else {
        move<8>(toReg, rd, a);
      }
      st += 2 + len;
      pc += len;
      return OK;
    }
    case 0x78: {  // MOV.B/.W @(d:24,ERn)
      if (lo & 0x8F) return STOP_UNDEFINED;
      uint32_t w2 = fetch(2), o2 = w2 >> 8, l2 = w2 & 0xFF;
      if ((o2 != 0x6A && o2 != 0x6B) || ((l2 >> 4) != 0x2 && (l2 >> 4) != 0xA))
        return STOP_UNDEFINED;
      uint32_t a = er[rs] + fetch32(4);
      if (o2 == 0x6A) {
        move<8>(!(l2 & 0x80), l2 & 0xF, a);
      } else {
        move<16>(!(l2 & 0x80), l2 & 0xF, a);
      }
      st += 10;
      pc += 8;
      return OK;
    }
    case 0x79: {  // MOV/ADD/CMP/SUB/OR/XOR/AND.W #imm,Rd
      if (rs > 6) return STOP_UNDEFINED;
      ww(rd, immOp<16>(rs, rw(rd), fetch(2)));
      st += 4;
      pc += 4;
      return OK;
    }
    case 0x7A: {  // the same .L #imm,ERd
      if (rs > 6 || (rd & 8)) return STOP_UNDEFINED;
      er[rd] = immOp<32>(rs, er[rd], fetch32(2));
      st += 6;
      pc += 6;
      return OK;
    }
    case 0x7B:  // EEPMOV
      if ((lo != 0x5C && lo != 0xD4) || fetch(2) != 0x598F) return STOP_UNDEFINED;
      return eepmov(lo == 0xD4);
    case 0x7C:
    case 0x7D:
      if (lo & 0x8F) return STOP_UNDEFINED;
      return bitMemory(hi == 0x7D, er[rs], fetch(2));
    case 0x7E:
    case 0x7F:
      return bitMemory(hi == 0x7F, 0xFF00 | lo, fetch(2));
    case 0x80:
      wb(hi, add<8>(rb(hi), lo));
      break;
    case 0x90:
      wb(hi, add<8, true>(rb(hi), lo, C));
      break;
    case 0xA0:
      sub<8>(rb(hi), lo);
      break;
    case 0xB0:
      wb(hi, sub<8, true>(rb(hi), lo, C));
      break;
    case 0xC0:
    case 0xCF: {
      uint32_t r = rb(hi) | lo;
      logic<8>(r);
      wb(hi, r);
      break;
    }
    case 0xD0:
    case 0xDF: {
      uint32_t r = rb(hi) ^ lo;
      logic<8>(r);
      wb(hi, r);
      break;
    }
    case 0xE0:
    case 0xEF: {
      uint32_t r = rb(hi) & lo;
      logic<8>(r);
      wb(hi, r);
      break;
    }
    case 0xF0:
      logic<8>(lo);
      wb(hi, lo);
      break;
    default:
      return STOP_UNDEFINED;
  }
  // One-word instructions: one fetch plus any data accesses and internal states added above.
  st += 2;
  pc += 2;
  return OK;
}

}  // namespace

int H8Cpu::run(uint64_t budget) {
  Core c(*this);
  const bool breaking = breakSet;
  const uint32_t breakAt = breakAddress;
  int stop = RUN_CONTINUES;
  for (uint64_t done = 0; done < budget; ++done) {
    if (uint32_t p = bus.pending) {
      if (p & (1u << STOP_ABORT)) {
        stop = STOP_ABORT;
        break;
      }
      constexpr uint32_t maskable =
          ((1u << (STOP_INTERRUPT_LAST + 1)) - 1) & ~((1u << STOP_INTERRUPT_FIRST) - 1);
      if ((p & maskable) && !(c.upper & 0x80)) {
        stop = std::countr_zero(p & maskable);
        break;
      }
    }
    const uint32_t at = c.pc;
    if (!fetchable(c.region[at >> 7])) {
      stop = STOP_ADDRESS_ERROR;
      break;
    }
    int s;
    try {
      s = c.step();
    } catch (const AddressFault&) {
      s = STOP_ADDRESS_ERROR;
    }
    if (s == STOP_UNDEFINED || s == STOP_ADDRESS_ERROR) {
      c.pc = at;
      stop = s;
      break;
    }
    ++instructions;
    if (c.st >= bus.eventAt) {  // also before a stop, so peripherals are never behind
      states = c.st;
      bus.event(c.st);
    }
    if (s != OK) {
      stop = s;
      break;
    }
    if (at == breakAt && breaking) {
      stop = STOP_BREAK;
      break;
    }
  }
  regs.pc = c.pc;
  regs.ccr = c.ccr();
  states = c.st;
  return stop;
}

}  // namespace h8

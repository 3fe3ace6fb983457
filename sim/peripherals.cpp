#include "sim/peripherals.h"

#include <algorithm>

#include "common/target.h"

namespace h8 {

namespace {

constexpr uint8_t SSR_CLEARABLE = SSR_TDRE | SSR_RDRF | SSR_OER | SSR_FER | SSR_PER | SSR_TEND;
constexpr uint8_t SMR_CHR = 0x40, SMR_PE = 0x20, SMR_STOP = 0x08;
constexpr uint8_t TMA_WRITABLE = 0xEF, TMA_RESERVED = 0x10, TMA_TIME_BASE = 0x08;
// Interval timer: the prescaler's divisors of the CPU clock for TMA2..0.
constexpr uint32_t INTERVAL_DIVISORS[] = {8192, 4096, 2048, 512, 256, 128, 32, 8};
// Time base: counts per second of the 32.768 kHz watch clock for TMA1..0 (TMA2 set halts it).
constexpr uint32_t TIME_BASE_RATES[] = {256, 512, 1024, 8192};

}  // namespace

uint8_t& Peripherals::reg(uint32_t address) {
  return address >= IO_HIGH_START ? high_[(address - IO_HIGH_START) & 0x7F]
                                  : low_[(address - IO_LOW_START) & 0x7F];
}

uint8_t Peripherals::peek(uint32_t address) const {
  return address == TIMER_A_TCA ? tca_ : reg(address);
}

void Peripherals::reset(uint64_t now) {
  low_.fill(0);
  high_.fill(0);
  reg(SCI3_BRR) = MONITOR_BRR;
  reg(SCI3_SCR3) = SCR3_TE | SCR3_RE;
  reg(SCI3_TDR) = 0xFF;
  reg(SCI3_SSR) = SSR_TDRE | SSR_TEND;
  reg(TIMER_A_TMA) = TMA_RESERVED;
  ssrReadAsOne_ = 0;
  tdrFull_ = transmitting_ = false;
  shiftFreeAt_ = rxNextAt_ = tcaSince_ = now;
  tca_ = 0;
  transmitted.clear();
  received.clear();
}

uint64_t Peripherals::frameStates() const {
  uint8_t smr = high_[SCI3_SMR - IO_HIGH_START];
  uint64_t bitStates = uint64_t(32) << (2 * (smr & 3));  // 64 * 2^(2n-1)
  bitStates *= uint64_t(high_[SCI3_BRR - IO_HIGH_START]) + 1;
  int bits = 1 + (smr & SMR_CHR ? 7 : 8) + (smr & SMR_PE ? 1 : 0) + (smr & SMR_STOP ? 2 : 1);
  return bitStates * uint64_t(bits);
}

uint64_t Peripherals::timerAPeriod() const {
  uint8_t tma = high_[TIMER_A_TMA - IO_HIGH_START];
  if (!(tma & TMA_TIME_BASE)) return INTERVAL_DIVISORS[tma & 7];
  if (tma & 4) return 0;
  return std::max<uint64_t>(1, uint64_t(clockHz / TIME_BASE_RATES[tma & 3]));
}

void Peripherals::advance(uint64_t now) {
  uint8_t& ssr = reg(SCI3_SSR);
  // Transmitter: at the end of a frame TDR moves on to the shift register, or with TDR empty
  // the line goes idle and TEND is set.
  if (transmitting_ && now >= shiftFreeAt_) {
    if (tdrFull_) {
      tdrFull_ = false;
      ssr |= SSR_TDRE;
      shiftFreeAt_ += frameStates();
    } else {
      transmitting_ = false;
      ssr |= SSR_TEND;
    }
  }
  // Receiver: one byte a frame time; a byte meeting a full RDR is lost (overrun).
  if (!received.empty() && now >= rxNextAt_ && (reg(SCI3_SCR3) & SCR3_RE)) {
    if (!(ssr & SSR_RDRF)) {
      reg(SCI3_RDR) = received.front();
      received.pop_front();
      ssr |= SSR_RDRF;
      rxNextAt_ = now + frameStates();
    } else if (!flowControl) {
      received.pop_front();
      ssr |= SSR_OER;
      rxNextAt_ = now + frameStates();
    }
  }
  // Timer A: whole counts since tcaSince_; passing 0xFF sets the overflow flag.
  uint64_t period = timerAPeriod();
  if (period == 0) {
    tcaSince_ = now;
  } else if (now >= tcaSince_ + period) {
    uint64_t counts = (now - tcaSince_) / period;
    if (uint64_t(tca_) + counts > 0xFF) reg(IRR1) |= IRR1_IRRTA;
    tca_ = uint8_t(tca_ + counts);
    tcaSince_ += counts * period;
  }
}

uint64_t Peripherals::nextEvent() const {
  uint64_t next = UINT64_MAX;
  uint8_t ssr = high_[SCI3_SSR - IO_HIGH_START];
  if (transmitting_) next = shiftFreeAt_;
  if (!received.empty() && !(flowControl && (ssr & SSR_RDRF))) next = std::min(next, rxNextAt_);
  uint64_t period = timerAPeriod();
  if (period != 0) next = std::min(next, tcaSince_ + (256 - uint64_t(tca_)) * period);
  return next;
}

uint32_t Peripherals::pending() const {
  uint8_t ssr = high_[SCI3_SSR - IO_HIGH_START];
  uint8_t scr3 = high_[SCI3_SCR3 - IO_HIGH_START];
  bool sci = ((scr3 & SCR3_TIE) && (ssr & SSR_TDRE)) ||
             ((scr3 & SCR3_RIE) && (ssr & (SSR_RDRF | SSR_OER | SSR_FER | SSR_PER))) ||
             ((scr3 & SCR3_TEIE) && (ssr & SSR_TEND));
  bool timerA =
      (high_[IRR1 - IO_HIGH_START] & IRR1_IRRTA) && (high_[IENR1 - IO_HIGH_START] & IENR1_IENTA);
  return (sci ? 1u << VECTOR_SCI3 : 0) | (timerA ? 1u << VECTOR_TIMER_A : 0);
}

uint8_t Peripherals::read(uint32_t address, uint64_t now) {
  advance(now);
  uint8_t& r = reg(address);
  if (address == SCI3_SSR) ssrReadAsOne_ |= r & SSR_CLEARABLE;
  if (address == SCI3_RDR) {
    reg(SCI3_SSR) &= uint8_t(~SSR_RDRF);
    ssrReadAsOne_ &= uint8_t(~SSR_RDRF);  // it must be read as 1 again once it is set again
  }
  if (address == TIMER_A_TCA) return tca_;
  return r;
}

void Peripherals::write(uint32_t address, uint8_t value, uint64_t now) {
  advance(now);
  uint8_t& r = reg(address);
  uint8_t& ssr = reg(SCI3_SSR);
  switch (address) {
    case SCI3_SSR: {
      // A flag is cleared by writing 0 after it was read as 1; the other bits stay.
      uint8_t cleared = uint8_t(~value) & ssrReadAsOne_ & SSR_CLEARABLE;
      r = uint8_t((r & ~cleared & SSR_CLEARABLE) | (value & ~SSR_CLEARABLE));
      ssrReadAsOne_ &= uint8_t(~cleared);
      return;
    }
    case SCI3_TDR:
      r = value;
      if (!(reg(SCI3_SCR3) & SCR3_TE)) return;
      transmitted.push_back(value);
      ssr &= uint8_t(~SSR_TEND);
      ssrReadAsOne_ &= uint8_t(~SSR_TEND);
      if (transmitting_) {
        ssr &= uint8_t(~SSR_TDRE);
        ssrReadAsOne_ &= uint8_t(~SSR_TDRE);
        tdrFull_ = true;
      } else {  // an idle shift register takes the byte at once
        transmitting_ = true;
        shiftFreeAt_ = now + frameStates();
      }
      return;
    case SCI3_RDR:
      return;  // read-only
    case TIMER_A_TCA:
      return;  // read-only
    case TIMER_A_TMA:
      r = uint8_t((value & TMA_WRITABLE) | TMA_RESERVED);
      if ((r & TMA_TIME_BASE) && (r & 4)) tca_ = 0;  // the time base is cleared and held
      tcaSince_ = now;
      return;
    case IRR1:
      r &= value;  // flags are cleared by writing 0 and never set by software
      return;
    default:
      r = value;
      if (portLog != nullptr && address >= PORT_DATA_FIRST && address <= PORT_DATA_LAST) {
        portLog->printf("h8sim: port %04X = %02X\n", unsigned(address), value);
      }
  }
}

}  // namespace h8

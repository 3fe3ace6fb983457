// The H8/3664's on-chip peripherals as programs on the board use them.
//
//   read(a, now)/write(a, v, now)   one I/O register (0xF700..0xF77F, 0xFF80..0xFFFF) at state
//                                   count `now` of the CPU
//   advance(now)                    bring the peripherals up to state count `now`
//   nextEvent()                     the state count of the next change a peripheral makes
//                                   without being accessed (UINT64_MAX: none)
//   pending()                       interrupt requests, bit n = exception vector n
//   reset(clock)                    registers as the monitor leaves them for a program: SCI3 set
//                                   up for the line (TE and RE on, TDRE and TEND set)
//
// SCI3 (SMR, BRR, SCR3, TDR, SSR, RDR): a byte written to TDR goes to `transmitted` at once; as
// on the chip, TDR and the shift register each hold one byte, a frame lasts the time SMR and BRR
// give, TDRE is clear while TDR waits for the shift register and TEND is set when both are empty. A
// byte from `received` reaches RDR one frame time after the last, setting RDRF; one that arrives
// while RDRF is still set is lost and sets OER, unless `flowControl` holds it back until the
// program has read RDR. Clearing a flag follows the chip: read it as 1, then write 0; reading RDR
// clears RDRF, writing TDR clears TDRE and TEND. Interrupts (vector 23) when TIE, RIE or TEIE
// allow. Timer A (TMA, TCA): an 8-bit counter on the prescaler TMA selects, its overflow sets
// IRRTA (IRR1 bit 6), an interrupt (vector 19) when IENTA (IENR1 bit 6) is set; TMA3 chooses the
// interval timer (the CPU clock through the prescaler) or the time base (a 32.768 kHz watch
// clock). Every other register (ports, the other timers) reads back what was written; `portLog`,
// when set, gets a line for each write to a port data register. Time is counted in CPU states at
// `clockHz`.
#pragma once

#include <array>
#include <cstdint>
#include <deque>

#include "common/output.h"

namespace h8 {

// Registers modelled beyond SCI3 (whose addresses are in common/target.h).
constexpr uint32_t TIMER_A_TMA = 0xFFA6;
constexpr uint32_t TIMER_A_TCA = 0xFFA7;
constexpr uint32_t IENR1 = 0xFFF4;
constexpr uint32_t IRR1 = 0xFFF6;
constexpr uint32_t PORT_DATA_FIRST = 0xFFD4;  // PDR1 .. PDRB
constexpr uint32_t PORT_DATA_LAST = 0xFFDD;

constexpr uint8_t SSR_TDRE = 0x80, SSR_RDRF = 0x40, SSR_OER = 0x20, SSR_FER = 0x10, SSR_PER = 0x08,
                  SSR_TEND = 0x04;
constexpr uint8_t SCR3_TIE = 0x80, SCR3_RIE = 0x40, SCR3_TE = 0x20, SCR3_RE = 0x10,
                  SCR3_TEIE = 0x04;
constexpr uint8_t IRR1_IRRTA = 0x40, IENR1_IENTA = 0x40;

constexpr int VECTOR_TIMER_A = 19;
constexpr int VECTOR_SCI3 = 23;

// BRR for 19200 bit/s at 16 MHz (n = 0): what the monitor leaves for the line.
constexpr uint8_t MONITOR_BRR = 25;

class Peripherals {
 public:
  Peripherals() { reset(); }
  Peripherals(const Peripherals&) = delete;
  Peripherals& operator=(const Peripherals&) = delete;

  uint8_t read(uint32_t address, uint64_t now);
  // The register as it stands, without the side effects of a read (the host's view).
  uint8_t peek(uint32_t address) const;
  void write(uint32_t address, uint8_t value, uint64_t now);
  void advance(uint64_t now);
  uint64_t nextEvent() const;
  uint32_t pending() const;
  void reset(uint64_t now = 0);

  // One SCI3 frame (start, data, parity, stop bits) at the rate SMR and BRR set, in states.
  uint64_t frameStates() const;

  std::deque<uint8_t> transmitted;  // bytes the program sent, oldest first
  std::deque<uint8_t> received;     // bytes for the program, not yet in RDR
  bool flowControl = false;
  double clockHz = 16e6;
  Output* portLog = nullptr;

 private:
  uint8_t& reg(uint32_t address);
  const uint8_t& reg(uint32_t address) const {
    return const_cast<Peripherals*>(this)->reg(address);
  }
  uint64_t timerAPeriod() const;  // states per TCA count, 0 when halted

  std::array<uint8_t, 0x80> low_{};   // 0xF700..0xF77F
  std::array<uint8_t, 0x80> high_{};  // 0xFF80..0xFFFF
  uint8_t ssrReadAsOne_ = 0;          // SSR flags read as 1 since they were last cleared
  bool tdrFull_ = false;              // a byte waits in TDR for the shift register
  bool transmitting_ = false;         // the shift register is sending a frame
  uint64_t shiftFreeAt_ = 0;          // the shift register finishes its frame then
  uint64_t rxNextAt_ = 0;             // the next received byte may reach RDR then
  uint64_t tcaSince_ = 0;             // state count at which TCA held tca_
  uint8_t tca_ = 0;
};

}  // namespace h8

#include "sim/peripherals.h"

#include <gtest/gtest.h>

#include "common/target.h"

using namespace h8;

namespace {

constexpr uint64_t FRAME = 32 * 26 * 10;  // 19200 bit/s at 16 MHz: BRR 25, 10 bits a frame

uint8_t ssr(Peripherals& p, uint64_t now) { return p.read(SCI3_SSR, now); }

TEST(Sci3, TransmitterHoldsOneByteBehindTheShiftRegister) {
  Peripherals p;
  EXPECT_EQ(p.frameStates(), FRAME);
  EXPECT_EQ(ssr(p, 0), SSR_TDRE | SSR_TEND);  // as the monitor leaves it
  p.write(SCI3_TDR, 'a', 0);                  // straight into the idle shift register
  EXPECT_EQ(ssr(p, 1), SSR_TDRE);
  p.write(SCI3_TDR, 'b', 2);  // waits in TDR
  EXPECT_EQ(ssr(p, FRAME - 1), 0);
  EXPECT_EQ(p.nextEvent(), FRAME);
  EXPECT_EQ(ssr(p, FRAME), SSR_TDRE);
  EXPECT_EQ(ssr(p, 2 * FRAME), SSR_TDRE | SSR_TEND);
  EXPECT_EQ(p.transmitted, (std::deque<uint8_t>{'a', 'b'}));
  // Without TE nothing is sent; SMR's 7-bit, parity and two-stop-bit frame is 11 bits long.
  p.write(SCI3_SCR3, 0, 3 * FRAME);
  p.write(SCI3_TDR, 'c', 3 * FRAME);
  EXPECT_EQ(p.transmitted.size(), 2u);
  p.write(SCI3_SMR, 0x40 | 0x20 | 0x08 | 1, 3 * FRAME);
  EXPECT_EQ(p.frameStates(), 128u * 26 * 11);
}

TEST(Sci3, ReceiverTakesAByteAFrameAndOverrunsWhenNotRead) {
  for (bool flow : {false, true}) {
    Peripherals p;
    p.flowControl = flow;
    p.received = {'x', 'y', 'z'};
    EXPECT_EQ(ssr(p, 0), SSR_TDRE | SSR_TEND | SSR_RDRF);
    EXPECT_EQ(p.read(SCI3_RDR, 1), 'x');
    EXPECT_EQ(ssr(p, FRAME - 1) & SSR_RDRF, 0);
    EXPECT_EQ(ssr(p, FRAME) & SSR_RDRF, SSR_RDRF);
    // 'z' meets a full RDR: lost with OER, or held back under flow control.
    uint8_t s = ssr(p, 2 * FRAME);
    EXPECT_EQ(s & SSR_OER, flow ? 0 : SSR_OER);
    EXPECT_EQ(p.read(SCI3_RDR, 2 * FRAME), 'y');
    EXPECT_EQ(p.received.size(), flow ? 1u : 0u);
    p.write(SCI3_SSR, 0, 2 * FRAME);  // OER was read as 1: cleared
    EXPECT_EQ(ssr(p, 2 * FRAME) & SSR_OER, 0);
  }
  // A flag is cleared by writing 0 only after it was read as 1 since it was set.
  Peripherals p;
  p.received = {'a'};
  p.advance(0);
  p.write(SCI3_SSR, 0, 0);
  EXPECT_EQ(ssr(p, 0) & SSR_RDRF, SSR_RDRF);
  p.write(SCI3_SSR, 0, 0);
  EXPECT_EQ(ssr(p, 0) & SSR_RDRF, 0);
}

TEST(Sci3, InterruptRequestsFollowTheEnables) {
  Peripherals p;
  EXPECT_EQ(p.pending(), 0u);
  p.write(SCI3_SCR3, SCR3_TE | SCR3_RE | SCR3_TIE, 0);
  EXPECT_EQ(p.pending(), 1u << VECTOR_SCI3);  // TDRE is set
  p.write(SCI3_SCR3, SCR3_TE | SCR3_RE | SCR3_RIE, 0);
  EXPECT_EQ(p.pending(), 0u);
  p.received = {'k'};
  p.advance(1);
  EXPECT_EQ(p.pending(), 1u << VECTOR_SCI3);
}

TEST(TimerA, CountsOnThePrescalerAndFlagsOverflow) {
  Peripherals p;
  p.write(TIMER_A_TMA, 0x07, 0);  // interval timer on the CPU clock / 8
  EXPECT_EQ(p.read(TIMER_A_TMA, 0), 0x17);
  EXPECT_EQ(p.read(TIMER_A_TCA, 8 * 100 + 7), 100);
  EXPECT_EQ(p.nextEvent(), 8u * 256);
  EXPECT_EQ(p.read(IRR1, 8 * 256 - 1) & IRR1_IRRTA, 0);
  EXPECT_EQ(p.read(IRR1, 8 * 256) & IRR1_IRRTA, IRR1_IRRTA);
  EXPECT_EQ(p.pending(), 0u);
  p.write(IENR1, IENR1_IENTA, 8 * 256);
  EXPECT_EQ(p.pending(), 1u << VECTOR_TIMER_A);
  p.write(IRR1, uint8_t(~IRR1_IRRTA), 8 * 256);
  EXPECT_EQ(p.pending(), 0u);
  // The time base counts the watch clock: 1 s an overflow, whatever the CPU clock.
  p.clockHz = 1e6;
  p.write(TIMER_A_TMA, 0x08, 0);
  EXPECT_EQ(p.read(TIMER_A_TCA, 500000), 128);
  p.write(TIMER_A_TMA, 0x0C, 500000);  // cleared and held
  EXPECT_EQ(p.read(TIMER_A_TCA, 900000), 0);
}

TEST(Ports, ReadBackAndAreLogged) {
  Peripherals p;
  StringOutput log;
  p.portLog = &log;
  p.write(0xFFD4, 0x5A, 0);  // PDR1
  p.write(0xF720, 0x33, 0);  // a register of the low I/O area
  EXPECT_EQ(p.read(0xFFD4, 0), 0x5A);
  EXPECT_EQ(p.read(0xF720, 0), 0x33);
  EXPECT_EQ(log.text, "h8sim: port FFD4 = 5A\n");
}

}  // namespace

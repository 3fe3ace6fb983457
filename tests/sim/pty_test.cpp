#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>

#include "sim/pty_posix.h"

using namespace h8;
using Bytes = std::vector<uint8_t>;

// What arrives on fd within `ms` milliseconds (one read: the tests write little at a time).
static Bytes drain(int fd, int ms) {
  uint8_t buffer[256];
  pollfd p{fd, POLLIN, 0};
  ssize_t n = poll(&p, 1, ms) > 0 ? read(fd, buffer, sizeof buffer) : 0;
  return Bytes(buffer, buffer + std::max<ssize_t>(n, 0));
}

// A pseudo-terminal and the host's end of it, opened as a serial port is.
struct Pty : ::testing::Test {
  PseudoTerminal pty;
  int host = -1;
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(pty.open(error)) << error;
    host = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(host, 0);
  }
  void TearDown() override { close(host); }
};
using LinePortOnAPty = Pty;

TEST_F(Pty, RawBothWaysAndExclusiveFlagCleared) {
  const Bytes bytes = {0x02, 0x11, 0x13, 0x0D, 0x0A, 0x03, 0x7F, 0x1B, 0x00, 0xFF, 0x04};
  ASSERT_EQ(write(host, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  EXPECT_EQ(drain(pty.master(), 100), bytes);
  ASSERT_EQ(write(pty.master(), bytes.data(), bytes.size()), ssize_t(bytes.size()));
  EXPECT_EQ(drain(host, 100), bytes);
  EXPECT_EQ(drain(pty.master(), 20), Bytes());  // nothing echoed
  int exclusive = 1;
  ASSERT_EQ(ioctl(host, TIOCEXCL), 0);
  pty.allowReopen();
  ASSERT_EQ(ioctl(host, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
}

// Past INPUT_QUEUE_MAX the host's bytes wait in the pty: the queue keeps its bound, none is lost.
TEST_F(LinePortOnAPty, FullInputQueueLeavesTheRestInThePty) {
  LinePort line(pty.master(), 0);
  Bytes sent(LinePort::INPUT_QUEUE_MAX + 1000), got(sent.size());
  for (size_t i = 0; i < sent.size(); i++) sent[i] = uint8_t(i % 251);
  pollfd out{host, POLLOUT, 0}, in{pty.master(), POLLIN, 0};
  for (size_t n = 0; n < sent.size();
       n += std::max<ssize_t>(write(host, &sent[n], sent.size() - n), 0)) {
    line.pump();
    ASSERT_EQ(poll(&out, 1, 5000), 1);
  }
  while (line.available() < LinePort::INPUT_QUEUE_MAX) {
    ASSERT_EQ(poll(&in, 1, 5000), 1);
  }
  EXPECT_EQ(line.available(), LinePort::INPUT_QUEUE_MAX);
  for (size_t n = 0; n < got.size(); n += size_t(line.read(&got[n], int(got.size() - n)))) {
    if (line.available() == 0) {
      ASSERT_EQ(poll(&in, 1, 5000), 1);
    }
  }
  EXPECT_EQ(got, sent);
}

// The simulated line is a ruler: a byte never arrives before its time on the wire, and a board
// that holds its output (flash programming) holds it even on an unpaced line.
TEST_F(LinePortOnAPty, BytesNeverArriveBeforeTheirWireTime) {
  using namespace std::chrono;
  for (long baud : {0L, 19200L}) {
    LinePort line(pty.master(), baud);
    const Bytes sent(20, 0x55);
    auto began = steady_clock::now();
    line.holdOutput(baud == 0 ? milliseconds(30) : milliseconds(0));
    line.write(sent.data(), int(sent.size()));
    Bytes got;
    while (got.size() < sent.size()) {
      pollfd p{pty.master(), 0, 0};  // a plain sleep until the next byte is due
      pollFor(&p, 1, line.dueIn() < 0s ? milliseconds(1) : line.dueIn());
      line.pump();
      Bytes more = drain(host, 0);
      got.insert(got.end(), more.begin(), more.end());
      ASSERT_LT(steady_clock::now() - began, seconds(10));
    }
    EXPECT_EQ(got, sent);
    // 20 bytes of 10 bits at 19200 bit/s take 10.4 ms; the hold 30 ms.
    EXPECT_GE(steady_clock::now() - began, baud == 0 ? milliseconds(30) : microseconds(10416));
  }
}

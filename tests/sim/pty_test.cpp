#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "sim/pty_posix.h"

using namespace h8;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Everything that arrives on fd until `ms` milliseconds pass without a byte.
Bytes drain(int fd, int ms) {
  Bytes got;
  uint8_t buffer[256];
  pollfd p{fd, POLLIN, 0};
  for (ssize_t n; poll(&p, 1, ms) > 0 && (n = read(fd, buffer, sizeof buffer)) > 0;) {
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

}  // namespace

TEST(PseudoTerminal, RawBothWaysExclusiveFlagClearedPacedAndBounded) {
  PseudoTerminal pty;
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  int host = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(host, 0);
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

  LinePort line(pty.master(), 9600);  // 48 bytes: 50 ms each way
  Bytes data(48, 'p');
  Clock::time_point start = Clock::now(), in{}, out{};
  ASSERT_EQ(write(host, data.data(), data.size()), ssize_t(data.size()));
  line.write(data.data(), int(data.size()));
  while ((in == Clock::time_point{} || out == Clock::time_point{}) && Clock::now() - start < 2s) {
    line.waitStep();
    if (in == Clock::time_point{} && line.available() == data.size()) in = Clock::now();
    if (out == Clock::time_point{} && line.queuedOutput() == 0) out = Clock::now();
  }
  EXPECT_GE(std::min(in, out) - start, 48ms);
  EXPECT_LT(std::max(in, out) - start, 1s);
  EXPECT_EQ(drain(host, 20), data);

  LinePort unpaced(pty.master(), 0);  // nobody reads the host's end: the queue stops growing
  Bytes block(4096, 'z');
  for (int i = 0; i < 64; i++) unpaced.write(block.data(), int(block.size()));
  EXPECT_TRUE(unpaced.wantsWrite() && !unpaced.lost());
  EXPECT_LE(unpaced.queuedOutput(), LinePort::OUTPUT_QUEUE_MAX);
  close(host);
}

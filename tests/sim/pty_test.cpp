#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

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

TEST(PseudoTerminal, RawBothWaysAndExclusiveFlagCleared) {
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

  close(host);
}

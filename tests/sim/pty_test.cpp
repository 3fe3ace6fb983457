#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "sim/pty_posix.h"
#include "sim_support.h"

using namespace h8;
using simtest::Bytes;

namespace {

using Clock = std::chrono::steady_clock;

// Everything that arrives on fd within `ms` milliseconds of quiet.
Bytes drain(int fd, int ms) {
  Bytes got;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return got;
    uint8_t buffer[256];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return got;
    got.insert(got.end(), buffer, buffer + n);
  }
}

int openHost(const std::string& path) {
  return open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

const Bytes LINE_BYTES = {0x02, 0x11, 0x13, 0x0D, 0x0A, 0x03, 0x7F, 0x1B, 0x00, 0xFF, 0x04};

}  // namespace

TEST(PseudoTerminal, HostBytesReachTheMasterUnchangedAndAreNotEchoed) {
  PseudoTerminal pty;
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  int host = openHost(pty.slavePath());
  ASSERT_GE(host, 0);
  ASSERT_EQ(write(host, LINE_BYTES.data(), LINE_BYTES.size()), ssize_t(LINE_BYTES.size()));
  EXPECT_EQ(drain(pty.master(), 100), LINE_BYTES);
  EXPECT_EQ(drain(host, 50), Bytes());
  close(host);
}

TEST(PseudoTerminal, MasterBytesReachTheHostUnchanged) {
  PseudoTerminal pty;
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  int host = openHost(pty.slavePath());
  ASSERT_GE(host, 0);
  ASSERT_EQ(write(pty.master(), LINE_BYTES.data(), LINE_BYTES.size()), ssize_t(LINE_BYTES.size()));
  EXPECT_EQ(drain(host, 100), LINE_BYTES);
  close(host);
}

TEST(PseudoTerminal, MasterSeesNoHangupBetweenHosts) {
  PseudoTerminal pty;
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  for (int i = 0; i < 2; i++) {
    int host = openHost(pty.slavePath());
    ASSERT_GE(host, 0);
    ASSERT_EQ(write(host, "x", 1), 1);
    EXPECT_EQ(drain(pty.master(), 100), Bytes({'x'}));
    close(host);
    pollfd p{pty.master(), POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 20), 0) << "revents " << p.revents;
  }
}

TEST(PseudoTerminal, ExclusiveFlagOfAClosedHostIsCleared) {
  PseudoTerminal pty;
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  int host = openHost(pty.slavePath());
  ASSERT_GE(host, 0);
  ASSERT_EQ(ioctl(host, TIOCEXCL), 0);
  close(host);
  int probe = openHost(pty.slavePath());  // root passes TIOCEXCL; the flag itself is checked
  ASSERT_GE(probe, 0);
  int exclusive = 0;
  ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1);
  pty.allowReopen();
  ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  close(probe);
}

TEST(PseudoTerminal, LinkPointsToTheSlaveAndGoesAwayOnClose) {
  simtest::TempDir dir;
  std::string link = dir.file("board");
  PseudoTerminal pty;
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  ASSERT_TRUE(pty.makeLink(link, error)) << error;
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), pty.slavePath());
  pty.close();
  struct stat st;
  EXPECT_NE(lstat(link.c_str(), &st), 0);
}

TEST(PseudoTerminal, StaleLinkIsReplacedButAFileIsNot) {
  simtest::TempDir dir;
  std::string link = dir.file("board");
  ASSERT_EQ(symlink("/dev/pts/nonexistent", link.c_str()), 0);
  PseudoTerminal pty;
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  EXPECT_TRUE(pty.makeLink(link, error)) << error;
  pty.removeLink();

  std::string file = dir.file("file");
  simtest::writeFile(file, {1, 2, 3});
  EXPECT_FALSE(pty.makeLink(file, error));
  EXPECT_EQ(error, file + ": exists and is not a symbolic link");
  pty.close();
  EXPECT_EQ(simtest::readFile(file), Bytes({1, 2, 3}));
}

TEST(PseudoTerminal, LinkTakenOverByAnotherIsLeftAlone) {
  simtest::TempDir dir;
  std::string link = dir.file("board");
  PseudoTerminal pty;
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  ASSERT_TRUE(pty.makeLink(link, error)) << error;
  unlink(link.c_str());
  ASSERT_EQ(symlink("/dev/null", link.c_str()), 0);
  pty.close();
  char target[64] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), "/dev/null");
}

TEST(LinePort, UnpacedBytesPassAtOnce) {
  PseudoTerminal pty;
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  int host = openHost(pty.slavePath());
  ASSERT_GE(host, 0);
  LinePort line(pty.master(), 0);
  EXPECT_EQ(line.msUntilDue(), -1);
  EXPECT_EQ(line.write(LINE_BYTES.data(), int(LINE_BYTES.size())), int(LINE_BYTES.size()));
  EXPECT_EQ(line.queuedOutput(), 0u);
  EXPECT_EQ(drain(host, 100), LINE_BYTES);

  ASSERT_EQ(write(host, "abc", 3), 3);
  for (int i = 0; i < 50 && line.available() < 3; i++) line.waitStep();
  uint8_t got[8];
  ASSERT_EQ(line.read(got, 8), 3);
  EXPECT_EQ(Bytes(got, got + 3), Bytes({'a', 'b', 'c'}));
  close(host);
}

TEST(LinePort, PacedOutputTakesTenBitsPerByte) {
  PseudoTerminal pty;
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  int host = openHost(pty.slavePath());
  ASSERT_GE(host, 0);
  LinePort line(pty.master(), 9600);  // 48 bytes: 50 ms
  Bytes data(48, 'p');
  Clock::time_point start = Clock::now();
  line.write(data.data(), int(data.size()));
  EXPECT_GT(line.msUntilDue(), 0);
  Bytes got;
  while (got.size() < data.size() && Clock::now() - start < std::chrono::seconds(2)) {
    int due = line.msUntilDue();
    std::this_thread::sleep_for(std::chrono::milliseconds(due > 0 ? due : 1));
    line.pump();
    Bytes more = drain(host, 0);
    got.insert(got.end(), more.begin(), more.end());
  }
  auto elapsed = Clock::now() - start;
  EXPECT_EQ(got, data);
  EXPECT_GE(elapsed, std::chrono::milliseconds(48));
  EXPECT_LT(elapsed, std::chrono::milliseconds(1000));
  close(host);
}

TEST(LinePort, PacedInputIsReleasedAtTheLineRate) {
  PseudoTerminal pty;
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  int host = openHost(pty.slavePath());
  ASSERT_GE(host, 0);
  LinePort line(pty.master(), 4800);  // 24 bytes: 50 ms
  Bytes data(24, 'q');
  ASSERT_EQ(write(host, data.data(), data.size()), ssize_t(data.size()));
  Clock::time_point start = Clock::now();
  pollfd p{pty.master(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 1000), 1);
  EXPECT_LT(line.available(), 24u);
  while (line.available() < 24 && Clock::now() - start < std::chrono::seconds(2)) {
    line.waitStep();
  }
  EXPECT_EQ(line.available(), 24u);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(45));
  close(host);
}

TEST(LinePort, OutputWithNobodyListeningIsBounded) {
  PseudoTerminal pty;
  std::string error;
  ASSERT_TRUE(pty.open(error)) << error;
  LinePort line(pty.master(), 0);
  Bytes data(4096, 'z');
  for (int i = 0; i < 64; i++) line.write(data.data(), int(data.size()));
  EXPECT_TRUE(line.wantsWrite());
  EXPECT_LE(line.queuedOutput(), LinePort::OUTPUT_QUEUE_MAX);
  EXPECT_FALSE(line.lost());
}

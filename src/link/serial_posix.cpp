// POSIX serial binding: termios, exclusive open, raw 8N1, poll() for the 10 ms wait step.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "link/serial.h"

namespace h8 {

namespace {

struct SpeedEntry {
  long bps;
  speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

// Raw 8N1 from the settings found on the port, at their speed: no echo or translation, no
// software flow control (0x11 and 0x13 occur inside frames), no parity check or eighth-bit strip.
termios rawLine(termios t) {
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD | CS8;
  // The board's line is TxD/RxD/GND only: an adapter left with RTS/CTS on would hold every write.
  t.c_cflag &= ~(PARENB | CSTOPB | CRTSCTS);
  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return t;
}

// Sets t and reads it back: tcsetattr reports success when only part of a change took.
bool setAndVerify(int fd, const termios& t) {
  termios got;
  const tcflag_t c = CSIZE | PARENB | CSTOPB | CRTSCTS, i = IXON | IXOFF;
  return tcsetattr(fd, TCSANOW, &t) == 0 && tcgetattr(fd, &got) == 0 &&
         (got.c_cflag & c) == (t.c_cflag & c) && (got.c_iflag & i) == (t.c_iflag & i) &&
         cfgetispeed(&got) == cfgetispeed(&t) && cfgetospeed(&got) == cfgetospeed(&t);
}

class PosixSerialPort : public SerialPort {
 public:
  ~PosixSerialPort() override { close(); }

  bool open(const std::string& name, long speed) override {
    std::string path = serialDevicePath(name);
    error_.clear();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(-1, strerror(errno));
    if (!isatty(fd)) return fail(fd, "not a terminal device");
    if (ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
      return fail(fd, errno == EWOULDBLOCK ? "in use by another program" : strerror(errno));
    }
    if (tcgetattr(fd, &saved_) != 0) return fail(fd, strerror(errno));
    termios t = rawLine(saved_);
    for (const SpeedEntry& s : kSpeeds) {
      if (s.bps == speed) {
        cfsetispeed(&t, s.code);
        cfsetospeed(&t, s.code);
      }
    }
    // A speed the table or the driver does not take leaves the port at its old speed; settings
    // that do not take even then leave the port as it was found, and the open fails.
    if (!setAndVerify(fd, t) && !setAndVerify(fd, rawLine(saved_))) {
      tcsetattr(fd, TCSANOW, &saved_);
      return fail(fd, "it does not take raw 8N1 settings");
    }
    tcflush(fd, TCIOFLUSH);
    termios now{};
    speed_ = 0;
    if (tcgetattr(fd, &now) == 0) {
      for (const SpeedEntry& s : kSpeeds) {
        if (s.code == cfgetospeed(&now)) speed_ = s.bps;
      }
    }
    fd_ = fd;
    lost_ = false;
    return true;
  }

  long speed() const override { return fd_ >= 0 ? speed_ : 0; }
  std::string openError() const override { return error_; }

  int close() override {
    if (fd_ < 0) return 0;
    tcsetattr(fd_, TCSANOW, &saved_);
    int r = ::close(fd_);
    fd_ = -1;
    return r == 0 ? 1 : 0;
  }

  int write(const uint8_t* data, int n) override {
    int done = 0;
    while (fd_ >= 0 && done < n) {
      ssize_t w = ::write(fd_, data + done, size_t(n - done));
      if (w > 0) {
        done += int(w);
      } else if (w < 0 && errno == EINTR) {
        continue;
      } else if (w < 0 && errno == EAGAIN) {
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 10);
      } else {
        markLost();
        break;
      }
    }
    return done;
  }

  int read(uint8_t* buffer, int n) override {
    if (pendingValid_ && n > 0) {
      buffer[0] = pending_;
      pendingValid_ = false;
      return 1;
    }
    if (fd_ < 0) return 0;
    for (;;) {
      ssize_t r = ::read(fd_, buffer, size_t(n));
      if (r > 0) return int(r);
      if (r < 0 && errno == EINTR) continue;
      if (r == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) markLost();
      return 0;
    }
  }

  unsigned available() override {
    if (fd_ < 0) return pendingValid_ ? 1 : 0;
    int n = 0;
    if (ioctl(fd_, FIONREAD, &n) == 0 && n > 0) return unsigned(n) + (pendingValid_ ? 1 : 0);
    if (pendingValid_) return 1;
    // FIONREAD does not see a hang-up; poll does. A readable descriptor with nothing queued
    // means the other side has gone.
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      // A pty master may report POLLHUP while data is still buffered; try one byte.
      uint8_t b;
      ssize_t r = ::read(fd_, &b, 1);
      if (r == 1) {
        pending_ = b;
        pendingValid_ = true;
        return 1;
      }
      markLost();
    }
    return 0;
  }

  void waitStep() override {
    // A lost line answers poll() at once, for ever: from then on every step sleeps its 10 ms.
    if (fd_ < 0 || lost_ || pendingValid_) {
      if (!pendingValid_) usleep(10000);
      return;
    }
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, 10);
    // A hung-up line flags POLLIN too; it is lost once nothing is left to read.
    if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && available() == 0) {
      markLost();
      usleep(10000);
    }
  }


  bool lost() const override { return lost_; }

 private:
  void markLost() { lost_ = true; }

  bool fail(int fd, const std::string& why) {
    if (fd >= 0) ::close(fd);
    error_ = why;
    return false;
  }

  int fd_ = -1;
  termios saved_{};
  bool lost_ = false;
  long speed_ = 0;
  std::string error_;
  uint8_t pending_ = 0;
  bool pendingValid_ = false;
};

}  // namespace

std::string serialDevicePath(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  if (name.size() > 3 && toupper(static_cast<unsigned char>(name[0])) == 'C' &&
      toupper(static_cast<unsigned char>(name[1])) == 'O' &&
      toupper(static_cast<unsigned char>(name[2])) == 'M') {
    char* end = nullptr;
    long n = strtol(name.c_str() + 3, &end, 10);
    if (end != name.c_str() + 3 && *end == '\0' && n >= 1)
      return "/dev/ttyS" + std::to_string(n - 1);
  }
  return name;
}

std::unique_ptr<SerialPort> makePlatformSerialPort() { return std::make_unique<PosixSerialPort>(); }

}  // namespace h8

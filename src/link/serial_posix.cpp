// POSIX serial binding: termios, exclusive open, raw 8N1, poll() for the 10 ms wait step.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
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
    inStart_ = inEnd_ = 0;
    return true;
  }

  long speed() const override { return fd_ >= 0 ? speed_ : 0; }
  std::string openError() const override { return error_; }

  int close() override {
    if (fd_ < 0) return 0;
    tcsetattr(fd_, TCSANOW, &saved_);
    int r = ::close(fd_);
    fd_ = -1;
    inStart_ = inEnd_ = 0;
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

  // Bytes are taken from the driver as many as it has queued, in one call, and handed out from
  // inBuffer_; what the callers see, byte by byte, is the same.
  int read(uint8_t* buffer, int n) override {
    if (n <= 0 || (buffered() == 0 && !fill())) return 0;
    int count = std::min(n, buffered());
    memcpy(buffer, inBuffer_ + inStart_, size_t(count));
    inStart_ += count;
    return count;
  }

  unsigned available() override {
    if (buffered() == 0) fill();
    return unsigned(buffered());
  }

  void waitStep() override { waitFor(NO_WAKE, 10); }

  // One poll() on the line and `other` together.
  void waitFor(WakeHandle other, int ms) override {
    if (buffered() > 0) return;
    pollfd p[2];
    int n = 0;
    // A lost line answers poll() at once, for ever: from then on only `other` is watched.
    bool line = fd_ >= 0 && !lost_;
    if (line) p[n++] = {fd_, POLLIN, 0};
    if (other != NO_WAKE) p[n++] = {int(other), POLLIN, 0};
    int r = n > 0 ? ::poll(p, nfds_t(n), ms) : 0;
    // A hung-up line flags POLLIN too; it is lost once nothing is left to read.
    bool hungUp = line && r > 0 && (p[0].revents & (POLLHUP | POLLERR | POLLNVAL));
    if (hungUp && available() == 0) markLost();
    if (n == 0 || (hungUp && lost_)) {
      if (other != NO_WAKE) {
        pollfd key{int(other), POLLIN, 0};
        ::poll(&key, 1, ms);
      } else {
        usleep(useconds_t(ms) * 1000);
      }
    }
  }

  bool lost() const override { return lost_; }

 private:
  void markLost() { lost_ = true; }

  int buffered() const { return inEnd_ - inStart_; }

  // One read() of whatever the driver holds; false when nothing came. An error other than
  // "nothing yet", or end of file on a hung-up line, means the device has gone (an unplugged
  // adapter, a closed pty).
  bool fill() {
    inStart_ = inEnd_ = 0;
    if (fd_ < 0 || lost_) return false;
    for (;;) {
      ssize_t r = ::read(fd_, inBuffer_, sizeof inBuffer_);
      if (r > 0) {
        inEnd_ = int(r);
        return true;
      }
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) markLost();
      // End of file is a hang-up only when poll() says so (a line set to VMIN 0 reads 0 too).
      pollfd p{fd_, POLLIN, 0};
      if (r == 0 && ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        markLost();
      }
      return false;
    }
  }

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
  uint8_t inBuffer_[256] = {};
  int inStart_ = 0;
  int inEnd_ = 0;
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

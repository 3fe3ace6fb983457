#include "sim/pty_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace h8 {

namespace {

std::string osError(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

int pollFor(pollfd* fds, int n, std::chrono::steady_clock::duration timeout) {
  if (timeout < std::chrono::steady_clock::duration::zero())
    return ::ppoll(fds, nfds_t(n), nullptr, nullptr);
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout).count();
  timespec t{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
  return ::ppoll(fds, nfds_t(n), &t, nullptr);
}

PseudoTerminal::~PseudoTerminal() { close(); }

bool PseudoTerminal::open(std::string& error) {
  close();
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) {
    error = osError("posix_openpt");
    return false;
  }
  char name[128];
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0) {
    error = osError("pseudo-terminal");
    close();
    return false;
  }
  slavePath_ = name;
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  // Holding one slave descriptor keeps the line up between hosts; setting it raw before any
  // host opens it means the line discipline never echoes or translates a byte.
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios t{};
  if (slave_ < 0 || tcgetattr(slave_, &t) != 0) {
    error = osError(slavePath_);
    close();
    return false;
  }
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  if (tcsetattr(slave_, TCSANOW, &t) != 0) {
    error = osError(slavePath_);
    close();
    return false;
  }
  return true;
}

bool PseudoTerminal::makeLink(const std::string& path, std::string& error) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      error = path + ": exists and is not a symbolic link";
      return false;
    }
    unlink(path.c_str());  // left behind by an earlier run
  }
  if (symlink(slavePath_.c_str(), path.c_str()) != 0) {
    error = osError(path);
    return false;
  }
  link_ = path;
  return true;
}

void PseudoTerminal::removeLink() {
  if (link_.empty()) return;
  // Only our own link: another h8sim may have taken the name over since.
  char target[256];
  ssize_t n = readlink(link_.c_str(), target, sizeof target - 1);
  if (n >= 0 && std::string(target, size_t(n)) == slavePath_) unlink(link_.c_str());
  link_.clear();
}

// A host sets TIOCEXCL on the slave. Because our descriptor keeps the slave open, the flag would
// outlive that host and refuse the next one (root excepted). Hosts also hold an flock, which
// still keeps two debuggers off one board.
void PseudoTerminal::allowReopen() {
  if (slave_ >= 0) ioctl(slave_, TIOCNXCL);
}

void PseudoTerminal::close() {
  removeLink();
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
  slave_ = master_ = -1;
}

LinePort::LinePort(int fd, long bitsPerSecond)
    : fd_(fd),
      byteTime_(bitsPerSecond > 0 ? std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::nanoseconds(10'000'000'000LL / bitsPerSecond))
                                  : Clock::duration::zero()),
      paced_(bitsPerSecond > 0) {}

bool LinePort::open(const std::string&, long) { return fd_ >= 0; }

int LinePort::close() {
  fd_ = -1;  // the descriptor belongs to whoever opened it
  return 1;
}

LinePort::Clock::time_point LinePort::transferEnd(Clock::time_point now,
                                                  Clock::time_point& lineFree) const {
  // Unpaced, bytes pass at once unless the board holds its output (holdOutput).
  if (!paced_) return std::max(now, lineFree);
  lineFree = std::max(now, lineFree) + byteTime_;
  return lineFree;
}

int LinePort::write(const uint8_t* data, int n) {
  Clock::time_point now = Clock::now();
  int accepted = 0;
  // Nobody may be listening; past the limit the bytes are lost as on an unattended line.
  while (accepted < n && output_.size() < OUTPUT_QUEUE_MAX) {
    output_.push_back({transferEnd(now, outputFree_), data[accepted++]});
  }
  writeDescriptor(now);
  return n;
}

int LinePort::read(uint8_t* buffer, int n) {
  Clock::time_point now = Clock::now();
  int got = 0;
  while (got < n && !input_.empty() && input_.front().due <= now) {
    buffer[got++] = input_.front().byte;
    input_.pop_front();
  }
  return got;
}

unsigned LinePort::available() {
  Clock::time_point now = Clock::now();
  readDescriptor(now);
  unsigned n = 0;
  for (const Timed& t : input_) {
    if (t.due > now) break;
    n++;
  }
  return n;
}

void LinePort::waitStep() {
  if (fd_ >= 0) {
    pollfd p{fd_, POLLIN, 0};
    Clock::duration due = dueIn();
    pollFor(&p, 1,
            due >= Clock::duration::zero() && due < std::chrono::milliseconds(10)
                ? due
                : std::chrono::milliseconds(10));
  } else {
    usleep(10000);
  }
  pump();
}

void LinePort::holdOutput(Clock::duration d) {
  outputFree_ = std::max(outputFree_, Clock::now() + d);
}

void LinePort::pump() {
  // A full input queue leaves bytes in the pty, so a poll() for POLLIN returns at once; waiting
  // until the oldest byte is due (a signal ends it early) keeps the serve loop from spinning.
  if (input_.size() >= INPUT_QUEUE_MAX) {
    pollfd p{fd_, short(wantsWrite() ? POLLOUT : 0), 0};
    pollFor(&p, 1, dueIn());
  }
  Clock::time_point now = Clock::now();
  readDescriptor(now);
  writeDescriptor(now);
}

void LinePort::readDescriptor(Clock::time_point now) {
  if (fd_ < 0) return;
  uint8_t buffer[256];
  while (input_.size() < INPUT_QUEUE_MAX) {
    ssize_t r = ::read(fd_, buffer, std::min(sizeof buffer, INPUT_QUEUE_MAX - input_.size()));
    if (r > 0) {
      for (ssize_t i = 0; i < r; i++) input_.push_back({transferEnd(now, inputFree_), buffer[i]});
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) lost_ = true;
    return;
  }
}

void LinePort::writeDescriptor(Clock::time_point now) {
  blocked_ = false;
  if (fd_ < 0) return;
  uint8_t buffer[256];
  while (!output_.empty() && output_.front().due <= now) {
    size_t n = 0;
    while (n < sizeof buffer && n < output_.size() && output_[n].due <= now) {
      buffer[n] = output_[n].byte;
      n++;
    }
    ssize_t w = ::write(fd_, buffer, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      blocked_ = true;
      return;
    }
    output_.erase(output_.begin(), output_.begin() + w);
  }
}

bool LinePort::lastIsDue() const {
  bool output = !output_.empty() && !blocked_;
  if (!input_.empty() && (!output || input_.front().due <= output_.front().due))
    return input_.size() == 1;
  return output && output_.size() == 1;
}

LinePort::Clock::duration LinePort::dueIn() const {
  Clock::time_point next = Clock::time_point::max();
  if (!input_.empty()) next = std::min(next, input_.front().due);
  if (!output_.empty() && !blocked_) next = std::min(next, output_.front().due);
  if (next == Clock::time_point::max()) return Clock::duration(-1);
  return std::max(next - Clock::now(), Clock::duration::zero());
}

}  // namespace h8

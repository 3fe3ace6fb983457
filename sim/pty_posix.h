// The board's end of the serial line on POSIX: a pseudo-terminal, and a SerialPort over a
// descriptor that is already open (the pty master), paced like a real line when asked.
//
// PseudoTerminal
//   open(error)            posix_openpt/grantpt/unlockpt; the slave is set raw at once and one
//                          slave descriptor stays open, so the master never sees a hang-up while
//                          hosts come and go and nothing is ever echoed
//   makeLink(path, error)  a symbolic link at path to the slave (an old symlink is replaced);
//                          removed again by removeLink() or the destructor
//   allowReopen()          clears the exclusive-open flag a host left on the slave (TIOCNXCL)
//
// LinePort (SerialPort)
//   write(p, n)       queue bytes for the line; they reach the descriptor as pacing allows
//   read/available    bytes whose transfer on the line has completed
//   pump()            move bytes between the descriptor and the queues; call after a wait
//                     (with the input queue full it first waits, at most one byte time)
//   pollFor(fds, n, d)  ppoll() with a timeout to the microsecond (negative: none)
//   dueIn()           how long until pacing releases a byte, to the microsecond (negative:
//                     nothing waits on the clock)
//   lastIsDue()       that byte is the last one queued in its direction: the end of a frame,
//                     which the other side is waiting for
//   holdOutput(d)     the next byte written starts on the line no earlier than d from now
//                     (the board is busy: flash erase and programming times)
//   wantsWrite()      bytes are due but the descriptor would not take them (poll for POLLOUT)
// With a rate of N bit/s a byte takes 10/N seconds in each direction; rate 0 is unpaced.
// Past INPUT_QUEUE_MAX bytes the descriptor is not read: the pty holds the host's bytes back, as
// a UART's flow control would, and none is lost.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "link/serial.h"

struct pollfd;

namespace h8 {

class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  ~PseudoTerminal();

  bool open(std::string& error);
  bool makeLink(const std::string& path, std::string& error);
  void removeLink();
  void allowReopen();
  void close();

  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::string link_;
};

int pollFor(struct pollfd* fds, int n, std::chrono::steady_clock::duration timeout);

class LinePort : public SerialPort {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr size_t INPUT_QUEUE_MAX = 65536;
  static constexpr size_t OUTPUT_QUEUE_MAX = 65536;

  LinePort(int fd, long bitsPerSecond);

  bool open(const std::string& name, long speed) override;
  int close() override;
  int write(const uint8_t* data, int n) override;
  int read(uint8_t* buffer, int n) override;
  unsigned available() override;
  void waitStep() override;
  bool lost() const override { return lost_; }

  void pump();
  Clock::duration dueIn() const;
  bool lastIsDue() const;
  void holdOutput(Clock::duration d);
  bool wantsWrite() const { return blocked_ && !output_.empty(); }
  size_t queuedOutput() const { return output_.size(); }

 private:
  struct Timed {
    Clock::time_point due;
    uint8_t byte;
  };
  // When a byte entering the line now has been transferred, behind the bytes before it.
  Clock::time_point transferEnd(Clock::time_point now, Clock::time_point& lineFree) const;
  void readDescriptor(Clock::time_point now);
  void writeDescriptor(Clock::time_point now);

  int fd_;
  Clock::duration byteTime_;
  bool paced_;
  std::deque<Timed> input_;
  std::deque<Timed> output_;
  Clock::time_point inputFree_{};
  Clock::time_point outputFree_{};
  bool blocked_ = false;
  bool lost_ = false;
};

}  // namespace h8

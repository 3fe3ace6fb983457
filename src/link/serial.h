// The serial line to the board, behind a small interface so that nothing above it sees the
// platform. One implementation per platform (serial_posix.cpp, serial_win32.cpp); tests use an
// in-memory board.
//
//   open(name, speed)  open the named device exclusively, raw 8N1 at `speed`; false when it
//                      cannot be opened or does not take the raw settings. A speed the driver
//                      refuses leaves the old one, silently.
//   close()            close the device; returns the platform's close result
//   write(p, n)        write n bytes; returns the count the driver reports written
//   read(p, n)         read up to n bytes already waiting; returns the count read
//   available()        bytes waiting in the input queue (also clears line-error state)
//   waitStep()         one 10 ms poll step; returns early as soon as a byte arrives
//   waitFor(other, ms) a wait of up to ms that ends as soon as a byte arrives or `other` has
//                      input (the console's): one wait serves a typed key and the board
//   lost()             true once the device has gone away (unplugged adapter, closed pty)
//   speed()            the speed the open port really runs at; 0 when it is not known
//   openError()        after a failed open: why, in the system's words ("" when not known)
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace h8 {

// Something else a wait step may end for: a descriptor on POSIX, a waitable HANDLE on Windows.
using WakeHandle = intptr_t;
constexpr WakeHandle NO_WAKE = -1;
// How long the prompt and the run wait sleep when neither the line nor the keyboard stirs; both
// wake them at once, so the length only sets how often h8dbg looks at its clock and flags.
constexpr int IDLE_WAIT_MS = 50;

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  virtual bool open(const std::string& name, long speed) = 0;
  virtual int close() = 0;
  virtual int write(const uint8_t* data, int n) = 0;
  virtual int read(uint8_t* buffer, int n) = 0;
  virtual unsigned available() = 0;
  virtual void waitStep() = 0;
  virtual void waitFor(WakeHandle other, int ms) {
    (void)other;
    (void)ms;
    waitStep();
  }
  virtual bool lost() const { return false; }
  virtual long speed() const { return 0; }
  virtual std::string openError() const { return ""; }
};

// The platform's serial port (POSIX termios or Win32 comm API).
std::unique_ptr<SerialPort> makePlatformSerialPort();

// Maps a port name as the user gave it to the device to open: "COMn" is the n-th serial device
// on POSIX (COM1 is /dev/ttyS0); a name that begins with "/" is used as it stands.
std::string serialDevicePath(const std::string& name);

#ifdef _WIN32
// The system's text for a Windows error code (GetLastError), without its closing line break.
std::string systemMessage(unsigned long code);
#endif

}  // namespace h8

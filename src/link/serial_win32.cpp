// Win32 serial binding: the comm API on a handle opened without FILE_FLAG_OVERLAPPED, so every
// read and write completes before the call returns; bytes are read only after ClearCommError
// has counted them, so no call waits on a silent line.
#include <windows.h>

#include <string>

#include "link/serial.h"

namespace h8 {

std::string systemMessage(unsigned long code) {
  char text[256] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, DWORD(sizeof text), nullptr);
  std::string message(text, n);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == '.' || message.back() == ' '))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(code) : message;
}

namespace {

class Win32SerialPort : public SerialPort {
 public:
  Win32SerialPort() {
    // One event per record (manual reset, not signalled, unnamed). The handle is synchronous,
    // so the records carry no other role; they are passed to every read and write.
    writeEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    readEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    QueryPerformanceFrequency(&ticksPerSecond_);
  }

  ~Win32SerialPort() override {
    close();
    if (writeEvent_) CloseHandle(writeEvent_);
    if (readEvent_) CloseHandle(readEvent_);
  }

  bool open(const std::string& name, long speed) override {
    close();
    writeRecord_ = OVERLAPPED{};
    readRecord_ = OVERLAPPED{};
    writeRecord_.hEvent = writeEvent_;
    readRecord_.hEvent = readEvent_;
    // The name as typed: COM1..COM9, or \\.\COM10 and above.
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    error_.clear();
    if (h == INVALID_HANDLE_VALUE) {
      error_ = systemMessage(GetLastError());
      return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    // A handle without comm state is no serial port (an ordinary file whose name holds "COM").
    if (!GetCommState(h, &dcb)) {
      CloseHandle(h);
      error_ = "not a serial port";
      return false;
    }
    // Only the framing and the speed change; flow control, binary mode and the special
    // characters stay as the driver has them. A speed the driver refuses makes SetCommState
    // fail and leaves the port as it was.
    dcb.BaudRate = DWORD(speed);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    SetCommState(h, &dcb);
    speed_ = GetCommState(h, &dcb) ? long(dcb.BaudRate) : 0;
    port_ = h;
    lost_ = false;
    return true;
  }

  long speed() const override { return port_ != INVALID_HANDLE_VALUE ? speed_ : 0; }
  std::string openError() const override { return error_; }

  int close() override {
    if (port_ == INVALID_HANDLE_VALUE) return 0;
    BOOL r = CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
    return r ? 1 : 0;
  }

  int write(const uint8_t* data, int n) override {
    if (port_ == INVALID_HANDLE_VALUE || n <= 0) return 0;
    DWORD written = 0;
    if (!WriteFile(port_, data, DWORD(n), &written, &writeRecord_)) noteFailure();
    return int(written);
  }

  int read(uint8_t* buffer, int n) override {
    if (port_ == INVALID_HANDLE_VALUE || n <= 0) return 0;
    // Never ask for more than is queued: with the driver's time-outs left as found, a read of
    // a byte not yet received could wait for ever.
    unsigned waiting = available();
    if (waiting == 0) return 0;
    DWORD count = waiting < unsigned(n) ? DWORD(waiting) : DWORD(n);
    DWORD got = 0;
    if (!ReadFile(port_, buffer, count, &got, &readRecord_)) noteFailure();
    return int(got);
  }

  unsigned available() override {
    if (port_ == INVALID_HANDLE_VALUE) return 0;
    DWORD errors = 0;
    COMSTAT status{};
    // Framing, parity and overrun errors are cleared here and otherwise ignored.
    if (!ClearCommError(port_, &errors, &status)) {
      noteFailure();
      return 0;
    }
    return unsigned(status.cbInQue);
  }

  // Up to 10 ms, in 1 ms sleeps that end as soon as a byte is queued. With the default 15.6 ms
  // timer the first Sleep(1) already ends the step, so it never lasts much beyond one tick.
  void waitStep() override {
    if (port_ == INVALID_HANDLE_VALUE || lost_) {
      Sleep(10);
      return;
    }
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    for (;;) {
      if (available() > 0 || lost_) return;
      LARGE_INTEGER now;
      QueryPerformanceCounter(&now);
      if ((now.QuadPart - start.QuadPart) * 100 >= ticksPerSecond_.QuadPart) return;
      Sleep(1);
    }
  }

  bool lost() const override { return lost_; }

 private:
  // A USB adapter that is unplugged makes every call on the handle fail from then on.
  void noteFailure() {
    DWORD e = GetLastError();
    // ERROR_OPERATION_ABORTED is not among them: with fAbortOnError set by the driver's
    // settings, a line error fails reads until the next ClearCommError.
    if (e == ERROR_ACCESS_DENIED || e == ERROR_BAD_COMMAND || e == ERROR_GEN_FAILURE ||
        e == ERROR_DEVICE_REMOVED || e == ERROR_DEVICE_NOT_CONNECTED || e == ERROR_INVALID_HANDLE)
      lost_ = true;
  }

  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE writeEvent_ = nullptr;
  HANDLE readEvent_ = nullptr;
  OVERLAPPED writeRecord_{};
  OVERLAPPED readRecord_{};
  LARGE_INTEGER ticksPerSecond_{};
  bool lost_ = false;
  long speed_ = 0;
  std::string error_;
};

}  // namespace

// Windows opens serial ports by their own names; nothing is mapped.
std::string serialDevicePath(const std::string& name) { return name; }

std::unique_ptr<SerialPort> makePlatformSerialPort() { return std::make_unique<Win32SerialPort>(); }

}  // namespace h8

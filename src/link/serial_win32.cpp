// Win32 serial binding: the comm API on an overlapped handle. Every read and write is waited
// for before the call returns; bytes are read only after ClearCommError has counted them, so no
// call waits on a silent line. The wait step waits on the port's receive event (WaitCommEvent,
// EV_RXCHAR) and, when asked, on the console's input handle together.
#include <windows.h>

#include <cstring>
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
    // One event per record (manual reset, not signalled, unnamed).
    writeEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    readEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    waitEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }

  ~Win32SerialPort() override {
    close();
    if (writeEvent_) CloseHandle(writeEvent_);
    if (readEvent_) CloseHandle(readEvent_);
    if (waitEvent_) CloseHandle(waitEvent_);
  }

  bool open(const std::string& name, long speed) override {
    close();
    writeRecord_ = OVERLAPPED{};
    readRecord_ = OVERLAPPED{};
    writeRecord_.hEvent = writeEvent_;
    readRecord_.hEvent = readEvent_;
    waitRecord_ = OVERLAPPED{};
    waitRecord_.hEvent = waitEvent_;
    waitPending_ = false;
    inStart_ = inEnd_ = 0;
    // The name as typed: COM1..COM9, or \\.\COM10 and above.
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
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
    SetCommMask(h, EV_RXCHAR);
    port_ = h;
    lost_ = false;
    return true;
  }

  long speed() const override { return port_ != INVALID_HANDLE_VALUE ? speed_ : 0; }
  std::string openError() const override { return error_; }

  int close() override {
    if (port_ == INVALID_HANDLE_VALUE) return 0;
    if (waitPending_) {
      // An empty mask ends the pending WaitCommEvent; it is collected before the handle goes.
      SetCommMask(port_, 0);
      CancelIo(port_);
      DWORD unused = 0;
      GetOverlappedResult(port_, &waitRecord_, &unused, TRUE);
      waitPending_ = false;
    }
    inStart_ = inEnd_ = 0;
    BOOL r = CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
    return r ? 1 : 0;
  }

  int write(const uint8_t* data, int n) override {
    if (port_ == INVALID_HANDLE_VALUE || n <= 0) return 0;
    DWORD written = 0;
    if (!finish(WriteFile(port_, data, DWORD(n), &written, &writeRecord_), writeRecord_, written))
      noteFailure();
    return int(written);
  }

  // Bytes are taken from the driver as many as it has queued, in one call, and handed out from
  // inBuffer_; what the callers see, byte by byte, is the same.
  int read(uint8_t* buffer, int n) override {
    if (n <= 0 || available() == 0) return 0;
    int count = n < buffered() ? n : buffered();
    memcpy(buffer, inBuffer_ + inStart_, size_t(count));
    inStart_ += count;
    return count;
  }

  unsigned available() override {
    if (buffered() > 0 || port_ == INVALID_HANDLE_VALUE) return unsigned(buffered());
    DWORD errors = 0;
    COMSTAT status{};
    // Framing, parity and overrun errors are cleared here and otherwise ignored.
    if (!ClearCommError(port_, &errors, &status)) {
      noteFailure();
      return 0;
    }
    if (status.cbInQue == 0) return 0;
    // Never ask for more than is queued: with the driver's time-outs left as found, a read of
    // a byte not yet received could wait for ever.
    DWORD count = status.cbInQue < sizeof inBuffer_ ? status.cbInQue : DWORD(sizeof inBuffer_);
    DWORD got = 0;
    inStart_ = inEnd_ = 0;
    if (!finish(ReadFile(port_, inBuffer_, count, &got, &readRecord_), readRecord_, got))
      noteFailure();
    inEnd_ = int(got);
    return unsigned(buffered());
  }

  void waitStep() override { waitFor(NO_WAKE, 10); }

  // Waits on the port's receive event and `other` together.
  void waitFor(WakeHandle other, int ms) override {
    HANDLE handles[2];
    DWORD n = 0;
    if (port_ != INVALID_HANDLE_VALUE && !lost_) {
      if (available() > 0 || !armReceiveEvent()) return;
      // A byte that came before the wait was armed raises no event of its own.
      if (available() > 0) return;
      handles[n++] = waitEvent_;
    }
    if (other != NO_WAKE) handles[n++] = HANDLE(other);
    if (n == 0) {
      Sleep(DWORD(ms));
      return;
    }
    DWORD woken = WaitForMultipleObjects(n, handles, FALSE, DWORD(ms));
    if (woken == WAIT_OBJECT_0 && handles[0] == waitEvent_) {
      DWORD unused = 0;
      GetOverlappedResult(port_, &waitRecord_, &unused, FALSE);
      waitPending_ = false;
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

  int buffered() const { return inEnd_ - inStart_; }

  // Completes an overlapped read or write that `started` returned for: waits for it when it
  // is pending. True when it succeeded; `done` holds the bytes moved.
  bool finish(BOOL started, OVERLAPPED& record, DWORD& done) {
    if (started) return true;
    if (GetLastError() != ERROR_IO_PENDING) return false;
    return GetOverlappedResult(port_, &record, &done, TRUE) != 0;
  }

  // Keeps one WaitCommEvent pending for the next received byte; false when it completed at
  // once (a byte came) or failed (the failure is noted).
  bool armReceiveEvent() {
    if (waitPending_) return true;
    ResetEvent(waitEvent_);
    waitMask_ = 0;
    if (WaitCommEvent(port_, &waitMask_, &waitRecord_)) return false;
    if (GetLastError() != ERROR_IO_PENDING) {
      noteFailure();
      if (!lost_) Sleep(10);  // a driver without the event: the step still takes its time
      return false;
    }
    waitPending_ = true;
    return true;
  }

  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE writeEvent_ = nullptr;
  HANDLE readEvent_ = nullptr;
  HANDLE waitEvent_ = nullptr;
  OVERLAPPED writeRecord_{};
  OVERLAPPED readRecord_{};
  OVERLAPPED waitRecord_{};
  DWORD waitMask_ = 0;
  bool waitPending_ = false;
  uint8_t inBuffer_[256] = {};
  int inStart_ = 0;
  int inEnd_ = 0;
  bool lost_ = false;
  long speed_ = 0;
  std::string error_;
};

}  // namespace

// Windows opens serial ports by their own names; nothing is mapped.
std::string serialDevicePath(const std::string& name) { return name; }

std::unique_ptr<SerialPort> makePlatformSerialPort() { return std::make_unique<Win32SerialPort>(); }

}  // namespace h8

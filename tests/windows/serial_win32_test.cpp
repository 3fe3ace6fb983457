// The Win32 serial binding, as far as it can be exercised without a serial port.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>

#include "link/serial.h"
#include "process_win32.h"

using namespace h8;
using h8test::buildDirectory;
using h8test::runProcess;

namespace {

const std::string kStars(68, '*');

std::string tempPath(const char* name) {
  char dir[MAX_PATH];
  DWORD n = GetTempPathA(MAX_PATH, dir);
  return std::string(dir, n) + name;
}

}  // namespace

TEST(SerialOpen, FailsForPortThatDoesNotExist) {
  auto port = makePlatformSerialPort();
  EXPECT_FALSE(port->open("COM99", 19200));
  EXPECT_FALSE(port->lost());
}

TEST(SerialOpen, FailsForDeviceNamespaceNameThatDoesNotExist) {
  auto port = makePlatformSerialPort();
  EXPECT_FALSE(port->open("\\\\.\\COM98", 19200));
}

TEST(SerialOpen, RefusesOrdinaryFileWhoseNameHoldsCom) {
  std::string path = tempPath("H8COMTEST.TXT");
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(f, "data", 4, &written, nullptr);
  CloseHandle(f);

  auto port = makePlatformSerialPort();
  EXPECT_FALSE(port->open(path, 19200));
  // The file was closed again: it can be deleted.
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST(SerialClosed, MovesNoBytes) {
  auto port = makePlatformSerialPort();
  ASSERT_FALSE(port->open("COM99", 19200));
  uint8_t b = 0x41;
  EXPECT_EQ(port->write(&b, 1), 0);
  EXPECT_EQ(port->read(&b, 1), 0);
  EXPECT_EQ(port->available(), 0u);
  EXPECT_EQ(port->close(), 0);
}

TEST(SerialWaitStep, SleepsAboutTenMillisecondsWithoutAPort) {
  auto port = makePlatformSerialPort();
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 10; i++) port->waitStep();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  start)
                .count();
  EXPECT_GE(ms, 90);  // a step that does not sleep would make the poll loops spin
  EXPECT_LT(ms, 2000);
}

TEST(SerialDevicePath, KeepsTheNameAsTyped) {
  EXPECT_EQ(serialDevicePath("COM3"), "COM3");
  EXPECT_EQ(serialDevicePath("com1"), "com1");
  EXPECT_EQ(serialDevicePath("\\\\.\\COM10"), "\\\\.\\COM10");
}

TEST(DebuggerStartUp, MissingPortEndsWithInitComErrorAndStatusZero) {
  auto r = runProcess("\"" + buildDirectory() + "\\h8dbg.exe\" -c com99", "");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.output, kStars + "\n\n" +
                          "MIRO-H8/3664 ROM Program Debugger Ver 0.3(build 49)\n"
                          "Use port COM99 speed  19200\n"
                          "\n"
                          "initCom() returns with error.\n");
}

TEST(DebuggerStartUp, DeviceNamespaceNameIsOpenedAsTyped) {
  auto r = runProcess("\"" + buildDirectory() + "\\h8dbg.exe\" -s 9600 -c \\\\.\\COM97", "");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.output, kStars + "\n\n" +
                          "MIRO-H8/3664 ROM Program Debugger Ver 0.3(build 49)\n"
                          "Use port \\\\.\\COM97 speed   9600\n"
                          "\n"
                          "initCom() returns with error.\n");
}

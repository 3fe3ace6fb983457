// The Win32 serial binding: failures to open, the poll step, and, over the simulated board that
// scripts/test-windows.sh puts on a wine COM port named in H8_SIM_PORT, a whole debugger session.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "link/serial.h"
#include "process_win32.h"

static std::string banner(const std::string& port) {
  return std::string(68, '*') +
         "\n\nMIRO-H8/3664 ROM Program Debugger Ver 0.3(build 49)\nUse port " + port +
         " speed  19200\n\n";
}

// An ordinary file opens with CreateFileA but has no comm state: it is refused and closed again.
TEST(SerialPort, FailedOpenMovesNoBytesAndWaitsTenMillisecondsAStep) {
  std::string file = "H8COM1.TXT";  // in the working directory
  CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  for (const std::string& name : {std::string("COM99"), file}) {
    SCOPED_TRACE(name);
    auto port = h8::makePlatformSerialPort();
    EXPECT_FALSE(port->open(name, 19200));
    uint8_t b = 0x41;
    EXPECT_EQ(port->write(&b, 1) + port->read(&b, 1) + int(port->available()), 0);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; i++) port->waitStep();
    auto ms = (std::chrono::steady_clock::now() - start) / std::chrono::milliseconds(1);
    EXPECT_TRUE(ms >= 90 && ms < 2000) << ms;  // a step that does not sleep makes polls spin
    EXPECT_EQ(port->close(), 0);
  }
  EXPECT_TRUE(DeleteFileA(file.c_str()));
}

// The reason is the system's own words, which differ between Windows versions and wine.
TEST(DebuggerStartUp, MissingPortEndsWithInitComErrorItsReasonAndStatusOne) {
  std::string shown = h8test::runProcess("..\\h8dbg.exe", "-c com99");
  EXPECT_EQ(shown.rfind(banner("COM99") + "initCom() returns with error.\nCan't open COM99: ", 0), 0u)
      << shown;
  EXPECT_EQ(shown.substr(shown.size() - 11), "\n[status 1]");
}

TEST(SimulatedBoard, DebuggerSessionFromPipedCommands) {
  const char* port = getenv("H8_SIM_PORT");
  if (!port || !*port) GTEST_SKIP() << "H8_SIM_PORT is not set";
  EXPECT_EQ(h8test::runProcess("..\\h8dbg.exe", std::string("-c ") + port,
                               "wb fb80 0x5A\ndb fb80 2\n\nbogus\nq\n"),
            banner(port) +
                "Target Board(MIRO-H8/3664) vesk3664 Ver 1.0(build 1)\n"
                "Flash-program/data address = 0000F780 - 0000FB7F (size = 00000400)\n"
                "User data address =          0000FC00 - 0000FCFF (size = 00000100)\n"
                "Total User RAM Area =        0000F780 - 0000FCFF (size = 00000500)\n\n"
                "Enter 'HELP' for usage.\n\n" +
                std::string(68, '*') + "\n>>00FB80 5A 00" + std::string(43, ' ') +
                "Z.\n>00FB82 00 00" + std::string(43, ' ') + "..\n>Unknown Command\n>[status 0]");
}

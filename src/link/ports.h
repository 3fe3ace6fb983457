// The serial ports present on this machine, for the user to pick one for -c. One implementation
// per platform (ports_posix.cpp reads sysfs, ports_win32.cpp the registry and SetupAPI); the
// ordering and printing are shared (ports.cpp).
//
//   listSerialPorts(sysRoot, devRoot)  the ports, in natural order of their device names
//                                      (ttyUSB2 before ttyUSB10, COM3 before COM10). On POSIX:
//                                      /dev/ttyUSB*, /dev/ttyACM*, and the /dev/ttyS* with a
//                                      UART behind them; the roots let tests use a fake tree.
//                                      Windows ignores both.
//   printSerialPorts(ports, out)       one port a line (device, description, state), or one line
//                                      saying that none was found
//
// Each port is opened and closed at once to learn its state; its settings are left alone (the
// open itself raises DTR and RTS on most drivers, as any program's open does).
#pragma once

#include <string>
#include <vector>

#include "common/output.h"

namespace h8 {

struct PortInfo {
  std::string device;       // what -c takes: /dev/ttyUSB0 on POSIX, COM3 or \\.\COM10 on Windows
  std::string description;  // what is known: USB names, "(VID:PID)", serial number, driver
  std::string state;        // "" when it opens, else why not ("busy (...)", "permission denied")
};

std::vector<PortInfo> listSerialPorts(const std::string& sysRoot = "/sys",
                                      const std::string& devRoot = "/dev");

void printSerialPorts(const std::vector<PortInfo>& ports, Output& out);

// Orders by name, with runs of digits compared as numbers.
bool naturalLess(const std::string& a, const std::string& b);

// The state text for a port another program holds.
inline constexpr const char* kPortBusy = "busy (in use by another program)";

}  // namespace h8

#include "console/debugger.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/scan.h"
#include "common/version.h"

namespace h8 {

namespace {

constexpr const char* kStars =
    "********************************************************************\n";

}  // namespace

Debugger::Debugger(SerialPort& port, Keyboard& keyboard, Output& out)
    : console(port, keyboard, out) {}

int Debugger::run(int argc, char** argv) {
  parseOptions(argc, argv);
  if (!startUp()) return 1;
  commandLoop();
  console.port.close();
  return 0;
}

void Debugger::parseOptions(int argc, char** argv) {
  Output& out = console.out;
  if (argc < 2) {
    out.printf("usage: %s [-option[ -option ..]] <target file>\n", argc > 0 ? argv[0] : "h8dbg");
    out.puts(" -m filename  : load symbol from map file\n");
    out.puts(" -c <channel> : use COM port <channel>. ex. -c com1\n");
    out.puts(" -s <speed>   : use com port baud rate <speed>. ex. -s 19200\n");
    return;
  }
  for (int i = 0; i < argc; i++) {
    std::string option = argv[i];
    bool last = i + 1 >= argc;
    if (option == "-m") {
      if (last) {
        out.puts("map file name missing\n");
        return;
      }
      std::string name = argv[++i];
      if (name.size() > MAX_NAME) {
        out.printf("map file name too long (%d characters at most)\n", MAX_NAME);
      } else {
        mapFile = name;
      }
    } else if (option == "-s") {
      if (last) {
        out.puts("speed parameter missing.\n");
        return;
      }
      scanLD(argv[++i], speed);
    } else if (option == "-c") {
      if (last) {
        out.puts("com port name missing\n");
        return;
      }
      std::string name = argv[++i];
      if (name.size() > MAX_NAME) {
        out.printf("com port name too long (%d characters at most)\n", MAX_NAME);
        continue;
      }
#ifndef _WIN32
      // A device path is taken as typed; any other name is upper-cased and must say COM.
      if (name[0] == '/') {
        portName = name;
        continue;
      }
#endif
      for (char& c : name) c = char(toupper(static_cast<unsigned char>(c)));
      if (name.find("COM") != std::string::npos) {
        portName = name;
      } else {
        out.puts("unknown com port name\n");
      }
    }
  }
}

bool Debugger::startUp() {
  Output& out = console.out;
  Monitor& monitor = console.monitor;
  int* version = console.version;
  out.puts(kStars);
  out.puts("\n");
  out.printf("MIRO-H8/3664 ROM Program Debugger Ver %d.%d(build %d)\n", VERSION_MAJOR,
             VERSION_MINOR, VERSION_BUILD);
  out.printf("Use port %-4s speed %6ld\n", portName.c_str(), speed);
  out.puts("\n");
  out.flush();
  if (!console.port.open(portName, speed)) {
    out.puts("initCom() returns with error.\n");
    std::string why = console.port.openError();
    if (!why.empty()) {
      out.printf("Can't open %s: %s\n", serialDevicePath(portName).c_str(), why.c_str());
    }
    out.flush();
    return false;
  }
  // A speed the port does not take leaves it at the one it had: say which, as the line above
  // showed the one asked for.
  long inUse = console.port.speed();
  if (inUse > 0 && inUse != speed) {
    out.printf("Speed %ld is not available: %s runs at %ld\n", speed, portName.c_str(), inUse);
  }
  if (mapFile.size() >= 2) console.symbols.loadSymbols(mapFile, out);

  console.link.comTimeout = 1000;
  if (!monitor.getVersion(version[0], version[1], version[2])) {
    out.puts("No responce from target. Push RESET or ABORT Switch.\n");
  }
  out.flush();
  console.link.comTimeout = 0;
  if (monitor.getVersion(version[0], version[1], version[2])) {
    out.printf("Target Board(MIRO-H8/3664) vesk3664 Ver %d.%d(build %d)\n", version[0], version[1],
               version[2]);
  } else {
    out.puts("Can't read Target Board Version.\n");
  }
  if (monitor.getFlashProgArea(progStart, progSize)) {
    out.printf("Flash-program/data address = %08lX - %08lX (size = %08lX)\n",
               (unsigned long)progStart, (unsigned long)uint32_t(progStart + progSize - 1),
               (unsigned long)progSize);
  } else {
    out.puts("Can't read Target Board Flash-ROM programming area\n");
  }
  bool userArea = monitor.getUserDataArea(userStart, userSize);
  flash.userDataStart = userStart;
  if (userArea) {
    out.printf("User data address =          %08lX - %08lX (size = %08lX)\n",
               (unsigned long)userStart, (unsigned long)uint32_t(userStart + userSize - 1),
               (unsigned long)userSize);
  } else {
    out.puts("Can't read Target Board User RAM area\n");
  }
  out.printf("Total User RAM Area =        %08lX - %08lX (size = %08lX)\n",
             (unsigned long)progStart, (unsigned long)uint32_t(userStart + userSize - 1),
             (unsigned long)uint32_t(progSize + userSize));
  out.puts("\n");
  out.puts("Enter 'HELP' for usage.\n");
  out.puts("\n");
  out.puts(kStars);
  out.flush();
  return true;
}

}  // namespace h8

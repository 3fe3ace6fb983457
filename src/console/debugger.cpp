#include "console/debugger.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/input_file.h"
#include "common/scan.h"
#include "common/version.h"
#include "link/ports.h"

namespace h8 {

namespace {

// A file of the debugger's own, closed with it.
struct ClosingFileOutput : FileOutput {
  explicit ClosingFileOutput(FILE* f) : FileOutput(f), file(f) {}
  ~ClosingFileOutput() override { fclose(file); }
  FILE* file;
};

constexpr const char* kStars =
    "********************************************************************\n";

}  // namespace

Debugger::Debugger(SerialPort& port, Keyboard& keyboard, Output& out)
    : console(port, keyboard, out) {}

int Debugger::run(int argc, char** argv) {
  parseOptions(argc, argv);
  if (showHelp) {
    printHelp();
    return STATUS_DONE;
  }
  if (showVersion) {
    console.out.printf("h8dbg %s\n", VERSION_TEXT);
    return STATUS_DONE;
  }
  if (listPorts) {
    printSerialPorts(listSerialPorts(), console.out);
    return STATUS_DONE;
  }
  if (batch && optionError) return STATUS_FAILED;
  if (tracing && !startTrace()) return STATUS_FAILED;
  bool started = startUp();
  if (trace) trace->flush();
  if (!started) return STATUS_FAILED;
  int status = STATUS_DONE;
  if (batch) {
    status = runBatch();
  } else {
    commandLoop();
  }
  console.port.close();
  if (trace) trace->flush();
  return status;
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
        optionError = true;
        return;
      }
      std::string name = argv[++i];
      if (name.size() > MAX_NAME) {
        out.printf("map file name too long (%d characters at most)\n", MAX_NAME);
        optionError = true;
      } else {
        mapFile = name;
      }
    } else if (option == "-s") {
      if (last) {
        out.puts("speed parameter missing.\n");
        optionError = true;
        return;
      }
      scanLD(argv[++i], speed);
    } else if (option == "-c") {
      if (last) {
        out.puts("com port name missing\n");
        optionError = true;
        return;
      }
      std::string name = argv[++i];
      if (name.size() > MAX_NAME) {
        out.printf("com port name too long (%d characters at most)\n", MAX_NAME);
        optionError = true;
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
        optionError = true;
      }
    } else if (option == "-b") {
      batch = true;
    } else if (option == "-V") {
      flash.state().verify = true;
    } else if (option == "-l") {
      listPorts = true;
    } else if (option == "-v") {
      tracing = true;
      if (!last && argv[i + 1][0] != '-') traceFile = argv[++i];
    } else if (option == "--help") {
      showHelp = true;
    } else if (option == "--version") {
      showVersion = true;
    } else if (option == "-e" || option == "-x" || option == "-t") {
      if (last) {
        out.printf("option %s needs a value\n", option.c_str());
        optionError = true;
        return;
      }
      std::string value = argv[++i];
      if (option == "-e") batchCommands.push_back(value);
      if (option == "-x") commandFile = value;
      bool digits = !value.empty() && value.size() <= 7 &&
                    value.find_first_not_of("0123456789") == std::string::npos;
      long seconds = digits ? std::atol(value.c_str()) : 0;
      if (option == "-t" && seconds <= 0) {
        out.printf("Invalid run time limit %s (whole seconds, 1 or more)\n", value.c_str());
        optionError = true;
      } else if (option == "-t") {
        runLimit = seconds;
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
    // Nobody is there to push it in batch mode: the run fails instead of waiting for ever.
    if (batch) {
      out.flush();
      console.port.close();
      return false;
    }
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

namespace h8 {

int Debugger::runBatchLine(std::string line) {
  Output& out = console.out;
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
    line.pop_back();
  }
  size_t start = line.find_first_not_of(" \t");
  // An empty line would repeat the command before it, which a script never means.
  if (start == std::string::npos || line[start] == '#') return STATUS_DONE;
  out.printf(">%s\n", line.c_str());
  out.flush();
  long failures = console.monitor.failures;
  execute(line);
  if (running.timedOut) return STATUS_RUN_LIMIT;
  if (lastStatus < 0 || console.monitor.failures != failures) {
    out.printf("Batch run stopped: %s failed\n", line.c_str());
    return STATUS_FAILED;
  }
  return STATUS_DONE;
}

int Debugger::runBatch() {
  console.batch = true;
  running.runLimit = runLimit;
  for (const std::string& line : batchCommands) {
    if (int status = runBatchLine(line); status != STATUS_DONE || quit) return status;
  }
  std::string line;
  if (!commandFile.empty()) {
    FILE* file = nullptr;
    const char* problem = inputFileProblem(commandFile.c_str());
    if (problem == nullptr) file = fopen(commandFile.c_str(), "rb");
    if (file == nullptr) {
      console.out.printf("Can't open command file %s: %s\n", commandFile.c_str(),
                         problem ? problem : strerror(errno));
      return STATUS_FAILED;
    }
    int status = STATUS_DONE;
    for (int c = 0; status == STATUS_DONE && !quit && c != EOF;) {
      line.clear();
      while ((c = fgetc(file)) != EOF && c != '\n') {
        if (line.size() < LINE_KEPT) line.push_back(char(c));
      }
      if (c != EOF || !line.empty()) status = runBatchLine(line);
    }
    fclose(file);
    return status;
  }
  if (!batchCommands.empty()) return STATUS_DONE;
  while (!quit && (console.out.flush(), console.keyboard.readLine(line, ">"))) {
    if (int status = runBatchLine(line); status != STATUS_DONE) return status;
  }
  return STATUS_DONE;
}

bool Debugger::startTrace() {
  if (traceFile.empty()) {
    traceOut = std::make_unique<FileOutput>(stderr);
  } else {
    FILE* file = fopen(traceFile.c_str(), "w");
    if (file == nullptr) {
      console.out.printf("Can't open trace file %s: %s\n", traceFile.c_str(), strerror(errno));
      return false;
    }
    traceOut = std::make_unique<ClosingFileOutput>(file);
  }
  trace = std::make_unique<LineTrace>(*traceOut);
  console.link.trace = trace.get();
  return true;
}

void Debugger::printHelp() {
  console.out.puts(
      "usage: h8dbg [options]\n"
      "The console debugger for programs in the flash ROM of an H8/3664 board, over the serial\n"
      "line to the board's monitor. Without -b it prompts with '>' for commands; HELP lists\n"
      "them (in Japanese): DB/DW/DL dump, WB/WW/WL write, DA disassemble, R registers, G run,\n"
      "S step, BS/BC breakpoint, FE erase, FW program a block, LO load a program, USR run the\n"
      "user program at reset, Q quit.\n"
      "\n"
      "  -c PORT      the serial port: COM1 (/dev/ttyS0 on Linux) ... or a device path such\n"
      "               as /dev/ttyUSB0 (default com1)\n"
      "  -s SPEED     its speed in bit/s (default 19200)\n"
      "  -m FILE      symbols from a linker map file, or from a COFF or ELF program\n"
      "  -b           batch mode: run the commands of -e, then of -x, or of standard input\n"
      "               when neither is given; each is echoed after its prompt and the first\n"
      "               that fails ends the run. Blank lines and '#' lines are skipped\n"
      "  -e COMMAND   a command for batch mode; may be given again, run in order\n"
      "  -x FILE      batch commands from FILE, one a line\n"
      "  -t SECONDS   batch mode: the longest G or S may wait for the program to stop\n"
      "  -v [FILE]    trace the line: every frame sent and received, with its time in ms,\n"
      "               decoded; text from the board; time-outs. To standard error, or FILE\n"
      "  -l           list the serial ports present (busy ones marked) and end\n"
      "  -V           after LO and USR, read every programmed block back and compare it;\n"
      "               a block that differs is reported and the command fails\n"
      "  --version    print the version and end\n"
      "  --help       this text and end\n"
      "\n"
      "Exit status:\n"
      "  0  done: Q, the end of the commands, or the end of input\n"
      "  1  the port could not be opened, or in batch mode an option was refused or a\n"
      "     command failed (an error, a failed exchange with the board, Ctrl-C)\n"
      "  2  batch mode: a run went past the -t limit; the program still runs on the board\n"
      "\n"
      "Ctrl-C while a command waits for the board gives up the command; at the prompt it\n"
      "ends h8dbg. Example, the flash step of a Makefile:\n"
      "  h8dbg -c /dev/ttyUSB0 -b -e \"LO prog.abs\" -e USR\n");
}

}  // namespace h8

#include "console/debugger.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "console/help.h"

namespace h8 {

namespace {

constexpr const char* kStars =
    "********************************************************************\n";
constexpr const char* kSeparators = " ,\t\n";

}  // namespace

const Command commandTable[] = {
    {0, "DB", &Debugger::dumpByte, RepeatRule::NameIfOk, nullptr},
    {1, "DW", &Debugger::dumpWord, RepeatRule::NameIfOk, nullptr},
    {2, "DL", &Debugger::dumpLong, RepeatRule::NameIfOk, nullptr},
    {3, "WB", &Debugger::writeByte, RepeatRule::NameIfOk, nullptr},
    {4, "WW", &Debugger::writeWord, RepeatRule::NameIfOk, nullptr},
    {5, "WL", &Debugger::writeLong, RepeatRule::NameIfOk, nullptr},
    {6, "DA", &Debugger::disassembleCommand, RepeatRule::NameIfOk, nullptr},
    {7, "R", &Debugger::registerCommand, RepeatRule::Fixed, "r"},
    {8, "G", &Debugger::goCommand, RepeatRule::ByHandler, nullptr},
    {9, "S", &Debugger::stepCommand, RepeatRule::FixedIfOk, "s"},
    {10, "BS", &Debugger::breakSetCommand, RepeatRule::Fixed, "bs"},
    {11, "BC", &Debugger::breakClearCommand, RepeatRule::Fixed, "bs"},
    {12, "FE", &Debugger::flashEraseCommand, RepeatRule::Clear, nullptr},
    {13, "FW", &Debugger::flashWriteCommand, RepeatRule::Keep, nullptr},
    {14, "LO", &Debugger::loadCommand, RepeatRule::Keep, nullptr},
    {15, "Q", &Debugger::quitCommand, RepeatRule::Keep, nullptr},
    {16, "USR", &Debugger::userFlagCommand, RepeatRule::Keep, nullptr},
    {17, "HELP", &Debugger::helpCommand, RepeatRule::Keep, nullptr},
    {17, "H", &Debugger::helpCommand, RepeatRule::Keep, nullptr},
    {CMD_NONE, nullptr, &Debugger::unknownCommand, RepeatRule::Keep, nullptr},
};
std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  size_t pos = 0;
  while ((pos = line.find_first_not_of(kSeparators, pos)) != std::string::npos) {
    size_t end = line.find_first_of(kSeparators, pos);
    words.push_back(line.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
    pos = end;
  }
  return words;
}

const int commandTableSize = int(std::size(commandTable));
static_assert(std::size(commandTable) == 20);

Debugger::Debugger(SerialPort& port_, Keyboard& keyboard_, Output& out_)
    : port(port_),
      keyboard(keyboard_),
      out(out_),
      link(port_, out_),
      monitor(link),
      evaluator(monitor, symbols, out_),
      flash(std::make_unique<FlashState>()) {}

Debugger::~Debugger() = default;

int Debugger::run(int argc, char** argv) {
  parseOptions(argc, argv);
  if (!startUp()) return 0;
  commandLoop();
  port.close();
  return 0;
}

void Debugger::parseOptions(int argc, char** argv) {
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
      const char* text = argv[++i];
      char* end = nullptr;
      errno = 0;
      long long value = strtoll(text, &end, 10);
      if (end != text) speed = long(int32_t(uint32_t(value)));
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
  out.puts(kStars);
  out.puts("\n");
  out.printf("MIRO-H8/3664 ROM Program Debugger Ver %d.%d(build %d)\n", 0, 3, 49);
  out.printf("Use port %-4s speed %6ld\n", portName.c_str(), speed);
  out.puts("\n");
  out.flush();
  if (!port.open(portName, speed)) {
    out.puts("initCom() returns with error.\n");
    out.flush();
    return false;
  }
  if (mapFile.size() >= 2) symbols.loadSymbols(mapFile, out);

  link.comTimeout = 1000;
  if (!monitor.getVersion(version[0], version[1], version[2])) {
    out.puts("No responce from target. Push RESET or ABORT Switch.\n");
  }
  out.flush();
  link.comTimeout = 0;
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
  if (monitor.getUserDataArea(userStart, userSize)) {
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

void Debugger::commandLoop() {
  while (!quit) {
    out.puts(">");
    out.flush();
    std::string line;
    if (!waitLine(line, ">")) break;  // the end of console input ends the session like Q
    execute(line);
  }
}

bool Debugger::waitLine(std::string& line, const std::string& prompt) {
  for (;;) {
    if (keyboard.keyWaiting()) return keyboard.readLine(line, prompt);
    if (link.availCom() > 0) {
      uint8_t b = 0;
      link.readCom(&b, 1);
      out.put(char(b));
      out.flush();
      if (link.feedPacket(b) == 3) {
        // An unasked frame: the monitor has restarted.
        monitor.getVersion(version[0], version[1], version[2]);
        out.puts("\n>");
        out.flush();
      }
    } else {
      if (port.lost() && !lossReported) {
        out.puts("\nSerial line lost: the port has gone away.\n");
        out.puts(prompt);
        out.flush();
        lossReported = true;
      }
      port.waitStep();
    }
  }
}

bool Debugger::execute(std::string line) {
  if (line.size() > MAX_COMMAND_LINE) {
    out.printf("Command line too long (%d characters at most)\n", MAX_COMMAND_LINE);
    return !quit;
  }
  if (line.empty()) line = repeatLine;

  std::vector<std::string> words = splitWords(line);

  const Command* command = &commandTable[commandTableSize - 1];
  if (!words.empty()) {
    for (char& c : words[0]) c = char(toupper(static_cast<unsigned char>(c)));
    for (int i = 0; i < commandTableSize - 1; i++) {
      if (words[0] == commandTable[i].name) {
        command = &commandTable[i];
        break;
      }
    }
  }
  int argc = words.empty() ? 0 : int(std::min<size_t>(words.size() - 1, 2));
  const char* word1 = argc >= 1 ? words[1].c_str() : nullptr;
  const char* word2 = argc >= 2 ? words[2].c_str() : nullptr;

  int status = (this->*command->handler)(argc, word1, word2);

  switch (command->repeat) {
    case RepeatRule::Keep:
    case RepeatRule::ByHandler:
      break;
    case RepeatRule::Clear:
      repeatLine.clear();
      break;
    case RepeatRule::NameIfOk:
      repeatLine = status == 0 ? command->name : "";
      break;
    case RepeatRule::Fixed:
      repeatLine = command->repeatText;
      break;
    case RepeatRule::FixedIfOk:
      repeatLine = status == 0 ? command->repeatText : "";
      break;
  }
  return !quit;
}

bool Debugger::evalArgument(const char* word, const char* error, uint32_t& value) {
  uint32_t v = evaluator.evalExpression(word);
  if (evaluator.exprError) {
    out.printf(error, word);
    return false;
  }
  value = v;
  return true;
}

int Debugger::quitCommand(int, const char*, const char*) {
  quit = true;
  return 0;
}

int Debugger::helpCommand(int, const char*, const char*) {
  for (int i = 0; i < helpLineCount; i++) out.writeCp932(helpLines[i]);
  return 0;
}

int Debugger::unknownCommand(int, const char*, const char*) {
  out.puts("Unknown Command\n");
  return 0;
}

int Debugger::flashEraseCommand(int, const char*, const char*) {
  feCommand(monitor, out);
  return 0;
}

int Debugger::flashWriteCommand(int argc, const char* w1, const char* w2) {
  fwCommand(monitor, evaluator, out, userStart, argc, w1, w2);
  return 0;
}

int Debugger::loadCommand(int argc, const char* w1, const char*) {
  loCommand(monitor, out, *flash, argc, w1);
  return 0;
}

int Debugger::userFlagCommand(int, const char*, const char*) {
  usrCommand(monitor, out, *flash);
  return 0;
}

}  // namespace h8

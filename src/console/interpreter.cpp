// The command interpreter: the command table, one line's run, and the prompt loop.
#include <cctype>

#include "console/debugger.h"
#include "console/help.h"

namespace h8 {

namespace {

using Handler = int (*)(Debugger&, const Words&);

enum class RepeatRule {
  Keep,       // the repeat line stays as it was
  Clear,      // empty
  NameIfOk,   // the command's own name after status 0, else empty
  Fixed,      // the row's text, whatever the status
  FixedIfOk,  // the row's text after status 0, else empty
  AfterStop,  // G: "g" after the abort switch, "s" after the breakpoint, else empty
};

struct Command {
  int code;
  const char* name;
  Handler handler;
  RepeatRule repeat;
  const char* repeatText;
};

int help(Debugger& d, const Words&) {
  for (int i = 0; i < helpLineCount; i++) d.console.out.writeCp932(helpLines[i]);
  return 0;
}

int quit(Debugger& d, const Words&) {
  d.quit = true;
  return 0;
}

int unknown(Debugger& d, const Words&) {
  d.console.out.puts("Unknown Command\n");
  return -1;
}

// Searched from the top; the last row (no name) stands for a word that is not a command.
constexpr Command COMMANDS[] = {
    {0, "DB", [](Debugger& d, const Words& w) { return d.memory.dump(w, 1); }, RepeatRule::NameIfOk,
     nullptr},
    {1, "DW", [](Debugger& d, const Words& w) { return d.memory.dump(w, 2); }, RepeatRule::NameIfOk,
     nullptr},
    {2, "DL", [](Debugger& d, const Words& w) { return d.memory.dump(w, 4); }, RepeatRule::NameIfOk,
     nullptr},
    {3, "WB", [](Debugger& d, const Words& w) { return d.memory.write(w, 1); },
     RepeatRule::NameIfOk, nullptr},
    {4, "WW", [](Debugger& d, const Words& w) { return d.memory.write(w, 2); },
     RepeatRule::NameIfOk, nullptr},
    {5, "WL", [](Debugger& d, const Words& w) { return d.memory.write(w, 4); },
     RepeatRule::NameIfOk, nullptr},
    {6, "DA", [](Debugger& d, const Words& w) { return d.listing.disassemble(w); },
     RepeatRule::NameIfOk, nullptr},
    {7, "R", [](Debugger& d, const Words& w) { return d.registers.registers(w); },
     RepeatRule::Fixed, "r"},
    {8, "G", [](Debugger& d, const Words& w) { return d.running.go(w); }, RepeatRule::AfterStop,
     nullptr},
    {9, "S", [](Debugger& d, const Words& w) { return d.running.step(w); }, RepeatRule::FixedIfOk,
     "s"},
    {10, "BS", [](Debugger& d, const Words& w) { return d.running.setBreak(w); }, RepeatRule::Fixed,
     "bs"},
    {11, "BC", [](Debugger& d, const Words& w) { return d.running.clearBreak(w); },
     RepeatRule::Fixed, "bs"},
    {12, "FE", [](Debugger& d, const Words& w) { return d.flash.erase(w); }, RepeatRule::Clear,
     nullptr},
    {13, "FW", [](Debugger& d, const Words& w) { return d.flash.writeBlock(w); }, RepeatRule::Keep,
     nullptr},
    {14, "LO", [](Debugger& d, const Words& w) { return d.flash.load(w); }, RepeatRule::Keep,
     nullptr},
    {15, "Q", quit, RepeatRule::Keep, nullptr},
    {16, "USR", [](Debugger& d, const Words& w) { return d.flash.userFlag(w); }, RepeatRule::Keep,
     nullptr},
    {17, "HELP", help, RepeatRule::Keep, nullptr},
    {17, "H", help, RepeatRule::Keep, nullptr},
    {18, nullptr, unknown, RepeatRule::Keep, nullptr},
};
static_assert(std::size(COMMANDS) == 20);

constexpr size_t MAX_ARGUMENTS = 2;  // further words are ignored

}  // namespace

void Debugger::commandLoop() {
  while (!quit) {
    console.out.puts(">");
    console.out.flush();
    if (trace) trace->flush();
    std::string line;
    if (!console.waitLine(line, ">")) break;  // the end of console input ends it like Q
    execute(line);
  }
}

bool Debugger::execute(std::string line) {
  if (line.size() > MAX_COMMAND_LINE) {
    console.out.printf("Command line too long (%d characters at most)\n", MAX_COMMAND_LINE);
    return !quit;
  }
  if (line.empty()) line = repeatLine;

  Words words = splitWords(line);
  const Command* command = &COMMANDS[std::size(COMMANDS) - 1];
  if (!words.empty()) {
    for (char& c : words[0]) c = char(toupper(static_cast<unsigned char>(c)));
    for (const Command& row : COMMANDS) {
      if (row.name != nullptr && words[0] == row.name) {
        command = &row;
        break;
      }
    }
  }
  Words args;
  for (size_t i = 1; i < words.size() && args.size() < MAX_ARGUMENTS; i++) args.push_back(words[i]);

  console.interrupt.arm();
  int status = command->handler(*this, args);
  if (console.interrupt.pending()) {
    console.out.puts("Interrupted: gave up waiting for the board\n");
    status = -1;
  }
  console.interrupt.disarm();
  lastStatus = status;
  if (trace) trace->flush();

  switch (command->repeat) {
    case RepeatRule::Keep:
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
    case RepeatRule::AfterStop:
      repeatLine = status == STOP_ABORT ? "g" : status == STOP_BREAK ? "s" : "";
      break;
  }
  return !quit;
}

}  // namespace h8

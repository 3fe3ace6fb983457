// R shows and sets registers; G and S run the user program; BS and BC manage the breakpoint;
// DA lists instructions.
#include <cstdio>

#include "console/debugger.h"
#include "disasm/listing.h"

namespace h8 {

namespace {

constexpr int ESC = 27;
constexpr uint32_t STACK_LOW = 0xF780;
constexpr uint32_t STACK_HIGH = 0xFF7C;

// Names of the stop codes 8 to 25 (exception vectors of the H8/3664).
constexpr const char* kStopNames[] = {
    "TRAP 0", "TRAP 1", "TRAP 2",  "TRAP 3",  "BREAK",   "SLEEP",   "IRQ0", "IRQ1", "IRQ2",
    "IRQ3",   "WKP",    "TIMER A", "Reserve", "TIMER W", "TIMER V", "SCI3", "IIC",  "AD",
};
static_assert(std::size(kStopNames) == 18);
constexpr int kFirstStopName = 8;

// Bytes of the user program's output that reach the console while it runs.
bool shownWhileRunning(uint8_t b) {
  return (b >= 0x20 && b <= 0x7F) || b == '\r' || b == '\n' || b == '\t' || b == '\f';
}

}  // namespace

void Debugger::ccrFlags(uint32_t value, char* text) {
  static const char kLetters[] = "IiHUNZVC";
  for (int i = 0; i < 8; i++) text[i] = (value >> (7 - i)) & 1 ? kLetters[i] : '-';
  text[8] = '\0';
}

void Debugger::showRegisters() {
  static const char* const kFormats[] = {"ER0:%08lX ", "ER1:%08lX ", "ER2:%08lX ", "ER3:%08lX\n",
                                         "ER4:%08lX ", "ER5:%08lX ", "ER6:%08lX ", "ER7:%08lX\n"};
  for (int i = 0; i < 8; i++) {
    uint32_t v = monitor.readReg(i);
    out.printf(kFormats[i], (unsigned long)v);
  }
  out.printf("PC :%08lX  ", (unsigned long)monitor.readReg(REG_PC));
  char flags[9];
  ccrFlags(monitor.readReg(REG_CCR), flags);
  out.printf("CCR:%s\n", flags);
}

uint32_t Debugger::listAt(uint32_t address) {
  return listInstruction(monitor, symbols, out, address);
}

void Debugger::showRegister(std::string name) {
  int code = Monitor::findReg(name);
  if (code < 0) {
    out.printf("  Invalid register name %s\n", name.c_str());
    return;
  }
  uint32_t v = monitor.readReg(code & 0xFF);
  switch (code >> 8) {
    case 0:
      out.printf("%s : %08lX\n", name.c_str(), (unsigned long)v);
      break;
    case 1:
      out.printf("%s : %04lX\n", name.c_str(), (unsigned long)(v & 0xFFFF));
      break;
    case 2:
      out.printf("%s : %04lX\n", name.c_str(), (unsigned long)(v >> 16));
      break;
    case 3:
      out.printf("%s : %02lX\n", name.c_str(), (unsigned long)((v >> 8) & 0xFF));
      break;
    default:
      out.printf("%s : %02lX\n", name.c_str(), (unsigned long)(v & 0xFF));
      break;
  }
}

void Debugger::setRegister(std::string name, uint32_t value) {
  int code = Monitor::findReg(name);
  if (code < 0) {
    out.printf("  Invalid register name %s\n", name.c_str());
    return;
  }
  int selector = code & 0xFF;
  int part = code >> 8;
  if (part == 0) {
    monitor.writeReg(selector, value);
    return;
  }
  uint32_t old = monitor.readReg(selector);
  uint32_t merged = 0;
  switch (part) {
    case 1:
      merged = (old & 0xFFFF0000) | (value & 0xFFFF);
      break;
    case 2:
      merged = (old & 0x0000FFFF) | ((value & 0xFFFF) << 16);
      break;
    case 3:
      merged = (old & 0xFFFF00FF) | ((value & 0xFF) << 8);
      break;
    default:
      merged = (old & 0xFFFFFF00) | (value & 0xFF);
      break;
  }
  monitor.writeReg(selector, merged);
}

int Debugger::registerCommand(int argc, const char* w1, const char* w2) {
  if (argc == 0) {
    showRegisters();
    listAt(monitor.readReg(REG_PC));
  } else if (argc == 1) {
    showRegister(w1);
  } else {
    // The value is evaluated first (it may read registers); its error flag is not consulted.
    uint32_t value = evaluator.evalExpression(w2);
    setRegister(w1, value);
  }
  return 0;
}

int Debugger::runAndWait() {
  link.beginPacket(GO);
  link.endPacket();
  link.sendPacket();
  bool keys = keyboard.interactive();
  // The console passes single keys to the program until the run ends, however it ends.
  struct RunMode {
    Keyboard& keyboard;
    explicit RunMode(Keyboard& k) : keyboard(k) { keyboard.setRunMode(true); }
    ~RunMode() { keyboard.setRunMode(false); }
  } runMode(keyboard);
  for (;;) {
    bool key = keys && keyboard.keyWaiting();
    if (!key && link.availCom() == 0) {
      if (port.lost()) return -1;
      port.waitStep();
    }
    if (key) {
      int k = keyboard.readKey();
      if (k == ESC || k < 0) return -1;
      if (k != KEY_NONE) link.putCom(k);
    }
    if (link.availCom() == 0) continue;
    uint8_t b = 0;
    link.readCom(&b, 1);
    int r = link.feedPacket(b);
    if (r == 3) return link.getByte();
    if (r != 0) continue;
    if (shownWhileRunning(b)) {
      out.put(char(b));
      out.flush();
    }
  }
}

int Debugger::runUserProgram() {
  uint32_t sp = monitor.readReg(REG_SP) & 0xFFFF;
  if (sp > STACK_HIGH || sp < STACK_LOW) {
    out.printf("Not valid stack(%04lX). Can't set execution-address on Stack\n", (unsigned long)sp);
    return -2;
  }
  int r = runAndWait();
  if (r == GO) {
    int code = link.getByte();
    if (code == STOP_ABORT) {
      out.puts("Abort by User\n");
    } else if (code == STOP_BREAK) {
      out.puts("Break\n");
    } else if (code >= kFirstStopName && code < kFirstStopName + int(std::size(kStopNames))) {
      out.printf("Exception %s\n", kStopNames[code - kFirstStopName]);
    } else {
      char name[24];
      snprintf(name, sizeof name, "vector %d", code);
      out.printf("Exception %s\n", name);
    }
    showRegisters();
    listAt(monitor.readReg(REG_PC));
    return code;
  }
  if (r == RESTART) {
    out.puts("Reset!\n");
  } else {
    out.puts("Unknown packet\n");
  }
  return -1;
}

int Debugger::goCommand(int, const char*, const char*) {
  if (breakSet) {
    monitor.writeBreakpoint(breakAddress);
  } else {
    monitor.clearBreakpoint();
  }
  int code = runUserProgram();
  repeatLine = code == STOP_ABORT ? "g" : code == STOP_BREAK ? "s" : "";
  monitor.clearBreakpoint();
  return code < 0 ? code : 0;
}

int Debugger::stepCommand(int argc, const char* w1, const char*) {
  uint32_t count = 1;
  if (argc >= 1 && !evalArgument(w1, "Invalid steps %s\n", count)) return -1;
  for (uint32_t step = 0; step < count; step++) {
    monitor.writeBreakpoint(monitor.readReg(REG_PC));
    int r = runAndWait();
    if (r != GO) {
      out.printf("Return with invalid responce. packet=%d\n", r);
      return -3;
    }
    int code = link.getByte();
    if (code != STOP_BREAK) {
      out.printf("Return with Exception. code=%d\n", code);
      return -2;
    }
    monitor.clearBreakpoint();
    showRegisters();
    listAt(monitor.readReg(REG_PC));
  }
  return 0;
}

int Debugger::breakSetCommand(int argc, const char* w1, const char*) {
  uint32_t a = 0;
  if (argc >= 1) {
    if (evalArgument(w1, "Invalid Break Address %s\n", a) && (a & 1)) {
      out.printf("Invalid Break Address %08lX\n", (unsigned long)a);
    } else if (!evaluator.exprError) {
      breakAddress = a;
      breakSet = true;
    }
  } else if (breakSet) {
    out.printf("Break = %08lX\n", (unsigned long)breakAddress);
  } else {
    out.puts("No breakpoint\n");
  }
  return 0;
}

int Debugger::breakClearCommand(int, const char*, const char*) {
  breakSet = false;
  out.puts("Clear Breakpoint\n");
  return 0;
}

int Debugger::disassembleCommand(int argc, const char* w1, const char* w2) {
  if (argc >= 1 && !evalArgument(w1, "Invalid Address %s\n", daAddress)) return -1;
  if (argc >= 2 && !evalArgument(w2, "Invalid size %s\n", daCount)) return -1;
  for (uint32_t i = 0; i < daCount; i++) {
    daAddress = listAt(daAddress);
    out.flush();
  }
  return 0;
}

}  // namespace h8

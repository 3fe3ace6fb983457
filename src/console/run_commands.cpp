// G and S run the user program; BS and BC manage the one breakpoint.
#include <chrono>
#include <cstdio>

#include "console/commands.h"

namespace h8 {

namespace {

constexpr int ESC = 27;

// Bytes of the user program's output that reach the console while it runs.
bool shownWhileRunning(uint8_t b) {
  return (b >= 0x20 && b <= 0x7F) || b == '\r' || b == '\n' || b == '\t' || b == '\f';
}

}  // namespace

int RunCommands::runAndWait() {
  c_.monitor.go();
  Keyboard& keyboard = c_.keyboard;
  bool keys = keyboard.interactive() && !c_.batch;
  timedOut = false;
  using Clock = std::chrono::steady_clock;
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(runLimit);
  // The console passes single keys to the program until the run ends, however it ends.
  struct RunMode {
    Keyboard& keyboard;
    explicit RunMode(Keyboard& k) : keyboard(k) { keyboard.setRunMode(true); }
    ~RunMode() { keyboard.setRunMode(false); }
  } runMode(keyboard);
  c_.out.flush();
  for (;;) {
    if (c_.link.interrupted()) return -1;
    if (runLimit > 0 && Clock::now() >= deadline) {
      timedOut = true;
      c_.out.printf("\nRun time limit of %ld s reached: the program goes on running on the board\n",
                    runLimit);
      return -1;
    }
    bool key = keys && keyboard.keyWaiting();
    if (!key && c_.link.availCom() == 0) {
      if (c_.port.lost()) return -1;
      c_.port.waitFor(keys ? keyboard.wakeHandle() : NO_WAKE, IDLE_WAIT_MS);
    }
    if (key) {
      int k = keyboard.readKey();
      if (k == ESC || k < 0) return -1;
      if (k != KEY_NONE) c_.link.putCom(k);
    }
    uint8_t b = 0;
    int fed = c_.link.readAndFeed(&b);
    if (fed == FEED_COMPLETE) return c_.link.getByte();
    if (fed != FEED_OUTSIDE) continue;  // no byte, or one of a frame
    if (shownWhileRunning(b)) {
      c_.out.put(char(b));
      c_.out.flush();
    }
  }
}

int RunCommands::runUserProgram() {
  Output& out = c_.out;
  uint32_t sp = c_.monitor.readReg(REG_SP) & 0xFFFF;
  if (c_.link.interrupted()) return -1;
  if (sp > STACK_HIGH || sp < STACK_LOW) {
    out.printf("Not valid stack(%04lX). Can't set execution-address on Stack\n", (unsigned long)sp);
    return -2;
  }
  int r = runAndWait();
  if (r == GO) {
    int code = c_.link.getByte();
    if (code == STOP_ABORT) {
      out.puts("Abort by User\n");
    } else if (code == STOP_BREAK) {
      out.puts("Break\n");
    } else if (stopName(code) != nullptr) {
      out.printf("Exception %s\n", stopName(code));
    } else {
      char name[24];
      snprintf(name, sizeof name, "vector %d", code);
      out.printf("Exception %s\n", name);
    }
    registers_.showRegistersAndPc();
    return code;
  }
  if (!c_.link.interrupted() && !timedOut) out.puts(r == RESTART ? "Reset!\n" : "Unknown packet\n");
  return -1;
}

int RunCommands::go(const Words&) {
  if (breakSet) {
    c_.monitor.writeBreakpoint(breakAddress);
  } else {
    c_.monitor.clearBreakpoint();
  }
  int code = runUserProgram();
  c_.monitor.clearBreakpoint();
  return code;
}

int RunCommands::step(const Words& args) {
  uint32_t count = 1;
  if (args.size() >= 1 && !c_.evalArgument(args[0], "Invalid steps %s\n", count)) return -1;
  for (uint32_t step = 0; step < count; step++) {
    c_.monitor.writeBreakpoint(c_.monitor.readReg(REG_PC));
    int r = runAndWait();
    if (c_.link.interrupted() || timedOut) return -3;
    if (r != GO) {
      c_.out.printf("Return with invalid responce. packet=%d\n", r);
      return -3;
    }
    int code = c_.link.getByte();
    if (code != STOP_BREAK) {
      c_.out.printf("Return with Exception. code=%d\n", code);
      return -2;
    }
    c_.monitor.clearBreakpoint();
    registers_.showRegistersAndPc();
  }
  return 0;
}

int RunCommands::setBreak(const Words& args) {
  uint32_t a = 0;
  if (args.size() >= 1) {
    if (!c_.evalArgument(args[0], "Invalid Break Address %s\n", a)) return -1;
    if (a & 1) {
      c_.out.printf("Invalid Break Address %08lX\n", (unsigned long)a);
      return -1;
    } else {
      breakAddress = a;
      breakSet = true;
    }
  } else if (breakSet) {
    c_.out.printf("Break = %08lX\n", (unsigned long)breakAddress);
  } else {
    c_.out.puts("No breakpoint\n");
  }
  return 0;
}

int RunCommands::clearBreak(const Words&) {
  breakSet = false;
  c_.out.puts("Clear Breakpoint\n");
  return 0;
}

}  // namespace h8

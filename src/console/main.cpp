// h8dbg: the console debugger for programs in the flash ROM of an H8/3664 board.
#include "console/debugger.h"
#include "console/terminal.h"

int main(int argc, char** argv) {
  auto out = h8::makeConsoleOutput();
  auto keyboard = h8::makePlatformKeyboard();
  auto port = h8::makePlatformSerialPort();
  h8::Debugger debugger(*port, *keyboard, *out);
  h8::catchInterrupts(debugger.console.interrupt);
  int status = debugger.run(argc, argv);
  out->flush();
  return status;
}

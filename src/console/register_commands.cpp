// R shows and sets registers; the full display also follows every stop of the program.
#include "console/commands.h"

namespace h8 {

namespace {

// How a part is shown: "%s : " and as many digits as the part is wide.
constexpr const char* PART_FORMATS[] = {"%s : %08lX\n", "%s : %04lX\n", "%s : %04lX\n",
                                        "%s : %02lX\n", "%s : %02lX\n"};
static_assert(std::size(PART_FORMATS) == std::size(PART_BITS));

}  // namespace

void RegisterCommands::ccrFlags(uint32_t value, char* text) {
  static const char LETTERS[] = "IiHUNZVC";
  for (int i = 0; i < 8; i++) text[i] = (value >> (7 - i)) & 1 ? LETTERS[i] : '-';
  text[8] = '\0';
}

void RegisterCommands::showRegisters() {
  static const char* const FORMATS[] = {"ER0:%08lX ", "ER1:%08lX ", "ER2:%08lX ", "ER3:%08lX\n",
                                        "ER4:%08lX ", "ER5:%08lX ", "ER6:%08lX ", "ER7:%08lX\n"};
  // Values are shown as they are read; once the user has interrupted, nothing more is shown.
  for (int i = 0; i < 8; i++) {
    uint32_t value = c_.monitor.readReg(i);
    if (c_.link.interrupted()) return;
    c_.out.printf(FORMATS[i], (unsigned long)value);
  }
  uint32_t pc = c_.monitor.readReg(REG_PC);
  if (c_.link.interrupted()) return;
  c_.out.printf("PC :%08lX  ", (unsigned long)pc);
  char flags[9];
  ccrFlags(c_.monitor.readReg(REG_CCR), flags);
  if (c_.link.interrupted()) return;
  c_.out.printf("CCR:%s\n", flags);
}

void RegisterCommands::showRegistersAndPc() {
  showRegisters();
  uint32_t pc = c_.monitor.readReg(REG_PC);
  if (!c_.link.interrupted()) listing_.listAt(pc);
}

void RegisterCommands::showRegister(std::string name) {
  int code = Monitor::findReg(name);
  if (code < 0) {
    c_.out.printf("  Invalid register name %s\n", name.c_str());
    return;
  }
  RegisterPart part = RegisterPart(code >> 8);
  uint32_t value = extractPart(c_.monitor.readReg(code & 0xFF), part);
  c_.out.printf(PART_FORMATS[part], name.c_str(), (unsigned long)value);
}

void RegisterCommands::setRegister(std::string name, uint32_t value) {
  int code = Monitor::findReg(name);
  if (code < 0) {
    c_.out.printf("  Invalid register name %s\n", name.c_str());
    return;
  }
  int selector = code & 0xFF;
  RegisterPart part = RegisterPart(code >> 8);
  if (part != PART_WHOLE) value = mergePart(c_.monitor.readReg(selector), part, value);
  c_.monitor.writeReg(selector, value);
}

int RegisterCommands::registers(const Words& args) {
  if (args.empty()) {
    showRegistersAndPc();
  } else if (args.size() == 1) {
    showRegister(args[0]);
  } else {
    // The value is evaluated first (it may read registers); a value that does not evaluate is
    // refused rather than written as 0xFFFFFFFF.
    uint32_t value = 0;
    if (c_.evalArgument(args[1], "  Invalid register value %s\n", value))
      setRegister(args[0], value);
  }
  return 0;
}

}  // namespace h8

// FE erases the user flash, FW programs one block from target RAM, LO downloads a SYSROF file,
// USR writes the user-program-first flag.
#include "console/commands.h"

namespace h8 {

namespace {

constexpr uint32_t FW_BUFFER_MAX = 0xFF00;  // FW's highest write-buffer address

constexpr Exchange FE_ERASE = {
    FLASH_ERASE, true, StatusByte::NONE, "Error at Flash-ROM erase\n", "Error at Flash-ROM erase\n",
    nullptr};
// FW does not read the reply's status byte.
constexpr Exchange FW_PROGRAM = {
    FLASH_WRITE, true, StatusByte::NONE, "Error at Flash-ROM write\n", "Error at Flash-ROM write\n",
    nullptr};

}  // namespace

int FlashCommands::erase(const Words&) {
  c_.monitor.eraseFlash(FE_ERASE);
  return 0;
}

int FlashCommands::writeBlock(const Words& args) {
  if (args.size() < 2) {
    c_.out.puts("Error FlashROM address missing\n");
    return -1;
  }
  // exprError is not consulted: a failed expression gives 0xFFFFFFFF, which both tests refuse.
  uint32_t buffer = c_.evaluator.evalExpression(args[0].c_str());
  if (buffer < userDataStart || buffer > FW_BUFFER_MAX) {
    c_.out.puts("Error. Bad write-buffer address.\n");
    return -1;
  }
  uint32_t target = c_.evaluator.evalExpression(args[1].c_str());
  if (target % FLASH_BLOCK_SIZE != 0 || target < USER_FLASH_START || target >= FLAG_BLOCK) {
    c_.out.puts("Error. Bad flash-ROM address.\n");
    return -1;
  }
  c_.monitor.programFlash(buffer, target, FW_PROGRAM);
  return 0;
}

int FlashCommands::load(const Words& args) {
  const char* name = args.empty() ? nullptr : args[0].c_str();
  const char* shown = name != nullptr ? name : "(no file name)";
  if (loadFile(c_.monitor, c_.out, *state_, name)) {
    c_.out.printf("Finished to load %s\n", shown);
    return 0;
  }
  c_.out.printf("Error loading %s\n", shown);
  return -1;
}

int FlashCommands::userFlag(const Words&) {
  c_.out.puts("Precede user program execution. Write flag.\n");
  if (writeUserFlag(c_.monitor, c_.out, *state_)) {
    c_.out.puts("Succeed.\n");
    return 0;
  }
  c_.out.puts("Fail to write flag.\n");
  return -1;
}

}  // namespace h8

// DB, DW, DL dump target memory; WB, WW, WL write it, one cell or interactively.
#include <cctype>
#include <cstdio>

#include "common/bigendian.h"
#include "common/scan.h"
#include "console/commands.h"

namespace h8 {

namespace {

constexpr int MAX_WRITE_LINE = 255;  // lines of the interactive write
constexpr uint32_t DUMP_LINE = 16;

constexpr Exchange DUMP_READ = {MEM_READ,
                                false,
                                StatusByte::NONE,
                                "dumpMem:Error receivePacket()=%d\n",
                                "dumpMem:Error.Responce is not MEM_READ. %d\n",
                                nullptr};
constexpr Exchange SINGLE_WRITE = {MEM_WRITE,
                                   false,
                                   StatusByte::ONE_IS_DONE,
                                   "writeMemSingle():PacketError %d\n",
                                   "writeMemSingle():ProtocolError %d\n",
                                   "writeMemSingle():Write refused by the board (status %d)\n"};

// A cell's value from `unit` bytes of the line; bytes past `valid` were not read and are
// shown as "??" rather than as stale memory.
void printCell(Output& out, const uint8_t* bytes, int unit, int valid) {
  if (valid >= unit) {
    if (unit == 1) out.printf("%02X ", bytes[0]);
    if (unit == 2) out.printf("%04X ", unsigned(load16(bytes)));
    if (unit == 4) out.printf("%08X ", unsigned(load32(bytes)));
    return;
  }
  for (int i = 0; i < unit; i++) {
    if (i < valid) {
      out.printf("%02X", bytes[i]);
    } else {
      out.puts("??");
    }
  }
  out.put(' ');
}

}  // namespace

int MemoryCommands::dump(const Words& args, int unit) {
  if (args.size() >= 1 && !c_.evalArgument(args[0], "Invalid Address %s\n", dumpAddress)) {
    return -1;
  }
  if (args.size() >= 2 && !c_.evalArgument(args[1], "Invalid size %s\n", dumpSize)) return -1;
  if (dumpSize != 0) {
    dumpAddress &= ~uint32_t(unit - 1);
    dumpMem(dumpAddress, dumpSize & 0xFFFF, unit);
    dumpAddress += dumpSize;
  }
  return 0;
}

void MemoryCommands::dumpMem(uint32_t address, uint32_t count, int unit) {
  Output& out = c_.out;
  uint8_t line[DUMP_LINE];
  while (count > 0) {
    int n = int(count < DUMP_LINE ? count : DUMP_LINE);
    count -= uint32_t(n);
    if (!c_.monitor.readMem(address, uint32_t(n), line, DUMP_READ)) return;
    out.printf("%06lX ", (unsigned long)address);
    int offset = 0;
    for (; offset < n; offset += unit) printCell(out, line + offset, unit, n - offset);
    const char* filler = unit == 1 ? "   " : unit == 2 ? "     " : "         ";
    for (; offset < int(DUMP_LINE); offset += unit) out.puts(filler);
    for (int i = 0; i < n; i++) out.put(line[i] < 0x20 ? '.' : char(line[i]));
    out.puts("\n");
    out.flush();
    address += uint32_t(n);
  }
}

int MemoryCommands::write(const Words& args, int unit) {
  if (args.empty()) {
    writeAddress &= ~uint32_t(unit - 1);
    interactiveWrite(writeAddress, unit);
    return 0;
  }
  // The address is stored before it is checked: a bad one leaves 0xFFFFFFFF.
  writeAddress = c_.evaluator.evalExpression(args[0].c_str());
  if (c_.evaluator.exprError) {
    c_.out.printf("Invalid Address %s\n", args[0].c_str());
    return -1;
  }
  writeAddress &= ~uint32_t(unit - 1);
  if (args.size() == 1) {
    interactiveWrite(writeAddress, unit);
    return 0;
  }
  uint32_t value = 0;
  if (!c_.evalArgument(args[1], "Invalid DATA %s\n", value)) return -2;
  uint32_t next = writeMemSingle(writeAddress, value, unit);
  bool written = next != writeAddress;  // the address is aligned: only a failure stays
  writeAddress = next;
  return written ? 0 : -3;
}

uint32_t MemoryCommands::writeMemSingle(uint32_t address, uint32_t value, int unit) {
  if ((unit == 2 && (address & 1)) || (unit == 4 && (address & 3))) return address;
  uint8_t bytes[4];
  store32(bytes, value);
  if (!c_.monitor.writeMem(address, uint32_t(unit), bytes + 4 - unit, SINGLE_WRITE)) {
    return address;
  }
  return address + uint32_t(unit);
}

uint32_t MemoryCommands::interactiveWrite(uint32_t address, int unit) {
  Output& out = c_.out;
  for (;;) {
    char prompt[32];
    snprintf(prompt, sizeof prompt, "%06lX:>", (unsigned long)address);
    out.puts(prompt);
    out.flush();
    std::string line;
    if (!c_.waitLine(line, prompt)) return address;
    if (line.size() > MAX_WRITE_LINE) {
      out.printf("Line too long (%d characters at most); nothing written\n", MAX_WRITE_LINE);
      continue;
    }
    for (char& c : line) c = char(toupper(static_cast<unsigned char>(c)));
    Words words = splitWords(line);
    if (words.empty()) return address;
    for (const std::string& word : words) {
      uint32_t value = 0;
      if (scanLX(word.c_str(), value)) {
        writeMemSingle(address, value, unit);
      } else {
        // No number: the cell is skipped rather than written with an invented value.
        out.printf("Invalid DATA %s\n", word.c_str());
      }
      address += uint32_t(unit);
    }
  }
}

}  // namespace h8

// DB, DW, DL dump target memory; WB, WW, WL write it, one cell or interactively.
#include <cctype>
#include <cstdlib>
#include <vector>

#include "common/bigendian.h"
#include "console/debugger.h"

namespace h8 {

namespace {

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

// Reads a word as a hexadecimal number in the manner of "%lX": optional blanks, sign and 0x
// prefix, then hexadecimal digits. False when no digit is there.
bool scanHex(const std::string& word, uint32_t& value) {
  const char* p = word.c_str();
  char* end = nullptr;
  unsigned long long v = strtoull(p, &end, 16);
  if (end == p) return false;
  value = uint32_t(v);
  return true;
}

}  // namespace

int Debugger::dumpCommand(int argc, const char* addressWord, const char* sizeWord, int unit) {
  if (argc >= 1 && !evalArgument(addressWord, "Invalid Address %s\n", dumpAddress)) return -1;
  if (argc >= 2 && !evalArgument(sizeWord, "Invalid size %s\n", dumpSize)) return -1;
  if (dumpSize != 0) {
    dumpAddress &= ~uint32_t(unit - 1);
    dumpMem(dumpAddress, dumpSize & 0xFFFF, unit);
    dumpAddress += dumpSize;
  }
  return 0;
}

void Debugger::dumpMem(uint32_t address, uint32_t count, int unit) {
  uint8_t line[16];
  while (count > 0) {
    int n = count < 16 ? int(count) : 16;
    count -= uint32_t(n);
    link.beginPacket(MEM_READ);
    link.putLong(address);
    link.putByte(uint32_t(n));
    link.endPacket();
    link.sendPacket();
    int r = link.receivePacket();
    if (r <= 0) {
      out.printf("dumpMem:Error receivePacket()=%d\n", r);
      return;
    }
    int code = link.getByte();
    if (code != MEM_READ) {
      out.printf("dumpMem:Error.Responce is not MEM_READ. %d\n", code);
      return;
    }
    for (int i = 0; i < n; i++) line[i] = link.getByte();

    out.printf("%06lX ", (unsigned long)address);
    int offset = 0;
    for (; offset < n; offset += unit) printCell(out, line + offset, unit, n - offset);
    const char* filler = unit == 1 ? "   " : unit == 2 ? "     " : "         ";
    for (; offset < 16; offset += unit) out.puts(filler);
    for (int i = 0; i < n; i++) out.put(line[i] < 0x20 ? '.' : char(line[i]));
    out.puts("\n");
    out.flush();
    address += uint32_t(n);
  }
}

int Debugger::writeCommand(int argc, const char* addressWord, const char* dataWord, int unit) {
  if (argc == 0) {
    writeAddress &= ~uint32_t(unit - 1);
    interactiveWrite(writeAddress, unit);
    return 0;
  }
  writeAddress = evaluator.evalExpression(addressWord);
  if (evaluator.exprError) {
    out.printf("Invalid Address %s\n", addressWord);
    return -1;
  }
  writeAddress &= ~uint32_t(unit - 1);
  if (argc == 1) {
    interactiveWrite(writeAddress, unit);
    return 0;
  }
  uint32_t value = 0;
  if (!evalArgument(dataWord, "Invalid DATA %s\n", value)) return -2;
  writeAddress = writeMemSingle(writeAddress, value, unit);
  return 0;
}

uint32_t Debugger::writeMemSingle(uint32_t address, uint32_t value, int unit) {
  if ((unit == 2 && (address & 1)) || (unit == 4 && (address & 3))) return address;
  link.beginPacket(MEM_WRITE);
  link.putLong(address);
  link.putByte(uint32_t(unit));
  for (int i = unit - 1; i >= 0; i--) link.putByte(value >> (8 * i));
  link.endPacket();
  link.sendPacket();
  int r = link.receivePacket();
  if (r <= 0) {
    out.printf("writeMemSingle():PacketError %d\n", r);
    return address;
  }
  int code = link.getByte();
  if (code != MEM_WRITE) {
    out.printf("writeMemSingle():ProtocolError %d\n", code);
    return address;
  }
  return address + uint32_t(unit);
}

uint32_t Debugger::interactiveWrite(uint32_t address, int unit) {
  for (;;) {
    char prompt[32];
    snprintf(prompt, sizeof prompt, "%06lX:>", (unsigned long)address);
    out.puts(prompt);
    out.flush();
    std::string line;
    if (!waitLine(line, prompt)) return address;
    if (line.size() > MAX_WRITE_LINE) {
      out.printf("Line too long (%d characters at most); nothing written\n", MAX_WRITE_LINE);
      continue;
    }
    for (char& c : line) c = char(toupper(static_cast<unsigned char>(c)));
    std::vector<std::string> words = splitWords(line);
    if (words.empty()) return address;
    for (const std::string& word : words) {
      uint32_t value = 0;
      if (scanHex(word, value)) {
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

#include "load/mapfile.h"

#include <cstdio>

namespace h8 {

namespace {

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool isNameChar(char c) { return isLetter(c) || (c >= '0' && c <= '9'); }

// Text from the input (section and file names) made printable and cut to `width`, so it can
// neither break a line nor reach the columns the reader looks at.
std::string printable(const std::string& text, size_t width) {
  std::string s;
  for (size_t i = 0; i < text.size() && s.size() < width; i++) {
    s += text[i] > ' ' && text[i] < 0x7F ? text[i] : '?';
  }
  return s;
}

std::string hex8(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "H'%08lX", (unsigned long)value);
  return text;
}

void padTo(std::string& line, size_t column) {
  if (line.size() < column) line.resize(column, ' ');
}

// Why the reader's rules cannot carry this name at this address, or "" when they can.
std::string unfit(const std::string& name) {
  if (name.empty() || !isLetter(name[0])) {
    return "a map name begins with a letter or '_'";
  }
  for (char c : name) {
    if (!isNameChar(c)) return "a map name holds only letters, digits and '_'";
  }
  if (name.size() > MAP_NAME_MAX) return "a map name holds at most 37 characters";
  return "";
}

}  // namespace

std::string writeMap(const ProgramImage& image, const std::string& source,
                     std::vector<std::string>& refused) {
  std::string map = "H8ABS SYMBOL MAP OF " + printable(source, 60) + " (" +
                    formatName(image.format) + ")\n\nSECTIONS\n";
  map += "  NAME                            ADDRESS    SIZE       LOAD ADDRESS\n";
  for (const ImageSection& s : image.sections) {
    if (s.size == 0) continue;
    std::string line = "  " + printable(s.name, 30);
    padTo(line, 34);
    map += line + hex8(s.address) + " " + hex8(s.size) + " " + hex8(s.loadAddress) +
           (s.data.empty() ? " (no contents)\n" : "\n");
  }
  map += "\nSYMBOLS\n  SECTION                         NAME";
  map += std::string(MAP_ADDRESS_COLUMN - MAP_NAME_COLUMN - 4, ' ') + "ADDRESS\n";

  int count = 0;
  long area = 0;
  for (const ImageSymbol& s : orderSymbols(image.symbols)) {
    std::string reason = unfit(s.name);
    // The reader stores a symbol while fewer than 512 are stored and its name area is below the
    // mark: the name that reaches or crosses the mark is the last one it takes.
    if (reason.empty() && count >= MAP_SYMBOLS_MAX) {
      reason = "the debugger's table holds 512 symbols";
    } else if (reason.empty() && area >= MAP_NAME_AREA) {
      reason = "the debugger's 16,384-byte symbol name area is full";
    }
    if (!reason.empty()) {
      refused.push_back(s.name + ": not in the map: " + reason);
      continue;
    }
    count++;
    area += long(s.name.size()) + 1;
    std::string section;
    for (const ImageSection& sec : image.sections) {
      if (s.address - sec.address < sec.size) {
        section = sec.name;
        break;
      }
    }
    std::string line = "  " + printable(section, 30);
    padTo(line, MAP_NAME_COLUMN);
    line += s.name + " ";
    padTo(line, MAP_ADDRESS_COLUMN);
    line += hex8(s.address);
    line += ' ';
    padTo(line, MAP_KIND_COLUMN);
    line += s.code ? "ENT" : "DAT";
    line += s.global ? "  global\n" : "  local\n";
    map += line;
  }
  return map;
}

}  // namespace h8

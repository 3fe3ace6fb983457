#include "expr/symbols.h"

#include <cstdio>
#include <cstring>

#include "common/input_file.h"
#include "common/scan.h"
#include "load/objfile.h"

namespace h8 {

namespace {

constexpr int LINE_LIMIT = 200;  // as a line read with a 200-byte buffer: 199 characters per piece
constexpr size_t MIN_SYMBOL_LINE = 94;
constexpr int NAME_COLUMN = 34;
constexpr int ADDRESS_COLUMN = 71;
constexpr int KIND_COLUMN = 92;

bool isDelimiter(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ','; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isNameChar(char c) { return isLetter(c) || isDigit(c) || c == '_'; }

const char* skipDelimiters(const char* p) {
  while (*p != '\0' && isDelimiter(*p)) p++;
  return p;
}

// Reads the map file as a text stream does: a CR standing right before LF is dropped, so a
// file written on Windows loads the same everywhere.
class MapReader {
 public:
  explicit MapReader(FILE* file) : file_(file) {}

  // One piece as a bounded line read gives it: at most LINE_LIMIT - 1 characters, the LF kept
  // when it fits. False at the end of the file.
  bool readPiece(char* buffer) {
    int n = 0;
    while (n < LINE_LIMIT - 1) {
      int c = nextChar();
      if (c == EOF) break;
      buffer[n++] = char(c);
      if (c == '\n') break;
    }
    buffer[n] = '\0';
    return n > 0;
  }

 private:
  int nextChar() {
    int c = getc(file_);
    if (c != '\r') return c;
    int following = getc(file_);
    if (following == '\n') return '\n';
    if (following != EOF) ungetc(following, file_);
    return c;
  }

  FILE* file_;
};

// The three column tests, in order, on one piece.
bool isSymbolLine(const char* line) {
  if (strlen(line) < MIN_SYMBOL_LINE) return false;

  const char* p = skipDelimiters(line + NAME_COLUMN);
  if (!isLetter(*p) && *p != '_') return false;
  for (; *p != '\0' && !isDelimiter(*p); p++) {
    if (!isNameChar(*p)) return false;
  }

  p = skipDelimiters(line + ADDRESS_COLUMN);
  if (!(p[0] == 'H' && p[1] == '\'') && !(p[0] == '0' && p[1] == 'x')) return false;
  for (p += 2; *p != '\0' && !isDelimiter(*p); p++) {
    if (hexDigit(*p) < 0) return false;
  }

  p = skipDelimiters(line + KIND_COLUMN);
  return strncmp(p, "DAT", 3) == 0 || strncmp(p, "ENT", 3) == 0;
}

// A COFF or ELF file gives its symbol table, in the order a written map would hold it (globals
// first, then locals, by address), until the slots or the name area are full as in a map. False
// for any other file.
bool loadObjectSymbols(SymbolTable& table, const std::string& path, Output& out) {
  ProgramImage image;
  std::string error;
  ReadResult read = readObjectSymbols(path, image, error);
  if (read == ReadResult::NOT_OBJECT) return false;
  if (read == ReadResult::FAILED) {
    out.printf("%s\n", error.c_str());
    return true;
  }
  long used = 0;
  for (const ImageSymbol& s : orderSymbols(image.symbols)) {
    if (table.addSymbol(s.name.c_str(), s.address)) used += long(s.name.size()) + 1;
    if (table.symbolCount() >= SymbolTable::MAX_SYMBOLS) {
      out.puts("Symbol List Full\n");
      break;
    }
    if (used >= SymbolTable::NAME_AREA_SIZE) {
      out.puts("Symbol Area Full\n");
      break;
    }
  }
  out.printf("Load %d symbols ( use %ld bytes for symbol area )\n", table.symbolCount(), used);
  return true;
}

}  // namespace

// Converts like sscanf "%lX" with a 32-bit long: leading white space, an optional sign and an
// optional 0x prefix are accepted, and the conversion may run on into later columns. A value
// beyond 32 bits saturates to 0xFFFFFFFF, as strtoul does; nothing converted keeps `preset`.
uint32_t scanHexAddress(const char* text, uint32_t preset) {
  uint32_t value = preset;
  scanLX(text, value);
  return value;
}

void SymbolTable::clear() {
  symbolCount_ = 0;
  nameAreaUsed_ = 0;
}

bool SymbolTable::storeSymbol(const char* name, size_t length, uint32_t address) {
  if (symbolCount_ >= MAX_SYMBOLS) return false;
  if (nameAreaUsed_ + long(length) + 1 > long(sizeof nameArea_)) return false;
  memcpy(nameArea_ + nameAreaUsed_, name, length);
  nameArea_[nameAreaUsed_ + long(length)] = '\0';
  symbolTable_[symbolCount_].address = address;
  symbolTable_[symbolCount_].name = uint32_t(nameAreaUsed_);
  symbolCount_++;
  nameAreaUsed_ += long(length) + 1;
  return true;
}

bool SymbolTable::addSymbol(const char* name, uint32_t address) {
  if (name == nullptr || nameAreaUsed_ >= NAME_AREA_SIZE) return false;
  return storeSymbol(name, strlen(name), address);
}

void SymbolTable::loadSymbols(const std::string& path, Output& out) {
  clear();
  if (const char* problem = inputFileProblem(path.c_str())) {
    out.printf("Not valid symbol file %s: %s\n", path.c_str(), problem);
    return;
  }
  if (loadObjectSymbols(*this, path, out)) return;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) {
    out.printf("Not valid symbol file %s\n", path.c_str());
    return;
  }
  MapReader reader(file);
  char line[LINE_LIMIT];
  while (reader.readPiece(line)) {
    if (isSymbolLine(line)) {
      const char* name = skipDelimiters(line + NAME_COLUMN);
      size_t length = 0;
      while (name[length] != '\0' && !isDelimiter(name[length])) length++;
      const char* digits = skipDelimiters(line + ADDRESS_COLUMN) + 2;
      // A name ends before the kind column, so it always fits the slack after the mark.
      storeSymbol(name, length, scanHexAddress(digits, 0xFFFFFFFF));
    }
    if (symbolCount_ >= MAX_SYMBOLS) {
      out.puts("Symbol List Full\n");
      break;
    }
    if (nameAreaUsed_ >= NAME_AREA_SIZE) {
      out.puts("Symbol Area Full\n");
      break;
    }
  }
  out.printf("Load %d symbols ( use %ld bytes for symbol area )\n", symbolCount_, nameAreaUsed_);
  fclose(file);
}

const char* SymbolTable::symbolNameAt(uint32_t address) const {
  for (int i = 0; i < symbolCount_; i++) {
    if (symbolTable_[i].address == address) return nameArea_ + symbolTable_[i].name;
  }
  return nullptr;
}

const char* SymbolTable::nearestSymbol(uint32_t value, uint32_t* address) const {
  const SymbolEntry* best = nullptr;
  for (int i = 0; i < symbolCount_; i++) {
    const SymbolEntry& e = symbolTable_[i];
    if (e.address <= value && (best == nullptr || e.address >= best->address)) best = &e;
  }
  if (address != nullptr) *address = best != nullptr ? best->address : 0;
  return best != nullptr ? nameArea_ + best->name : nullptr;
}

uint32_t SymbolTable::symbolAddress(const char* name) const {
  if (name == nullptr) return 0xFFFFFFFF;
  for (int i = 0; i < symbolCount_; i++) {
    if (strcmp(nameArea_ + symbolTable_[i].name, name) == 0) return symbolTable_[i].address;
  }
  return 0xFFFFFFFF;
}

int SymbolTable::symbolExists(const char* name) const {
  if (name == nullptr) return 0;
  for (int i = 0; i < symbolCount_; i++) {
    if (strcmp(nameArea_ + symbolTable_[i].name, name) == 0) return 1;
  }
  return 0;
}

void SymbolTable::listSymbols(Output& out) const {
  for (int i = 0; i < symbolCount_; i++) {
    out.printf("%08lX : %s\n", (unsigned long)symbolTable_[i].address,
               nameArea_ + symbolTable_[i].name);
  }
}

}  // namespace h8

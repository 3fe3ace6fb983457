// Symbol table loaded from the linker's map listing.
//
//   loadSymbols(path, out)  reset the table, read the map file by its column rules, print
//                           the summary (or "Not valid symbol file %s"); a COFF or ELF file
//                           (known by its first bytes) gives its symbol table instead
//   addSymbol(name, addr)   append one symbol; false when the table or name area is full
//   symbolNameAt(addr)      name of the first symbol (load order) at exactly addr, or nullptr
//   nearestSymbol(v, &a)    name of the symbol with the greatest address <= v (unsigned; the last
//                           in load order among equals), or nullptr (a = 0)
//   symbolAddress(name)     address of the first symbol of that exact name, 0xFFFFFFFF if none
//   symbolExists(name)      1 when a symbol of that exact name exists, else 0
//   listSymbols(out)        diagnostic: "%08lX : %s\n" per slot
//   scanHexAddress(t, p)    the map file's address conversion ("%lX" rules, 32 bits; more
//                           than 32 bits of value gives 0xFFFFFFFF; nothing converted gives p)
//
// Owns: 512 slots and a 16,384-byte name area (plus room for the name that crosses the mark).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/output.h"

namespace h8 {

uint32_t scanHexAddress(const char* text, uint32_t preset);

struct SymbolEntry {
  uint32_t address;
  uint32_t name;  // offset into the name area
};

class SymbolTable {
 public:
  static constexpr int MAX_SYMBOLS = 512;
  static constexpr int NAME_AREA_SIZE = 16384;
  static constexpr int NAME_AREA_SLACK = 64;

  void loadSymbols(const std::string& path, Output& out);
  bool addSymbol(const char* name, uint32_t address);
  void clear();

  const char* symbolNameAt(uint32_t address) const;
  const char* nearestSymbol(uint32_t value, uint32_t* address = nullptr) const;
  uint32_t symbolAddress(const char* name) const;
  int symbolExists(const char* name) const;
  void listSymbols(Output& out) const;

  int symbolCount() const { return symbolCount_; }

 private:
  bool storeSymbol(const char* name, size_t length, uint32_t address);

  SymbolEntry symbolTable_[MAX_SYMBOLS] = {};
  char nameArea_[NAME_AREA_SIZE + NAME_AREA_SLACK] = {};
  int symbolCount_ = 0;
  long nameAreaUsed_ = 0;
};

}  // namespace h8

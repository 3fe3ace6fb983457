// The linker map that h8dbg's -m reads (SymbolTable::loadSymbols, src/expr/symbols.cpp), written
// for a program image so that the debugger knows its symbols by name.
//
//   writeMap(image, source, refused)  the map's text; `refused` gets one "NAME: reason" line for
//                                     each symbol the reader's rules cannot carry
//
// The reader takes a line of at least 94 characters whose name (a letter or '_', then letters,
// digits and '_') starts at column 34, whose address (H' and hexadecimal digits) starts at column
// 71 and whose kind (ENT or DAT) starts at column 92, each after any blanks; it stops after 512
// symbols or when its 16,384-byte name area (each name and its zero byte) is reached. A symbol
// line here: the section name from column 2, the name at 34, H'XXXXXXXX at 71, ENT (code) or DAT
// (data) at 92, then "global" or "local". The name must be over before the address column looks:
// 37 characters at most, the 37th followed by a blank at 71 and the address at 72. Every other
// line is shorter than 94 characters or has no address at 71. Symbols come globals first, then
// locals, each by address: what the table cannot hold is the locals' end.
#pragma once

#include <string>
#include <vector>

#include "load/objfile.h"

namespace h8 {

constexpr size_t MAP_NAME_COLUMN = 34;
constexpr size_t MAP_NAME_MAX = 37;
constexpr size_t MAP_ADDRESS_COLUMN = 71;
constexpr size_t MAP_KIND_COLUMN = 92;
constexpr int MAP_SYMBOLS_MAX = 512;
constexpr long MAP_NAME_AREA = 16384;

std::string writeMap(const ProgramImage& image, const std::string& source,
                     std::vector<std::string>& refused);

}  // namespace h8

// h8abs make: a program from the GNU toolchain (COFF, ELF, S-records, Intel HEX) converted to the
// SYSROF module LO downloads and the map file -m reads.
//
//   runMake(argc, argv, out, err)  argv: make INPUT [-o OUT.ABS] [--map OUT.map] [--symbols NM]
//                                  EXIT_DONE when both files are written (symbols they cannot
//                                  carry are listed on err), EXIT_FAILED when the input is
//                                  refused (one line on err; nothing written), EXIT_USAGE
//   makeOutputName(input, ext)     the input's path with its extension replaced by `ext`
//
// Refused: a file that is none of the formats or is cut short, data outside the user flash
// (0x1000-0x7FFF), one address given two different bytes, no data at all.
#pragma once

#include <string>

#include "common/output.h"

namespace h8 {

int runMake(int argc, char** argv, Output& out, Output& err);
std::string makeOutputName(const std::string& input, const char* extension);

}  // namespace h8

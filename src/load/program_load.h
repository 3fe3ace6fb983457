// The one door through which LO fills its memory image, whatever the file's format.
//
//   loadProgram(path, buffer, base, limit, out, format)
//       a COFF, ELF, S-record or Intel HEX file (known by its first bytes) is read, checked
//       (every byte inside base..limit-1, no address given two different bytes) and copied to
//       buffer[address - base]; 1 done, 0 refused with one line naming the file and the problem.
//       Any other file is a SYSROF file and goes to loadSysrof exactly as before, messages and
//       result included. `format` is set to the name of the format taken ("SYSROF", "COFF", ...).
#pragma once

#include <cstdint>

#include "common/output.h"

namespace h8 {

int loadProgram(const char* path, uint8_t* buffer, uint32_t base, uint32_t limit, Output& out,
                const char** format);

}  // namespace h8

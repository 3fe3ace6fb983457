// Diagnostic listing of a SYSROF file, record by record (no console command calls it; the h8abs
// tool does).
//
//   listSysrof(path, out)        open the file and list it; "Can't open file %s\n" when it cannot
//                                be opened, with ": " and the reason when it is no regular file
//   listSysrofStream(f, out)     list an open file; 1 when it ended with an 0xFF record, 0 when it
//                                ended abnormally (the abnormal-termination line is printed)
//   dumpRecord(record, out)      hex and character dump of one record, 16 body bytes a line
//
// A module header (0x04) is dumped as other data, then its fields follow; a unit record that goes
// on past its name shows the tool and linker with their dates.
// Every field is taken from inside the record's L bytes: a counted string or an entry that runs
// past the end is cut there, and a fixed field past the end reads as 0.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/output.h"

namespace h8 {

void listSysrof(const char* path, Output& out);
int listSysrofStream(FILE* file, Output& out);
void dumpRecord(const uint8_t* record, Output& out);

}  // namespace h8

// Writing a SYSROF absolute load module (*.ABS) from a program image: the file LO downloads and
// `h8abs list` lists.
//
//   sysrofDate(epoch, date, error)  the 12-character creation date YYMMDDhhmmss: from `epoch`
//                                   (SOURCE_DATE_EPOCH's text, seconds, UTC) when it is not
//                                   null, else the local time now; false when epoch is no number
//   writeSysrof(image, m, d, notes) the module's bytes; m names the module and its unit, d is the
//                                   date; notes gets one line for each symbol left out
//
// Records, in order (each: type | 0x80, length of the whole record, body, checksum byte making
// the record's bytes sum to 0xFF; all fields big-endian, names counted strings of at most 127):
//   0x84 header          module type absolute, date, 1 unit, code 0 (ASCII), version "1.00",
//                        address unit 8 bits, address field length 4, the entry point when the
//                        input has one, empty OS and system names, the module name, CPU "H8300H"
//   0x86 unit            format LM, numbers of sections, of external references (0) and of
//                        exports, unit name, tool "h8abs" and date, linker "h8abs" and date
//   0x88 section         one a section: address (where its bytes go), length, alignment,
//                        contents code or data, attributes, name
//   0x94 export          one a global symbol: section number (0: in none), type entry (0x00) or
//                        data (0x20), its address, name
//   0x9A section header  unit 1 and the section's number, before each section's data
//   0x9C object data     flags 0x80 (address present), 32-bit address, count, at most
//                        SYSROF_DATA_MAX bytes
//   0xFF end             two bytes: FF 02
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "load/objfile.h"

namespace h8 {

// The largest record is 255 bytes: 8 bytes of fields, the data, the checksum byte.
constexpr size_t SYSROF_DATA_MAX = 255 - 9;
constexpr size_t SYSROF_NAME_MAX = 127;  // a counted name's length byte stays below 128
constexpr const char* SYSROF_CPU = "H8300H";

bool sysrofDate(const char* epoch, std::string& date, std::string& error);
std::vector<uint8_t> writeSysrof(const ProgramImage& image, const std::string& module,
                                 const std::string& date, std::vector<std::string>& notes);

}  // namespace h8

// Number scanners, each named by the C library conversion whose rule it follows, taken with a
// 32-bit long (the board's users' platform), so that every host reads numbers alike.
//
//   hexDigit(c)             0..15 for a hexadecimal digit, else -1
//   scanLX(text, &value)    as sscanf "%lX": white space, an optional sign, an optional 0x before
//                           a digit, hexadecimal digits; a value past 32 bits gives FFFFFFFF, a
//                           minus sign negates. False, value untouched, when no digit is there.
//                           The conversion stops at the first character that is not a digit.
//   strtolHex(text)         as strtol(text, 16) into a 32-bit long, for text known to hold only
//                           an optional 0x and hexadecimal digits: past 7FFFFFFF it saturates
//   scanLD(text, &value)    as sscanf "%ld": white space, an optional sign, decimal digits; the
//                           value is taken modulo 2^32 as a signed 32-bit number. False, value
//                           untouched, when no digit is there.
#pragma once

#include <cstdint>

namespace h8 {

int hexDigit(char c);
bool scanLX(const char* text, uint32_t& value);
uint32_t strtolHex(const char* text);
bool scanLD(const char* text, long& value);

}  // namespace h8

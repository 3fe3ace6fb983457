// Number scanners, each named by the C library conversion whose rule it follows, taken with a
// 32-bit long (the board's users' platform), so that every host reads numbers alike.
//
//   hexDigit(c)             0..15 for a hexadecimal digit, else -1
//   scanLX(text, &value)    as sscanf "%lX": white space, an optional sign, an optional 0x before
//                           a digit, hexadecimal digits; a value past 32 bits gives FFFFFFFF, a
//                           minus sign negates. False, value untouched, when no digit is there.
//                           The conversion stops at the first character that is not a digit.
//   strtoul32(text, base, &value)  as strtoul(text, base) into a 32-bit unsigned long, for text
//                           known to hold only digits of the base (base 16: after an optional
//                           0x); false when the value does not fit in 32 bits
//   scanLD(text, &value)    as sscanf "%ld": white space, an optional sign, decimal digits; the
//                           value is taken modulo 2^32 as a signed 32-bit number. False, value
//                           untouched, when no digit is there.
#pragma once

#include <cstdint>

namespace h8 {

int hexDigit(char c);
bool scanLX(const char* text, uint32_t& value);
bool strtoul32(const char* text, int base, uint32_t& value);
bool scanLD(const char* text, long& value);

}  // namespace h8

#include "common/scan.h"

namespace h8 {

namespace {

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// White space and an optional sign; true when the sign was a minus.
const char* skipSign(const char* p, bool& negative) {
  while (isSpace(*p)) p++;
  negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  return p;
}

}  // namespace

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool scanLX(const char* text, uint32_t& value) {
  bool negative = false;
  const char* p = skipSign(text, negative);
  // "0x" not followed by a digit converts as the single digit 0.
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hexDigit(p[2]) >= 0) p += 2;
  if (hexDigit(*p) < 0) return false;
  uint64_t v = 0;
  bool overflow = false;
  for (; hexDigit(*p) >= 0; p++) {
    v = v * 16 + uint64_t(hexDigit(*p));
    if (v > 0xFFFFFFFFu) {
      overflow = true;
      v = 0xFFFFFFFFu;
    }
  }
  if (overflow) {
    value = 0xFFFFFFFF;
  } else {
    value = negative ? uint32_t(0u - uint32_t(v)) : uint32_t(v);
  }
  return true;
}

bool strtoul32(const char* text, int base, uint32_t& value) {
  if (base == 16 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
  uint64_t v = 0;
  for (int d; (d = hexDigit(*text)) >= 0 && d < base; text++) {
    v = v * uint64_t(base) + uint64_t(d);
    if (v > 0xFFFFFFFFu) return false;
  }
  value = uint32_t(v);
  return true;
}

bool scanLD(const char* text, long& value) {
  bool negative = false;
  const char* p = skipSign(text, negative);
  if (*p < '0' || *p > '9') return false;
  uint32_t v = 0;
  for (; *p >= '0' && *p <= '9'; p++) v = v * 10 + uint32_t(*p - '0');
  value = long(int32_t(negative ? 0u - v : v));
  return true;
}

}  // namespace h8

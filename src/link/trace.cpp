#include "link/trace.h"

#include <cstdio>

#include "common/bigendian.h"
#include "common/target.h"

namespace h8 {

namespace {

// Register selectors as the monitor numbers them.
const char* selectorName(int selector) {
  static const char* const NAMES[] = {"ER0", "ER1", "ER2", "ER3", "ER4",
                                      "ER5", "ER6", "ER7", "CCR", "PC"};
  return selector >= 0 && selector < 10 ? NAMES[selector] : "?";
}

void append(std::string& s, const char* format, unsigned long a = 0, unsigned long b = 0,
            unsigned long c = 0) {
  char piece[96];
  snprintf(piece, sizeof piece, format, a, b, c);
  s += piece;
}

void appendBytes(std::string& s, const uint8_t* p, int n) {
  for (int i = 0; i < n; i++) append(s, " %02lX", p[i]);
}

}  // namespace

void LineTrace::begin(const char* direction) {
  endText();
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
                  .count();
  char stamp[48];
  snprintf(stamp, sizeof stamp, "%10.3f ms %s ", ms, direction);
  lines_ += stamp;
}

void LineTrace::frame(bool sent, const uint8_t* f) {
  begin(sent ? ">" : "<");
  const int code = f[2];
  const int n = f[1] - 2;  // payload bytes
  const uint8_t* p = f + 3;
  const char* name = requestName(code);
  lines_ += name ? name : "code";
  if (!name) append(lines_, " %02lX", unsigned(code));
  // The fields of each kind of frame, when it is long enough to hold them.
  if (sent && (code == MEM_READ || code == MEM_WRITE) && n >= 5) {
    append(lines_, " address %08lX length %lu", load32(p), p[4]);
    if (code == MEM_WRITE) appendBytes(lines_, p + 5, n - 5);
  } else if (code == MEM_READ && !sent) {
    append(lines_, " %lu bytes:", unsigned(n)), appendBytes(lines_, p, n);
  } else if ((code == REG_READ || code == REG_WRITE) && sent && n >= 1) {
    lines_ += " register ";
    lines_ += selectorName(p[0]);
    if (code == REG_WRITE && n >= 5) append(lines_, " value %08lX", load32(p + 1));
  } else if (code == REG_READ && n >= 4) {
    append(lines_, " value %08lX", load32(p));
  } else if (code == VERSION && !sent && n >= 3) {
    append(lines_, " version %lu.%lu build %lu", p[0], p[1], p[2]);
  } else if ((code == FLASH_PROG_AREA || code == USER_DATA_AREA) && !sent && n >= 8) {
    append(lines_, " start %08lX size %08lX", load32(p), load32(p + 4));
  } else if (code == FLASH_WRITE && sent && n >= 8) {
    append(lines_, " source %08lX target %08lX", load32(p), load32(p + 4));
  } else if (code == FLASH_ERASE && sent && n >= 1) {
    append(lines_, " block %lu", p[0]);
  } else if ((code == BREAK_WRITE || code == BREAK_READ || code == BREAK_CLEAR) && n >= 4) {
    append(lines_, " address %08lX", load32(p));
  } else if (code == GO && !sent && n >= 1) {
    append(lines_, " stop code %lu", p[0]);
    if (stopName(p[0])) lines_ += std::string(" (") + stopName(p[0]) + ")";
  } else if (!sent && n == 1) {
    append(lines_, " status %lu", p[0]);
  } else if (n > 0) {
    appendBytes(lines_, p, n);
  }
  lines_ += '\n';
}

void LineTrace::text(uint8_t b) {
  text_ += char(b);
  if (b == '\n' || text_.size() >= 64) endText();
}

void LineTrace::endText() {
  if (text_.empty()) return;
  std::string t;
  t.swap(text_);
  begin("<");
  lines_ += "text \"";
  for (unsigned char c : t) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      lines_ += char(c);
    } else {
      append(lines_, "\\x%02lX", c);
    }
  }
  lines_ += "\"\n";
}

void LineTrace::note(const char* what) {
  begin("!");
  lines_ += what;
  lines_ += '\n';
}

void LineTrace::flush() {
  endText();
  if (lines_.empty()) return;
  out_.write(lines_.data(), lines_.size());
  out_.flush();
  lines_.clear();
}

}  // namespace h8

#include "common/output.h"

#include <vector>

namespace h8 {

void Output::printf(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  vprintf(fmt, args);
  va_end(args);
}

void Output::vprintf(const char* fmt, va_list args) {
  char small[256];
  va_list again;
  va_copy(again, args);
  int n = vsnprintf(small, sizeof small, fmt, args);
  if (n < 0) {
    va_end(again);
    return;
  }
  if (size_t(n) < sizeof small) {
    write(small, size_t(n));
  } else {
    std::vector<char> big(size_t(n) + 1);
    vsnprintf(big.data(), big.size(), fmt, again);
    write(big.data(), size_t(n));
  }
  va_end(again);
}

}  // namespace h8

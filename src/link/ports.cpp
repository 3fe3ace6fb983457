// The platform-free part of the port listing: natural order and the printed lines.
#include "link/ports.h"

#include <algorithm>
#include <cctype>

namespace h8 {

namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

bool naturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      // Compare the two numbers: without leading zeros, the longer one is larger.
      while (i < a.size() && a[i] == '0') i++;
      while (j < b.size() && b[j] == '0') j++;
      size_t ei = i, ej = j;
      while (ei < a.size() && isDigit(a[ei])) ei++;
      while (ej < b.size() && isDigit(b[ej])) ej++;
      if (ei - i != ej - j) return ei - i < ej - j;
      int c = a.compare(i, ei - i, b, j, ej - j);
      if (c != 0) return c < 0;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      i++;
      j++;
    }
  }
  if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
  return a < b;  // equal up to leading zeros: any fixed order
}

void printSerialPorts(const std::vector<PortInfo>& ports, Output& out) {
  if (ports.empty()) {
    out.puts("No serial port found\n");
    return;
  }
  size_t width = 0;
  for (const PortInfo& p : ports) width = std::max(width, p.device.size());
  for (const PortInfo& p : ports) {
    std::string line = p.device;
    if (!p.description.empty() || !p.state.empty()) line.resize(width, ' ');
    if (!p.description.empty()) line += "  " + p.description;
    if (!p.state.empty()) line += "  [" + p.state + "]";
    out.puts(line + "\n");
  }
}

}  // namespace h8

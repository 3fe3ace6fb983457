#include "sim/faults.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>

#include "common/target.h"
#include "link/link.h"

namespace h8 {

namespace {

struct FaultName {
  const char* name;
  Fault fault;
};

constexpr FaultName FAULT_NAMES[] = {
    {"silence", Fault::Silence}, {"restart", Fault::Restart}, {"wrongcode", Fault::WrongCode},
    {"badsum", Fault::BadSum},   {"badetx", Fault::BadEtx},   {"ng", Fault::StatusNG},
    {"short", Fault::Short},     {"count0", Fault::Count0},   {"count30", Fault::Count30},
    {"garbage", Fault::Garbage}, {"reset", Fault::Reset},     {"vanish", Fault::Vanish},
    {"misprogram", Fault::Misprogram},
};

// Printable noise with no STX in it: the debugger shows it as text from the board.
const std::vector<uint8_t> GARBAGE = {'#', '?', 0x7F, 0xFF, 0x13, 'x', 0x1B, '\n'};

bool parseNumber(const std::string& text, int low, int high, int& value) {
  if (text.empty() || !isdigit(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  long v = strtol(text.c_str(), &end, 0);
  if (*end != '\0' || v < low || v > high) return false;
  value = int(v);
  return true;
}

}  // namespace

std::vector<uint8_t> makeFrame(uint8_t type, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> f(payload.size() + 5);
  f[0] = STX;
  f[1] = uint8_t(payload.size() + 2);
  f[2] = type;
  std::copy(payload.begin(), payload.end(), f.begin() + 3);
  for (size_t i = 1; i < f.size() - 2; i++) f[f.size() - 2] = uint8_t(f[f.size() - 2] - f[i]);
  f.back() = ETX;
  return f;
}

std::vector<uint8_t> faultFrame(Fault fault, const std::vector<uint8_t>& frame,
                                const std::vector<uint8_t>& raw) {
  if (frame.size() < 5) return frame;
  const uint8_t code = frame[2];
  std::vector<uint8_t> payload(frame.begin() + 3, frame.end() - 2), bytes = frame;
  switch (fault) {
    case Fault::Silence:
    case Fault::Reset:
    case Fault::Vanish:
      return {};
    case Fault::Restart:
      return makeFrame(RESTART, {});
    case Fault::WrongCode:
      return makeFrame(0x7E, payload);
    case Fault::BadSum:
      bytes[bytes.size() - 2] ^= 0x55;
      return bytes;
    case Fault::BadEtx:
      bytes.back() = 0x04;
      return bytes;
    case Fault::StatusNG:
      if (!payload.empty()) payload.back() = code == MEM_WRITE ? 2 : 0;
      return makeFrame(code, payload);
    case Fault::Short:
      if (!payload.empty()) payload.pop_back();
      return makeFrame(code, payload);
    case Fault::Count0:
      bytes[1] = 0;
      return bytes;
    case Fault::Count30:
      bytes[1] = 30;
      return bytes;
    case Fault::Garbage:
      bytes.insert(bytes.begin(), GARBAGE.begin(), GARBAGE.end());
      return bytes;
    case Fault::Raw:
      return raw;
    case Fault::Misprogram:
      return bytes;
  }
  return bytes;
}

bool parseFault(const std::string& text, FaultRule& rule, std::string& error) {
  error = "bad fault " + text + " (KIND[@REQUEST][:N], KIND one of " + faultKinds() + ")";
  rule = FaultRule();
  size_t at = text.find('@'), colon = text.find(':');
  std::string kind = text.substr(0, std::min(at, colon));
  bool found = false;
  for (const FaultName& f : FAULT_NAMES) {
    if (kind == f.name) rule.fault = f.fault, found = true;
  }
  if (!found) return false;
  if (colon != std::string::npos && !parseNumber(text.substr(colon + 1), 1, 1000000, rule.nth)) {
    return false;
  }
  if (at != std::string::npos) {
    std::string code = text.substr(at + 1, colon == std::string::npos ? colon : colon - at - 1);
    for (char& c : code) c = char(toupper(static_cast<unsigned char>(c)));
    for (int c = 0; c < 256 && rule.code < 0; c++) {
      if (requestName(c) != nullptr && code == requestName(c)) rule.code = c;
    }
    if (rule.code < 0 && !parseNumber(code, 0, 255, rule.code)) return false;
  }
  error.clear();
  return true;
}

const char* faultKinds() {
  return "silence restart wrongcode badsum badetx ng short count0 count30 garbage reset vanish "
         "misprogram";
}

int FaultyLine::write(const uint8_t* data, int n) {
  if (vanished_) return 0;
  // The monitor writes each reply whole; anything else is the program's text.
  if (n < 5 || data[0] != STX || n != data[1] + 3) return line_.write(data, n);
  const uint8_t code = data[2];
  ++seen_[code];
  ++seen_[256];
  for (auto rule = rules_.begin(); rule != rules_.end(); ++rule) {
    if (rule->nth != (rule->code < 0 ? seen_[256] : rule->code == code ? seen_[code] : -1)) {
      continue;
    }
    std::vector<uint8_t> bytes = faultFrame(rule->fault, std::vector<uint8_t>(data, data + n),
                                            rule->raw);
    reset_ = reset_ || rule->fault == Fault::Reset;
    vanished_ = vanished_ || rule->fault == Fault::Vanish;
    if (rule->fault == Fault::Misprogram && board != nullptr) board->spoilLastProgrammed();
    rules_.erase(rule);
    if (!bytes.empty()) line_.write(bytes.data(), int(bytes.size()));
    return n;
  }
  return line_.write(data, n);
}

}  // namespace h8

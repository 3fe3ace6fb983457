#include "load/sysrof_write.h"

#include <cstdio>
#include <ctime>

namespace h8 {

namespace {

constexpr uint8_t RECORD_COMPLETE = 0x80;  // the top bit of the type: the record is not continued
constexpr uint8_t HEADER = 0x04, UNIT = 0x06, SECTION = 0x08, EXPORT = 0x14, SECTION_HEADER = 0x1A,
                  OBJECT_DATA = 0x1C;
constexpr uint8_t START_ADDRESS_PRESENT = 0x80;
constexpr uint8_t EXPORT_ENTRY = 0x00, EXPORT_DATA = 0x20;  // symbol type in the top three bits
constexpr uint8_t CONTENTS_CODE = 0x00, CONTENTS_DATA = 0x10;
// Read, write, execute, initialised: two bits each, 1 for yes.
constexpr uint8_t ATTRIBUTES_CODE = 0x45, ATTRIBUTES_DATA = 0x51, ATTRIBUTES_SPACE = 0x50;
constexpr const char* TOOL = "h8abs";
constexpr const char* VERSION = "1.00";

class Body {
 public:
  void u8(uint32_t v) { b_.push_back(uint8_t(v)); }
  void u16(uint32_t v) {
    u8(v >> 8);
    u8(v);
  }
  void u32(uint32_t v) {
    u16(v >> 16);
    u16(v);
  }
  void chars(const std::string& s, size_t n) {
    for (size_t i = 0; i < n; i++) u8(i < s.size() ? uint8_t(s[i]) : uint8_t(' '));
  }
  void name(const std::string& s) {
    size_t n = s.size() < SYSROF_NAME_MAX ? s.size() : SYSROF_NAME_MAX;
    u8(uint32_t(n));
    chars(s, n);
  }
  // The record around the body: type with the top bit, length, body, checksum.
  void emit(uint8_t type, std::vector<uint8_t>& out) const {
    size_t start = out.size();
    out.push_back(RECORD_COMPLETE | type);
    out.push_back(uint8_t(b_.size() + 3));
    out.insert(out.end(), b_.begin(), b_.end());
    uint8_t sum = 0;
    for (size_t i = start; i < out.size(); i++) sum = uint8_t(sum + out[i]);
    out.push_back(uint8_t(~sum));
  }

 private:
  std::vector<uint8_t> b_;
};

}  // namespace

bool sysrofDate(const char* epoch, std::string& date, std::string& error) {
  std::tm when{};
  if (epoch != nullptr) {
    // Reproducible outputs take the time the build system gives, in UTC.
    long long seconds = 0;
    const char* p = epoch;
    for (; *p >= '0' && *p <= '9' && seconds < 100000000000LL; p++)
      seconds = seconds * 10 + (*p - '0');
    const std::tm* utc = nullptr;
    time_t t = time_t(seconds);
    if (*epoch != '\0' && *p == '\0') utc = std::gmtime(&t);
    if (utc == nullptr) {
      error = std::string("SOURCE_DATE_EPOCH is not a number of seconds: ") + epoch;
      return false;
    }
    when = *utc;
  } else {
    time_t now = time(nullptr);
    const std::tm* local = std::localtime(&now);
    if (local != nullptr) when = *local;
  }
  char text[32];
  snprintf(text, sizeof text, "%02d%02d%02d%02d%02d%02d", when.tm_year % 100, when.tm_mon + 1,
           when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec);
  date = text;
  return true;
}

std::vector<uint8_t> writeSysrof(const ProgramImage& image, const std::string& module,
                                 const std::string& date, std::vector<std::string>& notes) {
  std::vector<uint8_t> out;
  std::vector<const ImageSection*> sections;
  for (const ImageSection& s : image.sections) {
    if (s.size > 0) sections.push_back(&s);
  }
  // The section a symbol points into, by the addresses the section runs at.
  auto sectionOf = [&](uint32_t address) {
    for (size_t i = 0; i < sections.size(); i++) {
      if (address - sections[i]->address < sections[i]->size) return uint32_t(i + 1);
    }
    return uint32_t(0);
  };
  std::vector<ImageSymbol> exports;
  for (const ImageSymbol& s : orderSymbols(image.symbols)) {
    if (!s.global) continue;
    if (s.name.size() > SYSROF_NAME_MAX) {
      notes.push_back(s.name + ": not exported: a SYSROF name holds at most 127 characters");
      continue;
    }
    exports.push_back(s);
  }

  Body header;
  header.u8(0x00);  // module type 0: absolute load module
  header.chars(date, 12);
  header.u16(1);  // units
  header.u8(0);   // code: ASCII
  header.chars(VERSION, 4);
  header.u8(8);       // address update: 8 bits an address
  header.u8(4 << 3);  // no segments; address field length 4
  header.u8(0);       // space size within segment
  header.u8(0);       // segment size
  header.u8(0);       // segment shift
  header.u8(image.hasEntry ? 1 : 0);
  if (image.hasEntry) header.u32(image.entry);
  header.name("");  // OS
  header.name("");  // system
  header.name(module);
  header.name(SYSROF_CPU);
  header.emit(HEADER, out);

  Body unit;
  unit.u8(0);  // format: load module
  unit.u16(uint32_t(sections.size()));
  unit.u16(0);
  unit.u16(uint32_t(exports.size()));
  unit.name(module);
  unit.name(TOOL);
  unit.chars(date, 12);
  unit.name(TOOL);
  unit.chars(date, 12);
  unit.emit(UNIT, out);

  for (const ImageSection* s : sections) {
    Body section;
    section.u8(0);
    section.u32(s->loadAddress);
    section.u32(s->size);
    section.u32(s->align);
    section.u8(s->code ? CONTENTS_CODE : CONTENTS_DATA);
    section.u8(s->data.empty() ? ATTRIBUTES_SPACE : s->code ? ATTRIBUTES_CODE : ATTRIBUTES_DATA);
    section.u8(0);  // mode
    section.name(s->name);
    section.emit(SECTION, out);
  }

  for (const ImageSymbol& s : exports) {
    Body entry;
    entry.u16(sectionOf(s.address));
    entry.u8(s.code ? EXPORT_ENTRY : EXPORT_DATA);
    entry.u32(s.address);
    entry.name(s.name);
    entry.emit(EXPORT, out);
  }

  for (size_t i = 0; i < sections.size(); i++) {
    const std::vector<uint8_t>& data = sections[i]->data;
    if (data.empty()) continue;
    Body head;
    head.u16(1);
    head.u16(uint32_t(i + 1));
    head.emit(SECTION_HEADER, out);
    for (size_t at = 0; at < data.size(); at += SYSROF_DATA_MAX) {
      size_t n = data.size() - at < SYSROF_DATA_MAX ? data.size() - at : SYSROF_DATA_MAX;
      Body object;
      object.u8(START_ADDRESS_PRESENT);
      object.u32(uint32_t(sections[i]->loadAddress + at));
      object.u8(uint32_t(n));
      for (size_t k = 0; k < n; k++) object.u8(data[at + k]);
      object.emit(OBJECT_DATA, out);
    }
  }
  out.push_back(0xFF);
  out.push_back(0x02);
  return out;
}

}  // namespace h8

#include "common/target.h"

#include <cstring>
#include <iterator>

namespace h8 {

namespace {

struct RequestRow {
  uint8_t code;
  const char* name;
};
constexpr RequestRow REQUEST_ROWS[] = {
#define H8_REQUEST(name, code) {code, #name},
#include "common/requests.inc"
#undef H8_REQUEST
};

constexpr const char* STOP_NAMES[] = {
    "TRAP 0", "TRAP 1", "TRAP 2",  "TRAP 3",  "BREAK",   "SLEEP",   "IRQ0", "IRQ1", "IRQ2",
    "IRQ3",   "WKP",    "TIMER A", "Reserve", "TIMER W", "TIMER V", "SCI3", "IIC",  "AD",
};
static_assert(std::size(STOP_NAMES) == STOP_LAST_NAMED - STOP_FIRST_NAMED + 1);

constexpr int FIRST_R = 10, FIRST_E = 18, FIRST_RH = 26, FIRST_RL = 34;

}  // namespace

const Register registers[] = {
    {"ER0", 0, PART_WHOLE}, {"ER1", 1, PART_WHOLE}, {"ER2", 2, PART_WHOLE}, {"ER3", 3, PART_WHOLE},
    {"ER4", 4, PART_WHOLE}, {"ER5", 5, PART_WHOLE}, {"ER6", 6, PART_WHOLE}, {"SP", 7, PART_WHOLE},
    {"CCR", 8, PART_WHOLE}, {"PC", 9, PART_WHOLE},  {"R0", 0, PART_R},      {"R1", 1, PART_R},
    {"R2", 2, PART_R},      {"R3", 3, PART_R},      {"R4", 4, PART_R},      {"R5", 5, PART_R},
    {"R6", 6, PART_R},      {"R7", 7, PART_R},      {"E0", 0, PART_E},      {"E1", 1, PART_E},
    {"E2", 2, PART_E},      {"E3", 3, PART_E},      {"E4", 4, PART_E},      {"E5", 5, PART_E},
    {"E6", 6, PART_E},      {"E7", 7, PART_E},      {"R0H", 0, PART_RH},    {"R1H", 1, PART_RH},
    {"R2H", 2, PART_RH},    {"R3H", 3, PART_RH},    {"R4H", 4, PART_RH},    {"R5H", 5, PART_RH},
    {"R6H", 6, PART_RH},    {"R7H", 7, PART_RH},    {"R0L", 0, PART_RL},    {"R1L", 1, PART_RL},
    {"R2L", 2, PART_RL},    {"R3L", 3, PART_RL},    {"R4L", 4, PART_RL},    {"R5L", 5, PART_RL},
    {"R6L", 6, PART_RL},    {"R7L", 7, PART_RL},    {"ER7", 7, PART_WHOLE},
};
static_assert(std::size(registers) == REGISTER_LOOKUP_COUNT + 1);

const char* requestName(int code) {
  for (const RequestRow& r : REQUEST_ROWS) {
    if (r.code == code) return r.name;
  }
  return nullptr;
}

int findRegisterIndex(const char* name) {
  for (int i = 0; i < REGISTER_LOOKUP_COUNT; i++) {
    if (std::strcmp(name, registers[i].name) == 0) return i;
  }
  return -1;
}

const char* byteRegisterName(int field) {
  field &= 15;
  return registers[field < 8 ? FIRST_RH + field : FIRST_RL + field - 8].name;
}

const char* wordRegisterName(int field) {
  field &= 15;
  return registers[field < 8 ? FIRST_R + field : FIRST_E + field - 8].name;
}

const char* longRegisterName(int field) {
  field &= 7;
  return registers[field == 7 ? REGISTER_LOOKUP_COUNT : field].name;
}

const char* stopName(int code) {
  if (code < STOP_FIRST_NAMED || code > STOP_LAST_NAMED) return nullptr;
  return STOP_NAMES[code - STOP_FIRST_NAMED];
}

}  // namespace h8

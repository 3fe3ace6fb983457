// The H8/3664 board as the debugger, the simulator and the tests know it: one description.
//
//   memory map        the monitor's flash, the user flash in 128-byte blocks, RAM, I/O
//   RAM areas         what the monitor reserves for flash programming and the user's data
//   stack window      where G accepts SP (the monitor puts the execution address there)
//   RequestCode       the monitor protocol's codes (requests.inc); requestName(code)
//   REG_SP/CCR/PC     the register selectors sent on the line
//   registers         every register name with its selector and part, in lookup order
//   stop codes        the exception vectors a GO reply reports; stopName(code)
//
// Addresses are 16 bits on the board (the CPU runs in normal mode); the host keeps them in
// 32-bit values.
#pragma once

#include <cstdint>

namespace h8 {

// Memory map.
constexpr uint32_t FLASH_START = 0x0000;
constexpr uint32_t FLASH_END = 0x8000;          // flash ROM is 0x0000..0x7FFF
constexpr uint32_t USER_FLASH_START = 0x1000;   // below it: the monitor's own flash
constexpr uint32_t USER_FLASH_END = FLASH_END;  // the user area ends with the flash
constexpr uint32_t FLASH_BLOCK_SIZE = 128;      // the unit of programming
constexpr uint32_t FLAG_BLOCK = 0x7F80;         // the block holding the user-program-first flag
constexpr uint32_t FLAG_ADDRESS = 0x7FFF;       // the flag byte (0x00: the user program first)
constexpr uint8_t ERASE_USER_AREA = 4;          // FLASH_ERASE block holding the user area
constexpr uint32_t IO_LOW_START = 0xF700;
constexpr uint32_t IO_LOW_END = 0xF780;
constexpr uint32_t RAM_START = 0xF780;
constexpr uint32_t RAM_END = 0xFF80;
constexpr uint32_t IO_HIGH_START = 0xFF80;
constexpr uint32_t IO_HIGH_END = 0x10000;

// RAM areas the monitor reserves (its answers to FLASH_PROG_AREA and USER_DATA_AREA); the flash
// write buffer lies at the start of the user data area.
constexpr uint32_t FLASH_PROG_AREA_START = 0xF780;
constexpr uint32_t FLASH_PROG_AREA_SIZE = 0x400;
constexpr uint32_t USER_DATA_AREA_START = 0xFC00;
constexpr uint32_t USER_DATA_AREA_SIZE = 0x100;

// G starts the program only with the low 16 bits of SP in this window.
constexpr uint32_t STACK_LOW = 0xF780;
constexpr uint32_t STACK_HIGH = 0xFF7C;

// On-chip I/O registers the simulator models.
constexpr uint32_t SCI3_SMR = 0xFFA8;
constexpr uint32_t SCI3_BRR = 0xFFA9;
constexpr uint32_t SCI3_SCR3 = 0xFFAA;
constexpr uint32_t SCI3_TDR = 0xFFAB;
constexpr uint32_t SCI3_SSR = 0xFFAC;
constexpr uint32_t SCI3_RDR = 0xFFAD;

// Registers as the monitor hands them to a program after a reset: PC at the user flash.
constexpr uint32_t RESET_SP = STACK_HIGH;
constexpr uint32_t RESET_CCR = 0x80;

// Request and response codes.
enum RequestCode : uint8_t {
#define H8_REQUEST(name, code) name = code,
#include "common/requests.inc"
#undef H8_REQUEST
};
// The code's name ("MEM_READ"), or nullptr for a code the protocol does not have.
const char* requestName(int code);

// Register selectors: 0..7 ER0..ER7, then these.
constexpr int REG_SP = 7;
constexpr int REG_CCR = 8;
constexpr int REG_PC = 9;
constexpr int REGISTER_COUNT = 10;

// Which bits of the selected 32-bit register a name stands for.
enum RegisterPart : uint8_t { PART_WHOLE, PART_R, PART_E, PART_RH, PART_RL };
struct PartBits {
  uint8_t shift;
  uint8_t width;
};
constexpr PartBits PART_BITS[] = {{0, 32}, {0, 16}, {16, 16}, {8, 8}, {0, 8}};

inline uint32_t partMask(RegisterPart part) {
  return PART_BITS[part].width == 32 ? 0xFFFFFFFFu : ((1u << PART_BITS[part].width) - 1);
}
// The part's bits of a register value, and a register value with the part replaced.
inline uint32_t extractPart(uint32_t whole, RegisterPart part) {
  return (whole >> PART_BITS[part].shift) & partMask(part);
}
inline uint32_t mergePart(uint32_t whole, RegisterPart part, uint32_t value) {
  uint32_t mask = partMask(part) << PART_BITS[part].shift;
  return (whole & ~mask) | ((value << PART_BITS[part].shift) & mask);
}

struct Register {
  const char* name;
  uint8_t selector;
  RegisterPart part;
  // The register code the console uses: part above the 8-bit selector.
  constexpr int code() const { return (int(part) << 8) | selector; }
};

// Lookup order: ER0..ER6, SP, CCR, PC, R0..R7, E0..E7, R0H..R7H, R0L..R7L. The stack pointer is
// looked up as SP; ER7 follows the lookup rows, for listings and displays only.
constexpr int REGISTER_LOOKUP_COUNT = 42;
extern const Register registers[REGISTER_LOOKUP_COUNT + 1];

// Index of a name among the lookup rows (exact comparison), or -1.
int findRegisterIndex(const char* name);
// Register names by an instruction's register field: byte 0..15 (R0H..R7H, R0L..R7L), word 0..15
// (R0..R7, E0..E7), long 0..7 (ER0..ER7).
const char* byteRegisterName(int field);
const char* wordRegisterName(int field);
const char* longRegisterName(int field);

// Stop codes: the exception vector through which the program stopped (the board's monitor owns
// the vector table, so every exception stops the program and is reported), or, from the
// simulated board, a code of its own for what the CPU cannot execute.
constexpr int STOP_UNDEFINED = 4;      // an encoding the CPU does not define (h8sim)
constexpr int STOP_ADDRESS_ERROR = 5;  // an instruction fetch from I/O or unmapped memory (h8sim)
constexpr int STOP_ABORT = 7;          // the abort switch (NMI)
constexpr int STOP_TRAP0 = 8;          // TRAPA #0..#3: 8..11
constexpr int STOP_BREAK = 12;         // the address break
constexpr int STOP_SLEEP = 13;
constexpr int STOP_INTERRUPT_FIRST = 14;  // IRQ0 .. A/D: maskable interrupts, lowest first
constexpr int STOP_INTERRUPT_LAST = 25;
constexpr int STOP_FIRST_NAMED = 8;
constexpr int STOP_LAST_NAMED = 25;
// The name the debugger shows for codes 8..25 ("TRAP 0", "BREAK", "SLEEP", "IRQ0", ...), or
// nullptr outside them.
const char* stopName(int code);

}  // namespace h8

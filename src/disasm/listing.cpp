#include "disasm/listing.h"

#include <cstdarg>
#include <cstdio>

#include "common/bigendian.h"
#include "common/target.h"

namespace h8 {

namespace {

// A field of up to four bytes starting at byte d; bytes beyond the buffer count as 0, so no
// template can read past it.
uint32_t field(const uint8_t* bytes, int d, int width) {
  uint8_t window[4] = {};
  for (int i = 0; i < width; ++i)
    if (d + i < INSTRUCTION_BYTES) window[i] = bytes[d + i];
  uint32_t v = 0;
  for (int i = 0; i < width; ++i) v = (v << 8) | window[i];
  return v;
}

std::string textf(const char* format, ...) H8_PRINTF(1, 2);
std::string textf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(n > 0 ? size_t(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

std::string hex(unsigned long value, int digits) { return textf("%0*lX", digits, value); }

// The directive forms: kind letter, class character, what the field is and how many bytes it
// spans. The nibble forms carry one more character (H: high nibble, else low).
enum class FieldKind { BITS2, BITS3, BYTE, VALUE, DISPLACEMENT, BYTE_REG, WORD_REG, LONG_REG };

struct DirectiveForm {
  char kind;
  char cls;
  FieldKind field;
  int width;
  bool nibble;
};

constexpr DirectiveForm DIRECTIVE_FORMS[] = {
    {'I', '2', FieldKind::BITS2, 1, true},         {'I', '3', FieldKind::BITS3, 1, true},
    {'I', '8', FieldKind::BYTE, 1, false},         {'I', 'B', FieldKind::BYTE, 1, false},
    {'I', 'W', FieldKind::VALUE, 2, false},        {'I', 'T', FieldKind::VALUE, 3, false},
    {'I', 'L', FieldKind::VALUE, 4, false},        {'I', 'Q', FieldKind::VALUE, 4, false},
    {'P', '8', FieldKind::DISPLACEMENT, 1, false}, {'P', 'B', FieldKind::DISPLACEMENT, 1, false},
    {'P', 'W', FieldKind::DISPLACEMENT, 2, false}, {'R', 'B', FieldKind::BYTE_REG, 1, true},
    {'R', 'W', FieldKind::WORD_REG, 1, true},      {'R', 'L', FieldKind::LONG_REG, 1, true},
};

// The form that starts at p, or nullptr when p holds no complete directive.
const DirectiveForm* directiveAt(const char* p) {
  if (p[0] != '%' || p[1] == 0 || p[2] == 0 || p[3] < '0' || p[3] > '9') return nullptr;
  for (const DirectiveForm& form : DIRECTIVE_FORMS)
    if (form.kind == p[1] && form.cls == p[2]) return form.nibble && p[4] == 0 ? nullptr : &form;
  return nullptr;
}

}  // namespace

std::string formatOperands(const char* format, const uint8_t bytes[INSTRUCTION_BYTES],
                           uint32_t nextAddress, uint32_t* reference, bool* referenced) {
  std::string text;
  uint32_t ref = 0;
  bool any = false;
  for (const char* p = format ? format : ""; *p;) {
    const DirectiveForm* form = directiveAt(p);
    if (!form) {
      text += *p++;
      continue;
    }
    const int d = p[3] - '0';
    const uint32_t value = field(bytes, d, form->width);
    const uint32_t nibble = p[4] == 'H' ? value >> 4 : value & 0xF;
    switch (form->field) {
      case FieldKind::BITS2:
        text += hex(nibble & 3, 4);
        break;
      case FieldKind::BITS3:
        text += hex(nibble & 7, 4);
        break;
      case FieldKind::BYTE:
        text += hex(value, 2);
        break;
      case FieldKind::VALUE:
        ref = value;
        any = true;
        text += hex(value, 2 * form->width);
        break;
      case FieldKind::DISPLACEMENT:
        // Branch targets count from the following instruction, in 32-bit arithmetic.
        ref = nextAddress + (form->width == 1 ? signExtend8(value) : signExtend16(value));
        any = true;
        text += hex(ref, 8);
        break;
      case FieldKind::BYTE_REG:
        text += byteRegisterName(nibble);
        break;
      case FieldKind::WORD_REG:
        text += wordRegisterName(nibble);
        break;
      case FieldKind::LONG_REG:
        text += longRegisterName(nibble);
        break;
    }
    p += form->nibble ? 5 : 4;
  }
  if (reference) *reference = ref;
  if (referenced) *referenced = any;
  return text;
}

std::string disassembleOne(uint32_t address, const uint8_t bytes[INSTRUCTION_BYTES],
                           const SymbolTable& symbols, uint32_t* next) {
  const Instruction* entry = findInstruction(bytes);
  const uint32_t following = nextAddress(address, entry);
  if (next) *next = following;
  if (!entry) return "???";

  uint32_t reference = 0;
  bool referenced = false;
  const std::string operands =
      formatOperands(entry->format, bytes, following, &reference, &referenced);
  // Only an operand that really shows an address picks a symbol; a format without one does not
  // look up address 0.
  const char* name = referenced ? symbols.symbolNameAt(reference) : nullptr;

  // Built to its full length, so a long symbol name is shown whole and nothing overflows.
  return name ? textf("%-8s%-24s;%s", entry->mnemonic, operands.c_str(), name)
              : textf("%-8s%-24s", entry->mnemonic, operands.c_str());
}

uint32_t listInstruction(Monitor& monitor, const SymbolTable& symbols, Output& out,
                         uint32_t address) {
  // Cleared first: after a failed read the line shows (and decodes) zeros.
  uint8_t bytes[INSTRUCTION_BYTES] = {};
  monitor.readMem(address, INSTRUCTION_BYTES, bytes);

  out.printf("%06lX ", (unsigned long)address);
  if (const char* label = symbols.symbolNameAt(address)) {
    out.printf("                 %s:\n", label);
    out.printf("%06lX ", (unsigned long)address);
  }

  uint32_t next = 0;
  const std::string text = disassembleOne(address, bytes, symbols, &next);
  const uint32_t words = (next - address) / 2;
  for (uint32_t i = 0; i < 5; ++i) {
    if (i < words)
      out.printf("%02X%02X ", bytes[2 * i], bytes[2 * i + 1]);
    else
      out.puts("     ");
  }
  out.printf("%s\n", text.c_str());
  return next;
}

}  // namespace h8

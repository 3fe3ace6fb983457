#include "disasm/listing.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/bigendian.h"
#include "support/board_line.h"

using namespace h8;
using namespace h8test;

namespace {

struct Listing : MonitorRig {
  SymbolTable symbols;
  const std::string longName = std::string(200, 'n');

  Listing() {
    // clang-format off
    for (const auto& [name, value] : std::vector<std::pair<const char*, uint32_t>>{
             {"buf", 0x1234}, {"second", 0x1234}, {"table", 0xABCDEF}, {"loop", 0x3000},
             {"far", 0xA003}, {"port", 0x80}, {"twelve", 0x12}, {"zero", 0},
             {longName.c_str(), 0x5678}})
      symbols.addSymbol(name, value);
    // clang-format on
  }

  // Lists the instruction that the last line of `expected` shows, from memory holding just the
  // words shown there (zeros after them; an address beyond the board's map gets them as the
  // MEM_READ reply), and checks the printed text, the next address and
  // the one 10-byte MEM_READ.
  void check(const std::string& expected) {
    const size_t start = expected.rfind('\n', expected.size() - 2) + 1;  // npos + 1 is 0
    const uint32_t address = uint32_t(std::stoul(expected.substr(start, 8), nullptr, 16));
    const char* words = expected.c_str() + expected.find(' ', start) + 1;
    Bytes bytes;
    for (int i = 0; i < 5 && words[5 * i] != ' '; i++) {
      const unsigned long w = std::stoul(std::string(words + 5 * i, 4), nullptr, 16);
      bytes.insert(bytes.end(), {uint8_t(w >> 8), uint8_t(w)});
    }
    const uint32_t next = address + uint32_t(bytes.size());
    bytes.resize(10);
    if (address > 0xFFFF) {
      board.failOn(MEM_READ, Fault::Raw, frame(MEM_READ, bytes));  // beyond the board's map
    } else {
      board.setMem(address, bytes);
    }
    board.clearLog();
    out.text.clear();
    EXPECT_EQ(listInstruction(mon, symbols, out, address), next) << expected;
    EXPECT_EQ(out.text, expected);
    Bytes read{MEM_READ, 0, 0, 0, 0, 10};
    store32(&read[1], address);
    EXPECT_EQ(board.requests, std::vector<Bytes>{read}) << expected;
  }
};

}  // namespace

// The fixture's symbols sit at 0, 12, 80, 1234 (two), 3000, 5678, A003 and ABCDEF.
// clang-format off
TEST_F(Listing, GoldenLinesByAddressingMode) {
  for (const char* line : {
    // Register direct and implied. The symbol at 0 is shown only where an operand shows 0.
    "001000 0000                     NOP                             \n",
    "001000 0C9A                     MOV.B   R1L,R2L                 \n",
    "001000 09F3                     ADD.W   E7,R3                   \n",
    "001000 0F95                     MOV.L   ER1,ER5                 \n",
    "001000 7B5C 598F                EEPMOV.B                        \n",
    "000100 7900 0000                MOV.W   #0000:16,R0             ;zero\n",
    // Immediate; 8-bit values never pick a symbol.
    "001000 F812                     MOV.B   #12:8,R0L               \n",
    "001000 A37F                     CMP.B   #7F:8,R3H               \n",
    "001000 7A03 0012 3456           MOV.L   #00123456:32,ER3        \n",
    "001000 792B 8000                CMP.W   #8000:16,E3             \n",
    "001000 5730                     TRAPA   #0003:2                 \n",
    "001000 77F9                     BILD    #0007:3,R1L             \n",
    "001000 7250                     BCLR    #0005,R0H               \n",
    // Register indirect, post-increment and pre-decrement.
    "001000 699A                     MOV.W   E2,@ER1                 \n",
    "001000 0100 6D72                MOV.L   @ER7+,ER2               \n",
    "001000 0100 6DF3                MOV.L   ER3,@-ER7               \n",
    "001000 6D72                     MOV.W   @ER7+,R2                \n",
    "001000 6DF3                     MOV.W   R3,@-ER7                \n",
    // Displacement.
    "001000 6E01 1234                MOV.B   @(1234:16,ER0),R1H      ;buf\n",
    "001000 0100 6F12 FFFE           MOV.L   @(FFFE:16,ER1),ER2      \n",
    "001000 7810 6A2C 0012 3456      MOV.B   @(123456:24,ER1),R4L    \n",
    "001000 7860 6BA9 00AB CDEF      MOV.W   E1,@(ABCDEF:24,ER6)     ;table\n",
    "001000 0100 7810 6B22 0012 3456 MOV.L   @(123456:24,ER1),ER2    \n",
    "001000 0100 7890 6BA4 0012 3456 MOV.L   ER4,@(123456:24,ER1)    \n",
    // As the GNU assembler encodes them.
    "001000 0140 7810 6B20 0012 3456 LDC     @(123456:24,ER1),CCR    \n",
    "001000 0140 7810 6BA0 0012 3456 STC     CCR,@(123456:24,ER1)    \n",
    "001000 6F3A 0012                MOV.W   @(0012:16,ER3),E2       ;twelve\n",
    "001000 6DFB                     MOV.W   E3,@-ER7                \n",
    "001000 7A06 1234 5678           MOV.L   #12345678:32,ER6        \n",
    "001000 7BD4 598F                EEPMOV.W                        \n",
    // Absolute.
    "001000 2A80                     MOV.B   @80:8,R2L               \n",
    "001000 6A2C 0012 3456           MOV.B   @123456:24,R4L          \n",
    "001000 6B80 FF00                MOV.W   R0,@FF00:16             \n",
    "001000 7E40 7350                BTST    #0005:3,@40:8           \n",
    "001000 7F20 7250                BCLR    #0005:3,@20:8           \n",
    "001000 7F20 7257                BCLR    #0005:3,@20:8           \n",
    "001000 5A00 1000                JMP     @001000:24              \n",
    "001000 5F80                     JSR     @@80:8                  \n",
    // Branches: targets count from the next instruction, at both extremes, in 32 bits.
    "002000 40FE                     BRA     00002000                \n",
    "002000 407F                     BRA     00002081                \n",
    "002000 4780                     BEQ     00001F82                \n",
    "002000 5800 FFFC                BRA     00002000                \n",
    "002000 5870 7FFF                BEQ     0000A003                ;far\n",
    "002000 5860 8000                BNE     FFFFA004                \n",
    // A symbol at the address is a label line first; the first of two symbols wins.
    "000000                  zero:\n"
    "000000 4080                     BRA     FFFFFF82                \n",
    "003000                  loop:\n"
    "003000 40FE                     BRA     00003000                ;loop\n",
    "001234                  buf:\n"
    "001234 5E00 1234                JSR     @001234:24              ;buf\n",
    // Unmatched words, and an address wider than six digits.
    "001000 0110                     ???\n",
    "001000 5801                     ???\n",
    "12345678 5470                     RTS                             \n",
  }) check(line);
  check("001000 7900 5678                MOV.W   #5678:16,R0             ;" + longName + "\n");
}
// clang-format on

// The reply carries the bytes but not the MEM_READ code: none of them is shown.
TEST_F(Listing, FailedReadPrintsItsMessageAndALineOfZeros) {
  board.setMem(0x1000, {0x7A, 0x03, 0x00, 0x12, 0x34, 0x56});
  board.fail(Fault::WrongCode);
  EXPECT_EQ(listInstruction(mon, symbols, out, 0x1000), 0x1002u);
  EXPECT_EQ(out.text,
            "readMem:Error.Responce is not MEM_READ. 126\n"
            "001000 0000                     NOP                             \n");
}

TEST(FormatOperands, DirectivesAndTheReferenceAddress) {
  const Bytes ee(10, 0xEE), seq{0x11, 0x22, 0x33, 0x44, 0x55};
  constexpr uint32_t NEXT = 0xFFFFFFF0;  // the base of displacements
  // The format and the instruction's bytes; the operands and the reference address they give.
  const std::tuple<const char*, Bytes, const char*, uint32_t, bool> cases[] = {
      {"%RW1H,%RW1x", {0, 0xC4}, "E4,R4", 0, false},  // any character but H: low nibble
      // %IB, %IL and %PB: accepted forms the table does not use.
      {"%IB1", {0, 0xFF}, "FF", 0, false},
      {"%IL6", {0, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78}, "12345678", 0x12345678, true},
      {"%PB1", {0x40, 0x80}, "FFFFFF70", 0xFFFFFF70, true},
      {"%P81", {0x40, 0x10}, "00000000", 0, true},        // a real reference to 0
      {"%IW0,%IT2", seq, "1122,334455", 0x334455, true},  // the last one counts
      {"%IT2,%IW0,%I84", seq, "334455,1122,55", 0x1122, true},
      // Bytes past the tenth read as 0.
      {"%IL8", ee, "EEEE0000", 0xEEEE0000, true},
      {"%PW9", ee, "FFFFEDF0", 0xFFFFEDF0, true},  // EE00 is -1200
      // Malformed directives are copied as they stand.
      {nullptr, {}, "", 0, false},
      {"100%", {1}, "100%", 0, false},
      {"%I", {1}, "%I", 0, false},
      {"%ZZ0,%IZ1,%IWx,%IW", {1}, "%ZZ0,%IZ1,%IWx,%IW", 0, false},
      {"%RB0", {0x12}, "%RB0", 0, false},  // nibble character missing at the end
      {"%%I80", {0x12}, "%12", 0, false},
      {"@(%IW0:16,CCR)", {0xBE, 0xEF}, "@(BEEF:16,CCR)", 0xBEEF, true},
  };
  for (const auto& [format, bytes, text, reference, referenced] : cases) {
    SCOPED_TRACE(text);
    uint8_t b[INSTRUCTION_BYTES] = {};
    std::copy(bytes.begin(), bytes.end(), b);
    uint32_t shownReference = 1;
    bool shown = !referenced;
    EXPECT_EQ(formatOperands(format, b, NEXT, &shownReference, &shown), text);
    EXPECT_EQ(shownReference, reference);
    EXPECT_EQ(shown, referenced);
  }
}

#include "disasm/listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_board.h"

using namespace h8;
using namespace h8test;

namespace {

struct Golden {
  uint32_t address;
  Bytes bytes;  // the whole instruction; its length sets the expected next address
  const char* line;
};

struct ListingTest : ::testing::Test {
  FakeBoard board;
  StringOutput out;
  Link link{board, out};
  Monitor mon{link};
  SymbolTable symbols;

  // Lists one instruction at `address` from fresh memory and checks the printed text, the one
  // 10-byte MEM_READ it took and the address returned.
  void expectLine(uint32_t address, const Bytes& bytes, const std::string& line,
                  uint32_t expectedNext) {
    board.setMem(address, Bytes(10, 0));
    board.setMem(address, bytes);
    board.clearLog();
    out.text.clear();
    const uint32_t next = listInstruction(mon, symbols, out, address);
    EXPECT_EQ(out.text, line);
    EXPECT_EQ(next, expectedNext) << line;
    ASSERT_EQ(board.requests.size(), 1u) << line;
    EXPECT_EQ(board.requests[0], (Bytes{MEM_READ, uint8_t(address >> 24), uint8_t(address >> 16),
                                        uint8_t(address >> 8), uint8_t(address), 10}));
  }

  void check(const std::vector<Golden>& cases) {
    for (const Golden& g : cases)
      expectLine(g.address, g.bytes, g.line, g.address + uint32_t(g.bytes.size()));
  }
};

using GoldenListing = ListingTest;

std::string operands(const char* format, const Bytes& bytes, uint32_t next = 0,
                     uint32_t* reference = nullptr, bool* referenced = nullptr) {
  uint8_t b[INSTRUCTION_BYTES] = {};
  for (size_t i = 0; i < bytes.size() && i < INSTRUCTION_BYTES; i++) b[i] = bytes[i];
  return formatOperands(format, b, next, reference, referenced);
}

}  // namespace

// ---- Golden listing lines, by addressing mode ----

TEST_F(GoldenListing, RegisterDirectAndImplied) {
  check({
      {0x1000, {0x00, 0x00}, "001000 0000                     NOP                             \n"},
      {0x1000, {0x54, 0x70}, "001000 5470                     RTS                             \n"},
      {0x1000, {0x01, 0x80}, "001000 0180                     SLEEP                           \n"},
      {0x1000, {0x0C, 0x9A}, "001000 0C9A                     MOV.B   R1L,R2L                 \n"},
      {0x1000, {0x09, 0xF3}, "001000 09F3                     ADD.W   E7,R3                   \n"},
      {0x1000, {0x0F, 0x95}, "001000 0F95                     MOV.L   ER1,ER5                 \n"},
      {0x1000,
       {0x01, 0xF0, 0x66, 0x23},
       "001000 01F0 6623                AND.L   ER2,ER3                 \n"},
      {0x1000, {0x0B, 0x97}, "001000 0B97                     ADDS    #4,ER7                  \n"},
      {0x1000, {0x0B, 0xF5}, "001000 0BF5                     INC.L   #2,ER5                  \n"},
      {0x1000, {0x17, 0xD4}, "001000 17D4                     EXTS.W  R4                      \n"},
      {0x1000,
       {0x01, 0xC0, 0x50, 0x3C},
       "001000 01C0 503C                MULXS.B R3H,E4                  \n"},
      {0x1000,
       {0x01, 0xD0, 0x53, 0xA6},
       "001000 01D0 53A6                DIVXS.W E2,ER6                  \n"},
      {0x1000, {0x02, 0x0B}, "001000 020B                     STC     CCR,R3L                 \n"},
      {0x1000, {0x03, 0x0B}, "001000 030B                     LDC     R3L,CCR                 \n"},
      {0x1000,
       {0x7B, 0x5C, 0x59, 0x8F},
       "001000 7B5C 598F                EEPMOV.B                        \n"},
      {0x1000,
       {0x7B, 0xD4, 0x59, 0x8F},
       "001000 7BD4 598F                EEPMOV.W                        \n"},
      {0x1000, {0x60, 0x4D}, "001000 604D                     BSET    R4H,R5L                 \n"},
  });
}

TEST_F(GoldenListing, Immediate) {
  check({
      {0x1000, {0xF8, 0x12}, "001000 F812                     MOV.B   #12:8,R0L               \n"},
      {0x1000, {0xA3, 0x7F}, "001000 A37F                     CMP.B   #7F:8,R3H               \n"},
      {0x1000, {0xD5, 0x12}, "001000 D512                     XOR.B   #12:8,R5H               \n"},
      {0x1000, {0xB5, 0x12}, "001000 B512                     SUBX    #12:8,R5H               \n"},
      {0x1000, {0x04, 0x80}, "001000 0480                     ORC     #80:8,CCR               \n"},
      {0x1000,
       {0x7A, 0x03, 0x00, 0x12, 0x34, 0x56},
       "001000 7A03 0012 3456           MOV.L   #00123456:32,ER3        \n"},
      {0x1000,
       {0x7A, 0x17, 0xFF, 0xFF, 0xFF, 0xFF},
       "001000 7A17 FFFF FFFF           ADD.L   #FFFFFFFF:32,ER7        \n"},
      {0x1000,
       {0x79, 0x2B, 0x80, 0x00},
       "001000 792B 8000                CMP.W   #8000:16,E3             \n"},
      {0x1000, {0x57, 0x30}, "001000 5730                     TRAPA   #0003:2                 \n"},
      {0x1000, {0x70, 0x58}, "001000 7058                     BSET    #0005:3,R0L             \n"},
      {0x1000, {0x77, 0xF9}, "001000 77F9                     BILD    #0007:3,R1L             \n"},
      {0x1000, {0x76, 0x9A}, "001000 769A                     BIAND   #0001:3,R2L             \n"},
      {0x1000, {0x72, 0x50}, "001000 7250                     BCLR    #0005,R0H               \n"},
  });
}

TEST_F(GoldenListing, RegisterIndirect) {
  check({
      {0x1000, {0x68, 0x1A}, "001000 681A                     MOV.B   @ER1,R2L                \n"},
      {0x1000, {0x69, 0x9A}, "001000 699A                     MOV.W   E2,@ER1                 \n"},
      {0x1000,
       {0x01, 0x00, 0x69, 0x25},
       "001000 0100 6925                MOV.L   @ER2,ER5                \n"},
      {0x1000,
       {0x01, 0x40, 0x69, 0x40},
       "001000 0140 6940                LDC     @ER4,CCR                \n"},
      {0x1000, {0x5D, 0x50}, "001000 5D50                     JSR     @ER5                    \n"},
      {0x1000, {0x59, 0x30}, "001000 5930                     JMP     @ER3                    \n"},
      {0x1000,
       {0x7C, 0x30, 0x63, 0x40},
       "001000 7C30 6340                BTST    R4H,@ER3                \n"},
      {0x1000,
       {0x7D, 0x20, 0x70, 0x60},
       "001000 7D20 7060                BSET    #0006:3,@ER2            \n"},
  });
}

TEST_F(GoldenListing, PostIncrementAndPreDecrement) {
  check({
      {0x1000,
       {0x01, 0x00, 0x6D, 0x72},
       "001000 0100 6D72                MOV.L   @ER7+,ER2               \n"},
      {0x1000,
       {0x01, 0x00, 0x6D, 0xF3},
       "001000 0100 6DF3                MOV.L   ER3,@-ER7               \n"},
      {0x1000, {0x6D, 0x72}, "001000 6D72                     MOV.W   @ER7+,R2                \n"},
      {0x1000, {0x6D, 0xF3}, "001000 6DF3                     MOV.W   R3,@-ER7                \n"},
      {0x1000, {0x6C, 0x9A}, "001000 6C9A                     MOV.B   R2L,@-ER1               \n"},
      {0x1000,
       {0x01, 0x40, 0x6D, 0x30},
       "001000 0140 6D30                LDC     @ER3+,CCR               \n"},
  });
}

TEST_F(GoldenListing, Displacement) {
  check({
      {0x1000,
       {0x6E, 0x01, 0x12, 0x34},
       "001000 6E01 1234                MOV.B   @(1234:16,ER0),R1H      \n"},
      {0x1000,
       {0x6F, 0xF8, 0xFF, 0xFE},
       "001000 6FF8 FFFE                MOV.W   E0,@(FFFE:16,ER7)       \n"},
      {0x1000,
       {0x01, 0x00, 0x6F, 0x12, 0xFF, 0xFE},
       "001000 0100 6F12 FFFE           MOV.L   @(FFFE:16,ER1),ER2      \n"},
      {0x1000,
       {0x78, 0x10, 0x6A, 0x2C, 0x00, 0x12, 0x34, 0x56},
       "001000 7810 6A2C 0012 3456      MOV.B   @(123456:24,ER1),R4L    \n"},
      {0x1000,
       {0x78, 0x60, 0x6B, 0xA9, 0x00, 0xAB, 0xCD, 0xEF},
       "001000 7860 6BA9 00AB CDEF      MOV.W   E1,@(ABCDEF:24,ER6)     \n"},
      {0x1000,
       {0x01, 0x00, 0x78, 0x10, 0x6B, 0x22, 0x00, 0x12, 0x34, 0x56},
       "001000 0100 7810 6B22 0012 3456 MOV.L   @(123456:24,ER1),ER2    \n"},
      {0x1000,
       {0x01, 0x00, 0x78, 0x90, 0x6B, 0xA4, 0x00, 0x12, 0x34, 0x56},
       "001000 0100 7890 6BA4 0012 3456 MOV.L   ER4,@(123456:24,ER1)    \n"},
      {0x1000,
       {0x01, 0x40, 0x78, 0x30, 0x6B, 0xA0, 0x00, 0x00, 0x00, 0x40},
       "001000 0140 7830 6BA0 0000 0040 STC     CCR,@(000040:24,ER3)    \n"},
  });
}

TEST_F(GoldenListing, Absolute) {
  check({
      {0x1000, {0x2A, 0x80}, "001000 2A80                     MOV.B   @80:8,R2L               \n"},
      {0x1000, {0x3C, 0xFF}, "001000 3CFF                     MOV.B   R4L,@FF:8               \n"},
      {0x1000,
       {0x6A, 0x2C, 0x00, 0x12, 0x34, 0x56},
       "001000 6A2C 0012 3456           MOV.B   @123456:24,R4L          \n"},
      {0x1000,
       {0x6B, 0x80, 0xFF, 0x00},
       "001000 6B80 FF00                MOV.W   R0,@FF00:16             \n"},
      {0x1000,
       {0x01, 0x00, 0x6B, 0x23, 0x00, 0x00, 0x12, 0x34},
       "001000 0100 6B23 0000 1234      MOV.L   @001234:24,ER3          \n"},
      {0x1000,
       {0x01, 0x40, 0x6B, 0x00, 0xFF, 0x10},
       "001000 0140 6B00 FF10           LDC     @FF10:16,CCR            \n"},
      {0x1000,
       {0x6A, 0x40, 0xFF, 0xF0},
       "001000 6A40 FFF0                MOVFPE  @FFF0:16,R0H            \n"},
      {0x1000,
       {0x7E, 0x40, 0x73, 0x50},
       "001000 7E40 7350                BTST    #0005:3,@40:8           \n"},
      {0x1000,
       {0x7F, 0x20, 0x72, 0x50},
       "001000 7F20 7250                BCLR    #0005:3,@20:8           \n"},
      {0x1000,
       {0x7F, 0x20, 0x72, 0x57},
       "001000 7F20 7257                BCLR    #0005:3,@20:8           \n"},
      {0x1000,
       {0x7F, 0xF0, 0x60, 0x30},
       "001000 7FF0 6030                BSET    R3H,@F0:8               \n"},
      {0x1000,
       {0x5A, 0x00, 0x10, 0x00},
       "001000 5A00 1000                JMP     @001000:24              \n"},
      {0x1000, {0x5F, 0x80}, "001000 5F80                     JSR     @@80:8                  \n"},
  });
}

TEST_F(GoldenListing, BranchDisplacements) {
  check({
      {0x2000, {0x40, 0xFE}, "002000 40FE                     BRA     00002000                \n"},
      {0x2000, {0x40, 0x7F}, "002000 407F                     BRA     00002081                \n"},
      {0x2000, {0x47, 0x80}, "002000 4780                     BEQ     00001F82                \n"},
      {0x2000, {0x55, 0x10}, "002000 5510                     BSR     00002012                \n"},
      {0x2000,
       {0x58, 0x00, 0xFF, 0xFC},
       "002000 5800 FFFC                BRA     00002000                \n"},
      {0x2000,
       {0x58, 0x70, 0x7F, 0xFF},
       "002000 5870 7FFF                BEQ     0000A003                \n"},
      {0x2000,
       {0x58, 0x60, 0x80, 0x00},
       "002000 5860 8000                BNE     FFFFA004                \n"},
      {0x2000,
       {0x5C, 0x00, 0x00, 0x10},
       "002000 5C00 0010                BSR     00002014                \n"},
      {0x0, {0x40, 0x80}, "000000 4080                     BRA     FFFFFF82                \n"},
  });
}

TEST_F(GoldenListing, UnmatchedWords) {
  check({
      {0x1000, {0x01, 0x10}, "001000 0110                     ???\n"},
      {0x1000, {0x7B, 0x00}, "001000 7B00                     ???\n"},
      {0x1000, {0x58, 0x01}, "001000 5801                     ???\n"},
  });
}

// ---- Labels and symbol comments ----

TEST_F(ListingTest, SymbolAtTheReferencedValueIsShownAfterTheOperandField) {
  symbols.addSymbol("buf", 0x1234);
  symbols.addSymbol("table", 0x123456);
  expectLine(0x1000, {0x79, 0x00, 0x12, 0x34},
             "001000 7900 1234                MOV.W   #1234:16,R0             ;buf\n", 0x1004);
  expectLine(0x1000, {0x6A, 0x2C, 0x00, 0x12, 0x34, 0x56},
             "001000 6A2C 0012 3456           MOV.B   @123456:24,R4L          ;table\n", 0x1006);
  expectLine(0x1000, {0x6E, 0x01, 0x12, 0x34},
             "001000 6E01 1234                MOV.B   @(1234:16,ER0),R1H      ;buf\n", 0x1004);
}

TEST_F(ListingTest, LabelLineComesFirstAndBranchTargetGetsTheComment) {
  symbols.addSymbol("loop", 0x2000);
  expectLine(0x2000, {0x40, 0xFE},
             "002000                  loop:\n"
             "002000 40FE                     BRA     00002000                ;loop\n",
             0x2002);
  symbols.addSymbol("far", 0xA003);
  expectLine(0x2000, {0x58, 0x70, 0x7F, 0xFF},
             "002000                  loop:\n"
             "002000 5870 7FFF                BEQ     0000A003                ;far\n",
             0x2004);
}

TEST_F(ListingTest, JsrToItsOwnLabel) {
  symbols.addSymbol("main", 0x1000);
  expectLine(0x1000, {0x5E, 0x00, 0x10, 0x00},
             "001000                  main:\n"
             "001000 5E00 1000                JSR     @001000:24              ;main\n",
             0x1004);
}

TEST_F(ListingTest, EightBitFieldsAndRegistersNeverPickASymbol) {
  symbols.addSymbol("port", 0x80);
  symbols.addSymbol("twelve", 0x12);
  expectLine(0x1000, {0x2A, 0x80},
             "001000 2A80                     MOV.B   @80:8,R2L               \n", 0x1002);
  expectLine(0x1000, {0xF8, 0x12},
             "001000 F812                     MOV.B   #12:8,R0L               \n", 0x1002);
}

TEST_F(ListingTest, SymbolAtZeroOnlyWhenAnOperandReallyRefersToZero) {
  symbols.addSymbol("zero", 0);
  expectLine(0x100, {0x0C, 0x9A},
             "000100 0C9A                     MOV.B   R1L,R2L                 \n", 0x102);
  expectLine(0x100, {0x00, 0x00},
             "000100 0000                     NOP                             \n", 0x102);
  expectLine(0x100, {0x79, 0x00, 0x00, 0x00},
             "000100 7900 0000                MOV.W   #0000:16,R0             ;zero\n", 0x104);
  expectLine(0x100, {0x01, 0x10}, "000100 0110                     ???\n", 0x102);
}

TEST_F(ListingTest, FirstSymbolAtAnAddressWins) {
  symbols.addSymbol("first", 0x1234);
  symbols.addSymbol("second", 0x1234);
  expectLine(0x1234, {0x79, 0x00, 0x12, 0x34},
             "001234                  first:\n"
             "001234 7900 1234                MOV.W   #1234:16,R0             ;first\n",
             0x1238);
}

TEST_F(ListingTest, LongSymbolNameIsPrintedWhole) {
  const std::string name(200, 'n');
  symbols.addSymbol(name.c_str(), 0x1234);
  expectLine(0x1000, {0x79, 0x00, 0x12, 0x34},
             "001000 7900 1234                MOV.W   #1234:16,R0             ;" + name + "\n",
             0x1004);
}

// ---- The listing line ----

TEST_F(ListingTest, AddressWiderThanSixDigitsIsPrintedWhole) {
  expectLine(0x12345678, {0x54, 0x70},
             "12345678 5470                     RTS                             \n", 0x1234567A);
}

TEST_F(ListingTest, FailedReadPrintsTheMessageAndALineOfZeros) {
  board.setMem(0x1000, {0x54, 0x70});
  board.fail(Fault::BadEtx);
  EXPECT_EQ(listInstruction(mon, symbols, out, 0x1000), 0x1002u);
  EXPECT_EQ(board.requests.size(), 1u);
  EXPECT_EQ(out.text,
            "readMem:Error receivePacket()=-4\n"
            "001000 0000                     NOP                             \n");
}

TEST_F(ListingTest, WrongReplyAlsoLeavesZeros) {
  board.setMem(0x1000, {0x7A, 0x03, 0x00, 0x12, 0x34, 0x56});
  board.fail(Fault::WrongCode);
  EXPECT_EQ(listInstruction(mon, symbols, out, 0x1000), 0x1002u);
  EXPECT_EQ(out.text,
            "readMem:Error.Responce is not MEM_READ. 126\n"
            "001000 0000                     NOP                             \n");
}

TEST_F(ListingTest, ConsecutiveLinesReadOverlappingBytesOneRequestEach) {
  board.setMem(0x3000, {0x79, 0x00, 0x12, 0x34, 0x01, 0x10, 0x40, 0xF8, 0x54, 0x70});
  uint32_t a = 0x3000;
  for (int i = 0; i < 4; i++) a = listInstruction(mon, symbols, out, a);
  EXPECT_EQ(a, 0x300Au);
  EXPECT_EQ(out.text,
            "003000 7900 1234                MOV.W   #1234:16,R0             \n"
            "003004 0110                     ???\n"
            "003006 40F8                     BRA     00003000                \n"
            "003008 5470                     RTS                             \n");
  ASSERT_EQ(board.requests.size(), 4u);
  EXPECT_EQ(board.requests[1], (Bytes{MEM_READ, 0, 0, 0x30, 0x04, 10}));
  EXPECT_EQ(board.requests[3], (Bytes{MEM_READ, 0, 0, 0x30, 0x08, 10}));
}

// ---- One instruction's text ----

TEST(DisassembleOne, PadsMnemonicAndOperandsAndLetsLongOnesPush) {
  SymbolTable none;
  uint8_t eep[INSTRUCTION_BYTES] = {0x7B, 0x5C, 0x59, 0x8F};
  uint32_t next = 0;
  EXPECT_EQ(disassembleOne(0x1000, eep, none, &next), "EEPMOV.B" + std::string(24, ' '));
  EXPECT_EQ(next, 0x1004u);
  uint8_t st[INSTRUCTION_BYTES] = {0x01, 0x00, 0x78, 0x90, 0x6B, 0xA4, 0x00, 0x12, 0x34, 0x56};
  EXPECT_EQ(disassembleOne(0, st, none, &next), "MOV.L   ER4,@(123456:24,ER1)    ");
  EXPECT_EQ(next, 10u);
  uint8_t bad[INSTRUCTION_BYTES] = {0x7B, 0x00};
  EXPECT_EQ(disassembleOne(0x20, bad, none, &next), "???");
  EXPECT_EQ(next, 0x22u);
}

// ---- Operand format language ----

TEST(FormatOperands, RegisterDirectivesUseTheNamedNibble) {
  EXPECT_EQ(operands("%RB0H,%RB0L", {0x9E}), "R1L,R6L");
  EXPECT_EQ(operands("%RB0H,%RB0L", {0x07}), "R0H,R7H");
  EXPECT_EQ(operands("%RW1H,%RW1x", {0, 0xC4}), "E4,R4");  // any non-H character: low nibble
  EXPECT_EQ(operands("%RL2H,%RL2L", {0, 0, 0xF9}), "ER7,ER1");
}

TEST(FormatOperands, RegisterNameTables) {
  EXPECT_STREQ(byteRegNames[9], "R1L");
  EXPECT_STREQ(byteRegNames[7], "R7H");
  EXPECT_STREQ(wordRegNames[12], "E4");
  EXPECT_STREQ(wordRegNames[3], "R3");
  EXPECT_STREQ(longRegNames[7], "ER7");
}

TEST(FormatOperands, SmallImmediatesTakeTheLowBitsOfANibble) {
  EXPECT_EQ(operands("#%I20H:2", {0xF0}), "#0003:2");
  EXPECT_EQ(operands("#%I30H:3", {0xF0}), "#0007:3");
  EXPECT_EQ(operands("#%I31L", {0, 0x0D}), "#0005");
}

TEST(FormatOperands, ImmediatesAndAbsolutesAndTheirAlternateForms) {
  uint32_t ref = 1;
  bool referenced = true;
  EXPECT_EQ(operands("#%I81:8", {0, 0x0A}, 0, &ref, &referenced), "#0A:8");
  EXPECT_EQ(ref, 0u);
  EXPECT_FALSE(referenced);
  EXPECT_EQ(operands("%IB1", {0, 0xFF}), "FF");
  EXPECT_EQ(operands("%IW2", {0, 0, 0xAB, 0xCD}, 0, &ref, &referenced), "ABCD");
  EXPECT_EQ(ref, 0xABCDu);
  EXPECT_TRUE(referenced);
  EXPECT_EQ(operands("%IT1", {0, 0x01, 0x02, 0x03}, 0, &ref), "010203");
  EXPECT_EQ(ref, 0x010203u);
  EXPECT_EQ(operands("%IQ2", {0, 0, 0x89, 0xAB, 0xCD, 0xEF}, 0, &ref), "89ABCDEF");
  EXPECT_EQ(ref, 0x89ABCDEFu);
  EXPECT_EQ(operands("%IL6", {0, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78}, 0, &ref), "12345678");
  EXPECT_EQ(ref, 0x12345678u);
}

TEST(FormatOperands, DisplacementsCountFromTheNextAddressIn32Bits) {
  uint32_t ref = 0;
  EXPECT_EQ(operands("%P81", {0x40, 0x7F}, 0x1002, &ref), "00001081");
  EXPECT_EQ(ref, 0x1081u);
  EXPECT_EQ(operands("%PB1", {0x40, 0x80}, 0x1002, &ref), "00000F82");
  EXPECT_EQ(operands("%PW2", {0x58, 0, 0x7F, 0xFF}, 0x1004, &ref), "00009003");
  EXPECT_EQ(operands("%PW2", {0x58, 0, 0x80, 0x00}, 0x1004, &ref), "FFFF9004");
  EXPECT_EQ(ref, 0xFFFF9004u);
  EXPECT_EQ(operands("%P81", {0x40, 0x02}, 0xFFFFFFFE, &ref), "00000000");
}

TEST(FormatOperands, LastReferenceWins) {
  uint32_t ref = 0;
  EXPECT_EQ(operands("%IW0,%IT2", {0x11, 0x22, 0x33, 0x44, 0x55}, 0, &ref), "1122,334455");
  EXPECT_EQ(ref, 0x334455u);
  EXPECT_EQ(operands("%IT2,%IW0,%I84", {0x11, 0x22, 0x33, 0x44, 0x55}, 0, &ref), "334455,1122,55");
  EXPECT_EQ(ref, 0x1122u);
}

TEST(FormatOperands, FieldsPastTheTenthByteReadAsZero) {
  const Bytes all(10, 0xEE);
  uint32_t ref = 0;
  EXPECT_EQ(operands("%IL8", all, 0, &ref), "EEEE0000");
  EXPECT_EQ(ref, 0xEEEE0000u);
  EXPECT_EQ(operands("%IT9", all), "EE0000");
  EXPECT_EQ(operands("%PW9", all, 0x100), "FFFFEF00");  // EE00 counts as -1200
}

TEST(FormatOperands, MalformedDirectivesAreCopiedAsTheyStand) {
  EXPECT_EQ(operands("", {}), "");
  EXPECT_EQ(operands(nullptr, {}), "");
  EXPECT_EQ(operands("100%", {1}), "100%");
  EXPECT_EQ(operands("%I", {1}), "%I");
  EXPECT_EQ(operands("%IW", {1}), "%IW");
  EXPECT_EQ(operands("%IWx", {1}), "%IWx");
  EXPECT_EQ(operands("%ZZ0,%IZ1", {1, 2}), "%ZZ0,%IZ1");
  EXPECT_EQ(operands("%RB0", {0x12}), "%RB0");  // nibble character missing at the end
  EXPECT_EQ(operands("%%I80", {0x12}), "%12");
  EXPECT_EQ(operands("@(%IW0:16,CCR)", {0xBE, 0xEF}), "@(BEEF:16,CCR)");
}

TEST(FormatOperands, EveryTableFormatExpandsWithoutLeftoverDirectives) {
  const uint8_t bytes[INSTRUCTION_BYTES] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                            0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  for (int i = 0; i < INSTRUCTION_COUNT; i++) {
    uint32_t ref = 0;
    const std::string text = formatOperands(instructionTable[i].format, bytes, 0, &ref);
    EXPECT_EQ(text.find('%'), std::string::npos) << "entry " << i + 1 << ": " << text;
    EXPECT_LE(text.size(), 63u) << "entry " << i + 1;
  }
}

#include "expr/expr.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_board.h"

using namespace h8;
using namespace h8test;

namespace {

struct ExprTest : ::testing::Test {
  FakeBoard board;
  StringOutput out;
  Link link{board, out};
  Monitor mon{link};
  SymbolTable symbols;
  Evaluator ev{mon, symbols, out};

  uint32_t eval(const std::string& text) { return ev.evalExpression(text.c_str()); }
  // The value of an evaluation that must succeed.
  uint32_t ok(const std::string& text) {
    uint32_t v = eval(text);
    EXPECT_FALSE(ev.exprError) << text;
    return v;
  }
  // An evaluation that must fail: the result is then always 0xFFFFFFFF.
  void fails(const std::string& text) {
    EXPECT_EQ(eval(text), 0xFFFFFFFFu) << text;
    EXPECT_TRUE(ev.exprError) << text;
  }
  static Bytes regRead(uint8_t selector) { return {REG_READ, selector}; }
  static Bytes memRead(uint32_t a) {
    return {MEM_READ, uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a), 4};
  }
};

// --- Literals ---

TEST_F(ExprTest, DigitsOnlyAreDecimalLettersOrPrefixMakeHex) {
  EXPECT_EQ(ok("10"), 10u);
  EXPECT_EQ(ok("1000"), 1000u);
  EXPECT_EQ(ok("0x10"), 0x10u);
  EXPECT_EQ(ok("0X10"), 0x10u);
  EXPECT_EQ(ok("10A"), 0x10Au);
  EXPECT_EQ(ok("1a"), 0x1Au);
  EXPECT_EQ(ok("1A00"), 0x1A00u);
  EXPECT_EQ(ok("0x"), 0u);
  EXPECT_EQ(ok("0"), 0u);
  EXPECT_EQ(ok("010"), 10u);
}

TEST_F(ExprTest, HexSaturatesAtSevenFs) {
  EXPECT_EQ(ok("FFFFFFFF"), 0x7FFFFFFFu);
  EXPECT_EQ(ok("0xFFFFFFFF"), 0x7FFFFFFFu);
  EXPECT_EQ(ok("0x80000000"), 0x7FFFFFFFu);
  EXPECT_EQ(ok("7FFFFFFF"), 0x7FFFFFFFu);
  EXPECT_EQ(ok("0x123456789ABCDEF"), 0x7FFFFFFFu);
  EXPECT_EQ(ok("0x000000000000000012345678"), 0x12345678u);
  EXPECT_EQ(ok("ffffffff"), 0x7FFFFFFFu);
}

TEST_F(ExprTest, DecimalAccumulatesModulo2To32) {
  EXPECT_EQ(ok("4294967295"), 0xFFFFFFFFu);
  EXPECT_EQ(ok("4294967296"), 0u);
  EXPECT_EQ(ok("4294967297"), 1u);
  EXPECT_EQ(ok("2147483648"), 0x80000000u);
}

TEST_F(ExprTest, IdentifierOfHexDigitsIsANumberUnlessASymbol) {
  EXPECT_EQ(ok("FF"), 255u);
  EXPECT_EQ(ok("abc"), 0xABCu);
  EXPECT_EQ(ok("dEaD"), 0xDEADu);
  ASSERT_TRUE(symbols.addSymbol("FF", 0x4000));
  ASSERT_TRUE(symbols.addSymbol("FF", 0x5000));
  ASSERT_TRUE(symbols.addSymbol("ff", 0x6000));
  EXPECT_EQ(ok("FF"), 0x4000u);
  EXPECT_EQ(ok("ff"), 0x6000u);
  EXPECT_EQ(ok("Ff"), 0xFFu);
}

TEST_F(ExprTest, SymbolNamesStandForTheirAddresses) {
  ASSERT_TRUE(symbols.addSymbol("_main", 0x1000));
  ASSERT_TRUE(symbols.addSymbol("buffer", 0xFB80));
  EXPECT_EQ(ok("_main+4"), 0x1004u);
  EXPECT_EQ(ok("buffer-_main"), 0xEB80u);
  fails("_Main");
}

TEST_F(ExprTest, UnknownIdentifiersFail) {
  fails("G1");
  fails("_F");
  fails("x");
  fails("MEMB(10)");  // function names are case-sensitive
  EXPECT_TRUE(board.sent.empty());
  EXPECT_EQ(out.text, "");
}

TEST_F(ExprTest, FunctionNameWinsOverASymbolOfTheSameName) {
  ASSERT_TRUE(symbols.addSymbol("memB", 0x50));
  fails("memB");
  EXPECT_EQ(out.text, "Error. memB() can not find parameter\n");
  ASSERT_TRUE(symbols.addSymbol("MEMB", 0x60));
  EXPECT_EQ(ok("MEMB"), 0x60u);
}

// --- Arithmetic ---

TEST_F(ExprTest, ProductBindsTighterAndBothLevelsAreLeftAssociative) {
  EXPECT_EQ(ok("2+3*4"), 14u);
  EXPECT_EQ(ok("(2+3)*4"), 20u);
  EXPECT_EQ(ok("2*3+4*5"), 26u);
  EXPECT_EQ(ok("10-2-3"), 5u);
  EXPECT_EQ(ok("100/10/5"), 2u);
  EXPECT_EQ(ok("7/2"), 3u);
  EXPECT_EQ(ok("((1))"), 1u);
}

TEST_F(ExprTest, AddAndSubtractWrap) {
  EXPECT_EQ(ok("0-1"), 0xFFFFFFFFu);
  EXPECT_EQ(ok("4294967295+2"), 1u);
  EXPECT_EQ(ok("0-4294967295"), 1u);
}

TEST_F(ExprTest, MultiplyAndDivideAreSigned32Bit) {
  EXPECT_EQ(ok("(0-7)/2"), 0xFFFFFFFDu);
  EXPECT_EQ(ok("7/(0-2)"), 0xFFFFFFFDu);
  EXPECT_EQ(ok("(0-7)/(0-2)"), 3u);
  EXPECT_EQ(ok("(0-2)*3"), 0xFFFFFFFAu);
  EXPECT_EQ(ok("10000*10000*100"), 0x540BE400u);
  EXPECT_EQ(ok("4294967295/2"), 0u);  // -1 / 2
  EXPECT_EQ(ok("2147483648/(0-1)"), 0x80000000u);
  EXPECT_EQ(ok("2147483648*(0-1)"), 0x80000000u);
}

TEST_F(ExprTest, DivisionByZeroIsAnError) {
  fails("5/0");
  fails("5/(1-1)");
  fails("0/0");
  EXPECT_EQ(out.text, "");
}

// --- Syntax errors and the end of the sum ---

TEST_F(ExprTest, NoUnaryOperators) {
  fails("-1");
  fails("+1");
  fails("2*-3");
  fails("2+*3");
}

TEST_F(ExprTest, MissingOperandOrParenthesisFailsSilently) {
  fails("");
  fails("2*");
  fails("(1+2");
  fails("()");
  fails(")");
  EXPECT_EQ(out.text, "");
}

TEST_F(ExprTest, TokenThatCannotContinueEndsTheSumWithoutError) {
  EXPECT_EQ(ok("10)"), 10u);
  EXPECT_EQ(ok("1G"), 1u);
  EXPECT_EQ(ok("2(3)"), 2u);
  EXPECT_EQ(ok("2)@pc"), 2u);
  EXPECT_TRUE(board.sent.empty());
}

TEST_F(ExprTest, BlanksAndTabsBetweenTokensAreSkipped) {
  EXPECT_EQ(ok(" 1 +\t2 * 3 "), 7u);
  EXPECT_EQ(ok("\t( 4 )"), 4u);
}

TEST_F(ExprTest, BadCharacterIsAStickyError) {
  fails("1$2");
  fails("1$+@pc");
  fails("1.5");
  fails("\xA0");
  EXPECT_TRUE(board.sent.empty());  // nothing after the bad character is read
}

TEST_F(ExprTest, OtherErrorsStillReadLaterRegisters) {
  board.regs[REG_PC] = 0x1234;
  fails("G1+@pc");
  EXPECT_EQ(board.requests, (std::vector<Bytes>{regRead(REG_PC)}));
}

TEST_F(ExprTest, EachEvaluationStartsFresh) {
  fails("1$");
  EXPECT_EQ(ok("5"), 5u);
  EXPECT_EQ(ok("10)"), 10u);  // leaves ")" in the push-back slot
  EXPECT_EQ(ok("6"), 6u);
  fails("(");
  EXPECT_EQ(ok("7"), 7u);
  EXPECT_EQ(ev.evalExpression(nullptr), 0xFFFFFFFFu);
  EXPECT_TRUE(ev.exprError);
}

TEST_F(ExprTest, TokensUpTo63CharactersAreKept) {
  EXPECT_EQ(ok(std::string(62, '0') + "7"), 7u);
  std::string name(63, 'n');
  ASSERT_TRUE(symbols.addSymbol(name.c_str(), 0x7000));
  EXPECT_EQ(ok(name + "+1"), 0x7001u);
}

TEST_F(ExprTest, LongerTokensFailButAreConsumedWhole) {
  fails(std::string(63, '0') + "7");
  fails("0x" + std::string(100, '0') + "1");
  fails(std::string(64, 'n'));
  fails("@" + std::string(300, 'p'));
  // The parse goes on after the long run: the register after it is still read.
  fails(std::string(64, 'a') + "+@pc");
  EXPECT_EQ(board.requests, (std::vector<Bytes>{regRead(REG_PC)}));
}

TEST_F(ExprTest, NestingIsBoundedAt256Sums) {
  EXPECT_EQ(ok(std::string(255, '(') + "9" + std::string(255, ')')), 9u);
  fails(std::string(256, '(') + "9" + std::string(256, ')'));
  fails(std::string(200000, '('));
  // Past the bound nothing more is read, not even a register after the unwound parentheses.
  fails(std::string(256, '(') + "1)+@pc");
  std::string calls;
  for (int i = 0; i < 300; i++) calls += "memB(";
  fails(calls + "0" + std::string(300, ')'));
  EXPECT_TRUE(board.sent.empty());
  EXPECT_EQ(out.text, "");
}

// --- Registers ---

TEST_F(ExprTest, RegistersAreReadWithTheirSelector) {
  board.regs[REG_PC] = 0x00001234;
  board.regs[REG_SP] = 0x0000FF80;
  board.regs[1] = 0xAABBCCDD;
  board.regs[REG_CCR] = 0x84;
  EXPECT_EQ(ok("@pc"), 0x1234u);
  EXPECT_EQ(ok("@SP"), 0xFF80u);
  EXPECT_EQ(ok("@er1"), 0xAABBCCDDu);
  EXPECT_EQ(ok("@Ccr"), 0x84u);
  EXPECT_EQ(ok("@r1l"), 0xAABBCCDDu);  // the value comes back as the monitor sends it
  EXPECT_EQ(ok("@PC+@SP*2"), 0x1234u + 0xFF80u * 2);
  EXPECT_EQ(board.requests,
            (std::vector<Bytes>{regRead(REG_PC), regRead(REG_SP), regRead(1), regRead(REG_CCR),
                                regRead(1), regRead(REG_PC), regRead(REG_SP)}));
  EXPECT_EQ(board.sent.size(), 7u * 6);  // STX COUNT TYPE sel SUM ETX each
}

TEST_F(ExprTest, BadRegisterNamesFailWithoutTargetAccess) {
  fails("@ER7");
  fails("@1");
  fails("@");
  fails("@+1");
  fails("@pcx");
  EXPECT_TRUE(board.sent.empty());
  EXPECT_EQ(out.text, "");
}

TEST_F(ExprTest, FailedRegisterReadGivesAllOnesWithoutError) {
  board.fail(Fault::WrongCode);
  EXPECT_EQ(ok("@pc"), 0xFFFFFFFFu);
  EXPECT_EQ(out.take(), "Error not valid packet at readReg()\n");
  board.fail(Fault::WrongCode);
  EXPECT_EQ(ok("@pc+1"), 0u);
}

// --- Functions ---

TEST_F(ExprTest, MemFunctionsReadFourBytesOnceAndTakeTheirPart) {
  board.setMem(0x1000, {0x12, 0x34, 0x56, 0x78});
  EXPECT_EQ(ok("memB(0x1000)"), 0x12u);
  EXPECT_EQ(ok("memW(0x1000)"), 0x1234u);
  EXPECT_EQ(ok("memL(0x1000)"), 0x12345678u);
  EXPECT_EQ(ok("memW(0x1000)"), board.mem(0x1000) * 256u + board.mem(0x1001));
  EXPECT_EQ(ok("memB(1000)"), 0u);  // decimal 1000 is 0x3E8
  EXPECT_EQ(board.requests, (std::vector<Bytes>{memRead(0x1000), memRead(0x1000), memRead(0x1000),
                                                memRead(0x1000), memRead(0x3E8)}));
  EXPECT_EQ(out.text, "");
}

TEST_F(ExprTest, FunctionValuesJoinTheArithmetic) {
  board.setMem(0x2000, {0x01, 0x02, 0x03, 0x04});
  EXPECT_EQ(ok("memB(0x2000)+memW(0x2000)*2"), 1u + 0x0102u * 2);
  EXPECT_EQ(ok("(memL(0x1FFF+1))"), 0x01020304u);
}

TEST_F(ExprTest, CallsNest) {
  board.regs[REG_SP] = 0xFF00;
  board.setMem(0xFF00, {0x00, 0x00, 0x12, 0x34});
  board.setMem(0x1238, {0xDE, 0xAD, 0xBE, 0xEF});
  EXPECT_EQ(ok("memL(memL(@SP)+4)"), 0xDEADBEEFu);
  EXPECT_EQ(board.requests,
            (std::vector<Bytes>{regRead(REG_SP), memRead(0xFF00), memRead(0x1238)}));
}

TEST_F(ExprTest, EachFunctionNamesItselfWhenTheParenthesisIsMissing) {
  for (std::string f : {"memB", "memW", "memL", "near"}) {
    fails(f);
    EXPECT_EQ(out.take(), "Error. " + f + "() can not find parameter\n");
    fails(f + "+1");
    EXPECT_EQ(out.take(), "Error. " + f + "() can not find parameter\n");
  }
  EXPECT_TRUE(board.sent.empty());
}

TEST_F(ExprTest, MissingClosingParenthesisIsReportedAfterTheRead) {
  for (std::string f : {"memB", "memW", "memL"}) {
    board.clearLog();
    fails(f + "(100");
    EXPECT_EQ(out.take(), "Error. " + f + "() can not find end-of-parameter\n");
    EXPECT_EQ(board.requests, (std::vector<Bytes>{memRead(100)}));
  }
  board.clearLog();
  fails("near(0");
  EXPECT_EQ(out.take(), "Error. near() can not find end-of-parameter\n");
  fails("memW(100*2");
  EXPECT_EQ(out.take(), "Error. memW() can not find end-of-parameter\n");
  EXPECT_EQ(board.requests, (std::vector<Bytes>{memRead(200)}));
}

TEST_F(ExprTest, NoMemoryReadOnceAnErrorIsSet) {
  fails("memL(@ER7)");
  fails("G1+memB(0)");
  fails("memW(5/0)");
  fails("memB(memB(G1))");
  EXPECT_TRUE(board.sent.empty());
  EXPECT_EQ(out.text, "");
}

TEST_F(ExprTest, FailedMemoryReadIsAnError) {
  board.fail(Fault::WrongCode);
  fails("memB(0x10)");
  EXPECT_EQ(out.text, "readMem:Error.Responce is not MEM_READ. 126\n");
  EXPECT_EQ(board.requests, (std::vector<Bytes>{memRead(0x10)}));
  board.clearLog();
  board.fail(Fault::WrongCode);
  fails("memL(0x10)+memB(0x20)");  // later calls then make no access
  EXPECT_EQ(board.requests, (std::vector<Bytes>{memRead(0x10)}));
}

TEST_F(ExprTest, NearGivesTheNearestSymbolAtOrBelow) {
  ASSERT_TRUE(symbols.addSymbol("start", 0x1000));
  ASSERT_TRUE(symbols.addSymbol("loop", 0x1040));
  EXPECT_EQ(ok("near(0)"), 0u);
  EXPECT_EQ(ok("near(0x1000)"), 0x1000u);
  EXPECT_EQ(ok("near(0x103F)"), 0x1000u);
  EXPECT_EQ(ok("near(0x1040)"), 0x1040u);
  EXPECT_EQ(ok("near(FFFFFFFF)"), 0x1040u);
  EXPECT_EQ(ok("0x1050-near(0x1050)"), 0x10u);
  EXPECT_TRUE(board.sent.empty());
}

TEST_F(ExprTest, NearBelowEverySymbolIsAnError) {
  fails("near(1)");
  ASSERT_TRUE(symbols.addSymbol("start", 0x1000));
  fails("near(0xFFF)");
  EXPECT_EQ(out.text, "");
  EXPECT_EQ(ok("near(0)"), 0u);  // zero is zero, symbol or not
}

TEST_F(ExprTest, NearLooksTheFoundNameUpAgain) {
  // The nearest slot's name is looked up by name, so a duplicate yields its first address.
  ASSERT_TRUE(symbols.addSymbol("dup", 0x100));
  ASSERT_TRUE(symbols.addSymbol("dup", 0x300));
  EXPECT_EQ(ok("near(0x350)"), 0x100u);
}

}  // namespace

#include "expr/expr.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/board_line.h"

using namespace h8;
using namespace h8test;

namespace {

constexpr std::nullopt_t FAIL = std::nullopt;  // 0xFFFFFFFF with exprError set

struct Row {
  std::string text;
  std::optional<uint32_t> value;
  size_t requests = 0;  // frames sent to the board
  std::string printed = "";
};

struct ExprTest : MonitorRig {
  SymbolTable symbols;
  Evaluator ev{mon, symbols, out};

  ExprTest() {
    const std::pair<const char*, uint32_t> table[] = {{"_main", 0x1000}, {"ff", 0x6000},
                                                      {"ff", 0x5000},    {"memB", 0x50},
                                                      {"dup", 0x100},    {"dup", 0x300}};
    for (auto& [name, address] : table) symbols.addSymbol(name, address);
    symbols.addSymbol(std::string(63, 'n').c_str(), 0x7000);
    board.setReg(REG_PC, 0x1234);
    board.setReg(REG_SP, 0x1000);
    board.setReg(1, 0xAABBCCDD);
    board.setMem(0x1000, {0x00, 0x00, 0x10, 0x00, 0xDE, 0xAD, 0xBE, 0xEF});
  }

  // Evaluates the rows in order on one evaluator, so each also shows that the one before it
  // left nothing behind.
  void run(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.text.substr(0, 40));
      board.clearLog();
      uint32_t value = ev.evalExpression(row.text.c_str());
      EXPECT_EQ(ev.exprError, !row.value.has_value());
      EXPECT_EQ(value, row.value.value_or(0xFFFFFFFF));
      EXPECT_EQ(board.requests.size(), row.requests);
      EXPECT_EQ(out.take(), row.printed);
      for (const Bytes& r : board.requests) EXPECT_TRUE(r[0] != MEM_READ || r.back() == 4);
    }
  }
};

// clang-format off
TEST_F(ExprTest, DigitsOnlyAreDecimalLettersOrPrefixMakeHexAndNeitherMayPass32Bits) {
  run({{"10", 10}, {"010", 10}, {"0x10", 0x10}, {"0X10", 0x10}, {"10A", 0x10A}, {"1a", 0x1A},
       {"0x", 0}, {"FFFFFFFF", 0xFFFFFFFF}, {"0xDEADBEEF", 0xDEADBEEF}, {"0x100000001", FAIL},
       {"0x000000000000000012345678", 0x12345678}, {"4294967295", 0xFFFFFFFF}, {"4294967296", FAIL},
       {"99999999999", FAIL}, {"100000000", 100000000}});
}

TEST_F(ExprTest, IdentifierIsAFunctionThenASymbolThenAHexWord) {
  run({{"FF", 0xFF}, {"dEaD", 0xDEAD}, {"ff", 0x6000}, {"_main+4", 0x1004},
       {"_Main", FAIL}, {"G1", FAIL}, {"_F", FAIL}, {"MEMB(10)", FAIL},
       {"memB", FAIL, 0, "Error. memB() can not find parameter\n"}});
}

TEST_F(ExprTest, ArithmeticIsSigned32BitAndLeftAssociative) {
  run({{"2+3*4", 14}, {"(2+3)*4", 20}, {"10-2-3", 5}, {"100/10/5", 2}, {"7/2", 3},
       {"0-1", 0xFFFFFFFF}, {"4294967295+2", 1}, {"(0-2)*3", 0xFFFFFFFA}, {"(0-7)/2", 0xFFFFFFFD},
       {"10000*10000*100", 0x540BE400}, {"(0-7)/(0-2)", 3}, {"4294967295/2", 0},
       {"2147483648/(0-1)", 0x80000000}, {"5/(1-1)", FAIL}});
}

TEST_F(ExprTest, SyntaxErrorsAreSilentAndATokenThatCannotContinueEndsTheSum) {
  run({{"-1", FAIL}, {"+1", FAIL}, {"2*-3", FAIL}, {"", FAIL}, {"2*", FAIL}, {"(1+2", FAIL},
       {"()", FAIL}, {")", FAIL}, {"1$2", FAIL}, {"\xA0", FAIL}, {"10)", 10}, {"2(3)", 2},
       {" 1 +\t2 * 3 ", 7}});
}

TEST_F(ExprTest, TokensOver63CharactersAndNestingOver256SumsFail) {
  std::string calls;
  for (int i = 0; i < 300; i++) calls += "memB(";
  run({{std::string(62, '0') + "7", 7}, {std::string(63, 'n') + "+1", 0x7001},
       {std::string(63, '0') + "7", FAIL}, {"0x" + std::string(100, '0') + "1", FAIL},
       {std::string(64, 'n'), FAIL}, {"@" + std::string(300, 'p'), FAIL},
       {std::string(64, 'a') + "+@pc", FAIL, 1},  // the rest of the text is still read
       {std::string(255, '(') + "9" + std::string(255, ')'), 9}, {std::string(200000, '('), FAIL},
       {std::string(256, '(') + "9" + std::string(256, ')'), FAIL},
       {std::string(256, '(') + "1)+@pc", FAIL},  // past the bound nothing more is read
       {calls + "0" + std::string(300, ')'), FAIL}});
}

TEST_F(ExprTest, RegistersAreReadWhenNamedUnlessABadCharacterCameFirst) {
  run({{"@pc", 0x1234, 1}, {"@SP", 0x1000, 1}, {"@er1", 0xAABBCCDD, 1}, {"@r1l", 0xAABBCCDD, 1},
       {"@PC+@SP*2", 0x3234, 2}, {"G1+@pc", FAIL, 1}, {"@ER7", FAIL}, {"@1", FAIL}, {"@", FAIL},
       {"@pcx", FAIL}, {"1$+@pc", FAIL}, {"2)@pc", 2}});
}

TEST_F(ExprTest, FunctionsReadFourBytesOrFindTheNearestSymbolUnlessAnErrorCameFirst) {
  run({{"memB(0x1005)", 0xAD, 1}, {"memW(0x1004)", 0xDEAD, 1}, {"memL(0x1004)", 0xDEADBEEF, 1},
       {"memL(@ER7)", FAIL}, {"G1+memB(0)", FAIL}, {"memW(5/0)", FAIL}, {"memB(memB(G1))", FAIL},
       // near() looks the name found up again: of the two "dup" slots the first comes back.
       {"near(0)", 0}, {"near(0x1000)", 0x1000}, {"near(0x103F)", 0x1000}, {"near(0x350)", 0x100},
       {"near(1)", FAIL}, {"memL(memL(@SP)+4)", 0xDEADBEEF, 3}});
  EXPECT_EQ(board.requests, (std::vector<Bytes>{{REG_READ, REG_SP}, {MEM_READ, 0, 0, 0x10, 0, 4},
                                                {MEM_READ, 0, 0, 0x10, 0x04, 4}}));
}

TEST_F(ExprTest, FunctionsReportAMissingParenthesisByName) {
  run({{"memB", FAIL, 0, "Error. memB() can not find parameter\n"},
       {"memW+1", FAIL, 0, "Error. memW() can not find parameter\n"},
       {"memL", FAIL, 0, "Error. memL() can not find parameter\n"},
       {"near+1", FAIL, 0, "Error. near() can not find parameter\n"},
       {"memB(100", FAIL, 1, "Error. memB() can not find end-of-parameter\n"},
       {"memW(100*2", FAIL, 1, "Error. memW() can not find end-of-parameter\n"},
       {"memL(100", FAIL, 1, "Error. memL() can not find end-of-parameter\n"},
       {"near(0", FAIL, 0, "Error. near() can not find end-of-parameter\n"}});
}

TEST_F(ExprTest, FailedRegisterReadIsAllOnesButFailedMemoryReadIsAnError) {
  board.fail(Fault::WrongCode);
  run({{"@pc+1", 0, 1, "Error not valid packet at readReg()\n"}});
  board.fail(Fault::WrongCode);
  run({{"memL(0x10)+memB(0x20)", FAIL, 1, "readMem:Error.Responce is not MEM_READ. 126\n"}});
}
// clang-format on

}  // namespace

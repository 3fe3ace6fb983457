#include "expr/expr.h"

#include <cstring>
#include <iterator>

#include "common/bigendian.h"
#include "common/scan.h"

namespace h8 {

namespace {

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return hexDigit(c) >= 0; }
bool isIdentStart(char c) { return isLetter(c) || c == '_'; }
bool isIdentChar(char c) { return isIdentStart(c) || isDigit(c); }

bool isHexWord(const char* text) {
  for (; *text != '\0'; text++) {
    if (!isHexDigit(*text)) return false;
  }
  return true;
}

int singleCharKind(char c) {
  switch (c) {
    case '(':
      return TK_LPAREN;
    case ')':
      return TK_RPAREN;
    case '*':
      return TK_MUL;
    case '+':
      return TK_ADD;
    case '-':
      return TK_SUB;
    case '/':
      return TK_DIV;
    default:
      return TK_NONE;
  }
}

enum Function { MEM_B, MEM_W, MEM_L, NEAR };

// Looked up in this order, names compared exactly; the index is the Function.
constexpr const char* functionTable[] = {"memB", "memW", "memL", "near"};
static_assert(std::size(functionTable) == NEAR + 1);

}  // namespace

uint32_t Evaluator::evalExpression(const char* text) {
  input_ = text != nullptr ? text : "";
  lastKind_ = TK_NONE;
  pushed_ = false;
  pushedText_[0] = '\0';
  depth_ = 0;
  exprError = false;
  uint32_t value = parseSum();
  return exprError ? 0xFFFFFFFF : value;
}

int Evaluator::scanToken(char* text) {
  int length = 0;
  bool overlong = false;
  // A run longer than the token text is consumed whole but kept only in part.
  auto append = [&](char c) {
    if (length < MAX_TOKEN) {
      text[length++] = c;
    } else {
      overlong = true;
    }
  };
  text[0] = '\0';
  while (*input_ == ' ' || *input_ == '\t') input_++;

  char c = *input_;
  int kind;
  if (c == '\0') return TK_END;
  if ((kind = singleCharKind(c)) != TK_NONE) {
    append(*input_++);
  } else if (c == '@') {
    input_++;
    if (!isIdentStart(*input_)) {
      if (*input_ != '\0') input_++;
      exprError = true;
      return TK_ERROR;
    }
    while (isIdentChar(*input_)) append(*input_++);
    kind = TK_REGISTER;
  } else if (isDigit(c)) {
    if (c == '0' && (input_[1] == 'x' || input_[1] == 'X')) {
      append(*input_++);
      append(*input_++);
      while (isHexDigit(*input_)) append(*input_++);
      kind = TK_HEX;
    } else {
      bool letter = false;
      for (; isHexDigit(*input_); input_++) {
        letter = letter || !isDigit(*input_);
        append(*input_);
      }
      kind = letter ? TK_HEX : TK_DECIMAL;
    }
  } else if (isIdentStart(c)) {
    while (isIdentChar(*input_)) append(*input_++);
    kind = TK_IDENT;
  } else {
    input_++;
    exprError = true;
    return TK_ERROR;
  }
  text[length] = '\0';
  if (overlong) exprError = true;
  return kind;
}

int Evaluator::nextToken(char* text) {
  if (pushed_) {
    pushed_ = false;
    memcpy(text, pushedText_, sizeof pushedText_);
    return pushedKind_;
  }
  if (lastKind_ == TK_END || lastKind_ == TK_ERROR) {
    text[0] = '\0';
    return lastKind_;
  }
  lastKind_ = scanToken(text);
  return lastKind_;
}

void Evaluator::pushBackToken(int kind, const char* text) {
  pushed_ = true;
  pushedKind_ = kind;
  size_t length = strnlen(text, MAX_TOKEN);
  memcpy(pushedText_, text, length);
  pushedText_[length] = '\0';
}

uint32_t Evaluator::parseSum() {
  // Each nesting level costs stack; past the bound the rest of the text is left unread.
  if (depth_ >= MAX_DEPTH) {
    exprError = true;
    lastKind_ = TK_ERROR;
    pushed_ = false;
    return 0;
  }
  depth_++;
  uint32_t value = parseProduct();
  for (;;) {
    char text[MAX_TOKEN + 1];
    int kind = nextToken(text);
    if (kind == TK_ADD) {
      value += parseProduct();
    } else if (kind == TK_SUB) {
      value -= parseProduct();
    } else {
      pushBackToken(kind, text);
      break;
    }
  }
  depth_--;
  return value;
}

uint32_t Evaluator::parseProduct() {
  uint32_t value = parsePrimary();
  for (;;) {
    char text[MAX_TOKEN + 1];
    int kind = nextToken(text);
    if (kind == TK_MUL) {
      value *= parsePrimary();  // the low 32 bits are the same signed or unsigned
    } else if (kind == TK_DIV) {
      int64_t divisor = int32_t(parsePrimary());
      if (divisor == 0) {
        exprError = true;
        value = 0;
      } else {
        // In 64 bits, so 80000000 / -1 wraps to 80000000 instead of trapping.
        value = uint32_t(int64_t(int32_t(value)) / divisor);
      }
    } else {
      pushBackToken(kind, text);
      return value;
    }
  }
}

// Numbers are unsigned 32-bit values; a literal that does not fit is an error, never a
// different number.
uint32_t Evaluator::number(const char* text, int base) {
  uint32_t value = 0;
  if (!strtoul32(text, base, value)) exprError = true;
  return value;
}

uint32_t Evaluator::parsePrimary() {
  char text[MAX_TOKEN + 1];
  int kind = nextToken(text);
  switch (kind) {
    case TK_DECIMAL:
    case TK_HEX:
      return number(text, kind == TK_DECIMAL ? 10 : 16);
    case TK_IDENT:
      for (int f = 0; f < int(std::size(functionTable)); f++) {
        if (strcmp(text, functionTable[f]) == 0) return callFunction(f, functionTable[f]);
      }
      if (symbols_.symbolExists(text)) return symbols_.symbolAddress(text);
      if (isHexWord(text)) return number(text, 16);
      exprError = true;
      return 0;
    case TK_LPAREN: {
      uint32_t value = parseSum();
      if (nextToken(text) != TK_RPAREN) exprError = true;
      return value;
    }
    case TK_REGISTER: {
      std::string name = text;
      int code = Monitor::findReg(name);
      if (code < 0) {
        exprError = true;
        return 0xFFFFFFFF;
      }
      return monitor_.readReg(code);
    }
    default:
      exprError = true;
      return 0;
  }
}

uint32_t Evaluator::callFunction(int function, const char* name) {
  char text[MAX_TOKEN + 1];
  if (nextToken(text) != TK_LPAREN) {
    out_.printf("Error. %s() can not find parameter\n", name);
    exprError = true;
    return 0;
  }
  uint32_t argument = parseSum();
  if (exprError) return argument;

  uint8_t bytes[4] = {};
  bool readFailed = false;
  const char* nearest = nullptr;
  if (function == NEAR) {
    nearest = symbols_.nearestSymbol(argument);
  } else if (!monitor_.readMem(argument, 4, bytes)) {
    // readMem has printed its message; the bytes mean nothing.
    readFailed = true;
    exprError = true;
  }

  if (nextToken(text) != TK_RPAREN) {
    out_.printf("Error. %s() can not find end-of-parameter\n", name);
    exprError = true;
    return argument;
  }
  if (readFailed) return 0;

  switch (function) {
    case MEM_B:
      return bytes[0];
    case MEM_W:
      return load16(bytes);
    case MEM_L:
      return load32(bytes);
    case NEAR:
      if (argument == 0) return 0;
      if (nearest == nullptr) {
        exprError = true;
        return 0xFFFFFFFF;
      }
      return symbols_.symbolAddress(nearest);
  }
  return 0;
}

}  // namespace h8

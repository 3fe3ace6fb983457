#include "expr/expr.h"

namespace h8 {

uint32_t Evaluator::evalExpression(const char*) {
  exprError = true;
  return 0xFFFFFFFF;
}

}  // namespace h8

#include "expr/expr.h"

#include <gtest/gtest.h>

#include "support/fake_board.h"

using namespace h8;
using namespace h8test;

// The old fake board's name, for tests/console/e2e_test.cpp until it moves to BoardLine: a
// BoardLine whose monitor reports the old fake's version (1.2 build 3), and whose mem(a) gives the
// byte the host's last MEM_WRITE stored at a (the old fake took writes anywhere; the board's
// flash refuses them), else the board's.
#pragma once

#include "common/bigendian.h"
#include "support/board_line.h"

namespace h8test {

struct FakeBoard : BoardLine {
  FakeBoard() { replies[h8::VERSION] = {1, 2, 3}; }
  uint8_t mem(uint32_t address) const {
    for (auto w = requests.rbegin(); w != requests.rend(); ++w) {
      if ((*w)[0] != h8::MEM_WRITE || w->size() < 6) continue;
      uint32_t offset = address - h8::load32(&(*w)[1]);
      if (offset < (*w)[5] && 6 + offset < w->size()) return (*w)[6 + offset];
    }
    return BoardLine::mem(address);
  }
};

}  // namespace h8test

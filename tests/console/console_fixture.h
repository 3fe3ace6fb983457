// A debugger session over the simulated board and a scripted keyboard.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "console/debugger.h"
#include "support/board_line.h"
#include "support/fake_keyboard.h"

namespace h8test {

struct Session : ::testing::Test {
  BoardLine board;
  FakeKeyboard keys{&board};
  h8::StringOutput out;
  std::unique_ptr<h8::Debugger> dbg = std::make_unique<h8::Debugger>(board, keys, out);

  // Runs one command line and returns what it printed; the board's log starts afresh.
  std::string run(const std::string& line) {
    out.text.clear();
    board.clearLog();
    dbg->execute(line);
    return out.take();
  }
};

}  // namespace h8test

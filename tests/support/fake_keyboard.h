// Scripted console input for tests: lines and single keys, each available from a given poll
// step of a BoardLine on (so board output can arrive first). When the script is used up, the
// keyboard reports the end of input, unless `endOfInput` is false.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "console/keyboard.h"
#include "support/board_line.h"

namespace h8test {

class FakeKeyboard : public h8::Keyboard {
 public:
  explicit FakeKeyboard(const BoardLine* board = nullptr) : board_(board) {}

  void line(const std::string& text, long atStep = 0) { items_.emplace_back(atStep, text); }
  void key(int k, long atStep = 0) { items_.emplace_back(atStep, std::string(1, char(k))); }
  void clear() { items_.clear(); }

  bool keyWaiting() override {
    if (items_.empty()) return endOfInput;
    return !board_ || board_->steps() >= items_.front().first;
  }
  int readKey() override {
    if (items_.empty()) return -1;
    keysRead.push_back(uint8_t(items_.front().second[0]));
    items_.pop_front();
    return keysRead.back();
  }
  bool readLine(std::string& text, const std::string& prompt) override {
    prompts.push_back(prompt);
    if (items_.empty()) return false;
    text = items_.front().second;
    items_.pop_front();
    return true;
  }
  bool interactive() const override { return isInteractive; }

  bool endOfInput = true;
  bool isInteractive = true;
  std::vector<std::string> prompts;
  std::vector<uint8_t> keysRead;

 private:
  const BoardLine* board_;
  std::deque<std::pair<long, std::string>> items_;  // from which poll step, and the text
};

}  // namespace h8test

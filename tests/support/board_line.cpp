#include "support/board_line.h"

#include <gtest/gtest.h>

#include "common/target.h"

namespace h8test {

using namespace h8;

int ScriptedCore::run(Board&, uint32_t) {
  if (stops.empty()) return RUN_CONTINUES;
  int code = stops.front();
  stops.pop_front();
  return code;
}

void BoardLine::setMem(uint32_t address, const Bytes& bytes) {
  EXPECT_TRUE(board.place(address, bytes.data(), uint32_t(bytes.size())))
      << "unmapped bytes at " << std::hex << address;
}

int BoardLine::write(const uint8_t* data, int n) {
  for (int i = 0; i < n; i++) {
    sent.push_back(data[i]);
    if (requestFrames_.feedPacket(data[i]) == FEED_COMPLETE) {
      const uint8_t* f = requestFrames_.packetBuffer();
      requests.emplace_back(f + 2, f + 1 + f[1]);
    }
    server.receive(data[i]);
  }
  server.runSlice();
  return n;
}

int BoardLine::read(uint8_t* buffer, int n) {
  int got = 0;
  for (; got < n && !rx_.empty(); rx_.pop_front()) buffer[got++] = rx_.front();
  return got;
}

void BoardLine::waitStep() {
  ++steps_;
  while (!due_.empty() && due_.begin()->first <= steps_) {
    Bytes bytes = due_.begin()->second;
    due_.erase(due_.begin());
    bytes.empty() ? server.reset() : inject(bytes);
  }
  while (!calls_.empty() && calls_.begin()->first <= steps_) {
    std::function<void()> f = calls_.begin()->second;
    calls_.erase(calls_.begin());
    f();
  }
  server.runSlice();
  idleSteps_ = rx_.empty() && due_.empty() ? idleSteps_ + 1 : 0;
  lost_ = lost_ || (hangLimit > 0 && idleSteps_ > hangLimit);
}

std::vector<uint8_t> BoardLine::codes() const {
  std::vector<uint8_t> c;
  for (const Bytes& r : requests) c.push_back(r[0]);
  return c;
}

// The monitor writes each frame whole; anything else is the program's text.
void BoardLine::fromMonitor(Bytes bytes) {
  if (bytes.size() < 5 || bytes[0] != STX || bytes.size() != bytes[1] + 3u) return inject(bytes);
  inject(Bytes(textBeforeReply.begin(), textBeforeReply.end()));
  textBeforeReply.clear();
  const uint8_t code = bytes[2];
  auto replaced = replies.find(code);
  Bytes payload =
      replaced != replies.end() ? replaced->second : Bytes(bytes.begin() + 3, bytes.end() - 2);
  auto* queue = &faults_[code];
  if (queue->empty()) queue = &faults_[-1];
  bytes = frame(code, payload);  // unfaulted: as it stands
  if (!queue->empty()) {
    bytes = h8::faultFrame(queue->front().first, bytes, queue->front().second);
    queue->pop_front();
  }
  inject(bytes);
}

}  // namespace h8test

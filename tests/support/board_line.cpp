#include "support/board_line.h"

#include <gtest/gtest.h>

#include "common/target.h"

namespace h8test {

using namespace h8;

Bytes frame(uint8_t type, const Bytes& payload) {
  Bytes f(payload.size() + 5);
  f[0] = STX;
  f[1] = uint8_t(payload.size() + 2);
  f[2] = type;
  std::copy(payload.begin(), payload.end(), f.begin() + 3);
  uint8_t sum = 0;
  for (size_t i = 1; i < f.size() - 2; i++) sum = uint8_t(sum + f[i]);
  f[f.size() - 2] = uint8_t(-sum);
  f.back() = ETX;
  return f;
}

void ScriptedCore::start(Board& board) {
  board.sciOutput.insert(board.sciOutput.end(), text.begin(), text.end());
}

int ScriptedCore::run(Board&, uint32_t) {
  if (stops.empty()) return RUN_CONTINUES;
  int code = stops.front();
  stops.pop_front();
  return code;
}

BoardLine::BoardLine(CpuCore* core)
    : server(board, core ? *core : this->core, monitorEnd_, quiet_) {}

bool BoardLine::open(const std::string& name, long speed) {
  openedName = name;
  openedSpeed = speed;
  return openResult;
}

int BoardLine::close() {
  closed = true;
  return 1;
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
  for (; got < n && !rx_.empty(); got++) {
    buffer[got] = rx_.front();
    rx_.pop_front();
  }
  return got;
}

void BoardLine::waitStep() {
  ++steps_;
  bool pending = false;
  for (size_t i = 0; i < due_.size();) {
    if (due_[i].at > steps_) {
      pending = true;
      i++;
      continue;
    }
    Due d = due_[i];
    due_.erase(due_.begin() + long(i));
    inject(d.bytes);
    if (d.reset) server.reset();
  }
  server.runSlice();
  idleSteps_ = rx_.empty() && !pending ? idleSteps_ + 1 : 0;
  if (hangLimit > 0 && idleSteps_ > hangLimit) lost_ = true;
}

std::vector<uint8_t> BoardLine::codes() const {
  std::vector<uint8_t> c;
  for (const Bytes& r : requests) c.push_back(r[0]);
  return c;
}

int BoardLine::MonitorEnd::write(const uint8_t* data, int n) {
  Bytes bytes(data, data + n);
  if (n >= 5 && data[0] == STX && n == data[1] + 3) {
    line.send(bytes);
  } else {
    line.inject(bytes);  // the program's text
  }
  return n;
}

void BoardLine::send(const Bytes& sentFrame) {
  if (!textBeforeReply.empty()) {
    inject(Bytes(textBeforeReply.begin(), textBeforeReply.end()));
    textBeforeReply.clear();
  }
  const uint8_t code = sentFrame[2];
  auto replaced = replies.find(code);
  Bytes payload = replaced != replies.end() ? replaced->second
                                            : Bytes(sentFrame.begin() + 3, sentFrame.end() - 2);
  Bytes out = frame(code, payload);
  std::deque<FaultSpec>* queue = &faults_[code];
  if (queue->empty()) queue = &faults_[-1];
  if (queue->empty()) return inject(out);
  FaultSpec f = queue->front();
  queue->pop_front();
  switch (f.fault) {
    case Fault::Silence:
      return;
    case Fault::Restart:
      return inject(frame(RESTART));
    case Fault::WrongCode:
      return inject(frame(0x7E, payload));
    case Fault::BadSum:
      out[out.size() - 2] ^= 0x55;
      return inject(out);
    case Fault::BadEtx:
      out.back() = 0x04;
      return inject(out);
    case Fault::StatusNG:
      if (!payload.empty()) payload.back() = code == MEM_WRITE ? 2 : 0;
      return inject(frame(code, payload));
    case Fault::Raw:
      return inject(f.raw);
  }
}

}  // namespace h8test

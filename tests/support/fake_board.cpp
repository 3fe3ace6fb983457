#include "support/fake_board.h"

#include "common/bigendian.h"
#include "common/target.h"

namespace h8test {

using namespace h8;

Bytes frame(uint8_t type, const Bytes& payload) {
  Bytes f;
  f.reserve(payload.size() + 5);
  f.push_back(0x02);
  f.push_back(uint8_t(payload.size() + 2));
  f.push_back(type);
  for (uint8_t b : payload) f.push_back(b);
  uint8_t sum = 0;
  for (size_t i = 1; i < f.size(); i++) sum = uint8_t(sum + f[i]);
  f.push_back(uint8_t(-sum));
  f.push_back(0x03);
  return f;
}

FakeBoard::FakeBoard() {
  regs[7] = 0xFF7C;
  regs[9] = 0x1000;
}

bool FakeBoard::open(const std::string& name, long speed) {
  openedName = name;
  openedSpeed = speed;
  return openResult;
}

int FakeBoard::close() {
  closed = true;
  return 1;
}

uint8_t FakeBoard::mem(uint32_t address) const {
  auto it = mem_.find(address);
  return it == mem_.end() ? 0 : it->second;
}

void FakeBoard::setMem(uint32_t address, const Bytes& bytes) {
  for (uint8_t b : bytes) mem_[address++] = b;
}

int FakeBoard::write(const uint8_t* data, int n) {
  for (int i = 0; i < n; i++) {
    uint8_t b = data[i];
    sent.push_back(b);
    if (collecting_.empty()) {
      if (b == 0x02) collecting_.push_back(b);
      continue;
    }
    collecting_.push_back(b);
    if (collecting_.size() == 2) expected_ = b + 3;
    if (int(collecting_.size()) == expected_) {
      Bytes request(collecting_.begin() + 2, collecting_.end() - 2);
      collecting_.clear();
      requests.push_back(request);
      handle(request);
    }
  }
  return n;
}

int FakeBoard::read(uint8_t* buffer, int n) {
  int got = 0;
  while (got < n && !rx_.empty()) {
    buffer[got++] = rx_.front();
    rx_.pop_front();
  }
  return got;
}

unsigned FakeBoard::available() { return unsigned(rx_.size()); }

void FakeBoard::waitStep() {
  ++steps_;
  bool pending = false;
  for (auto it = scheduled_.begin(); it != scheduled_.end();) {
    if (it->at <= steps_) {
      inject(it->bytes);
      it = scheduled_.erase(it);
    } else {
      pending = true;
      ++it;
    }
  }
  if (rx_.empty() && !pending) {
    if (hangLimit > 0 && ++idleSteps_ > hangLimit) lost_ = true;
  } else {
    idleSteps_ = 0;
  }
}

std::vector<uint8_t> FakeBoard::codes() const {
  std::vector<uint8_t> c;
  for (const Bytes& r : requests) c.push_back(r.empty() ? 0xFF : r[0]);
  return c;
}

void FakeBoard::reply(uint8_t type, const Bytes& payload) {
  if (!textBeforeReply.empty()) {
    injectText(textBeforeReply);
    textBeforeReply.clear();
  }
  std::deque<FaultSpec>* queue = &faults_;
  auto typed = typedFaults_.find(type);
  if (typed != typedFaults_.end() && !typed->second.empty()) queue = &typed->second;
  if (!queue->empty()) {
    FaultSpec f = queue->front();
    queue->pop_front();
    Bytes out;
    switch (f.fault) {
      case Fault::Silence:
        return;
      case Fault::Restart:
        inject(frame(RESTART));
        return;
      case Fault::WrongCode:
        inject(frame(0x7E, payload));
        return;
      case Fault::BadSum:
        out = frame(type, payload);
        out[out.size() - 2] ^= 0x55;
        inject(out);
        return;
      case Fault::BadEtx:
        out = frame(type, payload);
        out.back() = 0x04;
        inject(out);
        return;
      case Fault::StatusNG: {
        Bytes p = payload;
        if (!p.empty()) p.back() = (type == MEM_WRITE) ? 2 : 0;
        inject(frame(type, p));
        return;
      }
      case Fault::Raw:
        inject(f.raw);
        return;
    }
  }
  inject(frame(type, payload));
}

void FakeBoard::handle(const Bytes& r) {
  if (r.empty()) return;
  uint8_t type = r[0];
  const uint8_t* p = r.data() + 1;
  size_t n = r.size() - 1;
  Bytes out;
  switch (type) {
    case MEM_READ: {
      if (n < 5) return;
      uint32_t a = load32(p);
      for (int i = 0; i < p[4]; i++) out.push_back(mem(a + i));
      reply(type, out);
      return;
    }
    case MEM_WRITE: {
      if (n < 5) return;
      uint32_t a = load32(p);
      for (size_t i = 0; i < p[4] && 5 + i < n; i++) mem_[a + i] = p[5 + i];
      reply(type, {1});
      return;
    }
    case REG_READ: {
      if (n < 1) return;
      uint32_t v = p[0] < 10 ? regs[p[0]] : 0;
      out.resize(4);
      store32(out.data(), v);
      reply(type, out);
      return;
    }
    case REG_WRITE:
      if (n < 5) return;
      if (p[0] < 10) regs[p[0]] = load32(p + 1);
      reply(type, {1});
      return;
    case VERSION:
      reply(type, {version[0], version[1], version[2]});
      return;
    case FLASH_PROG_AREA:
    case USER_DATA_AREA:
      out.resize(8);
      store32(out.data(), type == FLASH_PROG_AREA ? progStart : userStart);
      store32(out.data() + 4, type == FLASH_PROG_AREA ? progSize : userSize);
      reply(type, out);
      return;
    case BREAK_READ:
      out.resize(4);
      store32(out.data(), breakAddress);
      reply(type, out);
      return;
    case BREAK_WRITE:
      breakSet = true;
      breakAddress = n >= 4 ? load32(p) : 0;
      reply(type, {});
      return;
    case BREAK_CLEAR:
      breakSet = false;
      reply(type, {});
      return;
    case GO:
      injectText(goText);
      if (!faults_.empty()) {
        reply(type, {0});
        return;
      }
      if (!stopCodes.empty()) {
        int code = stopCodes.front();
        stopCodes.pop_front();
        reply(type, {uint8_t(code)});
      }
      return;
    case FLASH_ERASE:
      reply(type, {});
      return;
    case FLASH_WRITE:
      reply(type, {1});
      return;
    default:
      return;
  }
}

}  // namespace h8test

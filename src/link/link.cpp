#include "link/link.h"

#include <cstring>

namespace h8 {

int Link::putCom(int value) {
  uint8_t b = uint8_t(value);
  return writeCom(&b, 1);
}

int Link::getCom() {
  int polls = comTimeout;
  bool shown = false;
  while (availCom() == 0) {
    if (port_.lost() || interrupted()) return -1;
    // What the console printed is shown while the board answers: the console's writes then
    // cost no time of their own between one exchange and the next.
    if (!shown) {
      out_.flush();
      shown = true;
    }
    port_.waitStep();
    if (polls > 0 && --polls == 0) return -1;
  }
  uint8_t b = 0;
  readCom(&b, 1);
  return b;
}

void Link::beginPacket(int code) {
  packetLen_ = 0;
  packetBuf_[2] = uint8_t(code);
  packetPtr_ = 3;
}

void Link::putByte(uint32_t value) {
  // Requests never exceed the payload limit; a byte beyond it is dropped, not stored past the
  // buffer.
  if (packetLen_ >= PAYLOAD_MAX) return;
  packetBuf_[packetPtr_++] = uint8_t(value);
  packetLen_++;
}

void Link::putWord(uint32_t value) {
  putByte(value >> 8);
  putByte(value);
}

void Link::putLong(uint32_t value) {
  putByte(value >> 24);
  putByte(value >> 16);
  putByte(value >> 8);
  putByte(value);
}

void Link::endPacket() {
  packetBuf_[0] = STX;
  packetBuf_[1] = uint8_t(packetLen_ + 2);
  uint8_t sum = 0;
  for (int i = 0; i < packetLen_ + 2; i++) sum = uint8_t(sum + packetBuf_[1 + i]);
  packetBuf_[3 + packetLen_] = uint8_t(-sum);
  packetBuf_[4 + packetLen_] = ETX;
}

void Link::sendPacket() {
  int count = packetBuf_[1];
  if (count > COUNT_MAX) count = COUNT_MAX;
  if (trace) trace->frame(true, packetBuf_);
  // The whole frame in one write: the board sees the same bytes, the driver one call.
  writeCom(packetBuf_, count + 3);
}

int Link::receivePacket() {
  int result = receiveFrame();
  if (trace && result > 0) trace->frame(false, packetBuf_);
  if (trace && result <= 0) {
    trace->note(port_.lost()               ? "the line is lost"
                : interrupted()            ? "the wait is interrupted"
                : result == RECEIVE_NO_STX ? "no frame: time-out"
                : result == RECEIVE_BAD_COUNT ? "a frame with a bad COUNT"
                : result == RECEIVE_CUT_SHORT ? "a frame cut short"
                                              : "a frame without its ETX");
  }
  return result;
}

int Link::receiveFrame() {
  packetLen_ = 0;
  for (;;) {
    int c = getCom();
    if (c < 0) return RECEIVE_NO_STX;
    if (c == STX) break;
    if (trace) trace->text(uint8_t(c));
    if (c >= 0x20 || c == '\r' || c == '\n') out_.put(char(c));
  }
  packetBuf_[0] = STX;
  int count = getCom();
  // COUNT 0 leaves no room for TYPE and SUM; it is refused like a COUNT above 29.
  if (count < 0 || count > COUNT_MAX || count == 0) return RECEIVE_BAD_COUNT;
  packetBuf_[1] = uint8_t(count);
  int last = -1;
  for (int i = 0; i < count + 1; i++) {
    last = getCom();
    if (last < 0) return RECEIVE_CUT_SHORT;
    packetBuf_[2 + i] = uint8_t(last);
  }
  if (last != ETX) return RECEIVE_NO_ETX;
  packetPtr_ = 2;
  packetLen_ = uint8_t(count - 1);
  return packetLen_ + 1;
}

int Link::feedPacket(uint8_t b) {
  switch (feedState_) {
    case 0:
      if (b != STX) return FEED_OUTSIDE;
      feedIndex_ = 0;
      feedBuf_[feedIndex_++] = b;
      feedState_ = 1;
      return FEED_STX;
    case 1:
      if (b > COUNT_MAX || b == 0) {
        feedState_ = 0;
        return FEED_REJECTED;
      }
      feedBuf_[feedIndex_++] = b;
      feedRemaining_ = uint8_t(b + 1);
      feedState_ = 2;
      return FEED_INSIDE;
    default: {
      feedBuf_[feedIndex_++] = b;  // at most COUNT + 3 <= 32 bytes
      if (--feedRemaining_ > 0) return FEED_INSIDE;
      feedState_ = 0;
      if (b != ETX) return FEED_REJECTED;
      int count = feedBuf_[1];
      uint8_t sum = 0;
      for (int i = 1; i <= count + 1; i++) sum = uint8_t(sum + feedBuf_[i]);
      if (sum != 0) return FEED_REJECTED;
      memcpy(packetBuf_, feedBuf_, size_t(count) + 3);
      packetPtr_ = 2;
      packetLen_ = uint8_t(count - 1);
      return FEED_COMPLETE;
    }
  }
}

int Link::readAndFeed(uint8_t* b) {
  if (availCom() == 0 || readCom(b, 1) != 1) return FEED_NO_BYTE;
  int fed = feedPacket(*b);
  if (trace && fed == FEED_OUTSIDE) trace->text(*b);
  if (trace && fed == FEED_COMPLETE) trace->frame(false, packetBuf_);
  if (trace && fed == FEED_REJECTED) trace->note("a frame refused (bad COUNT, ETX or SUM)");
  return fed;
}

uint8_t Link::getByte() {
  if (packetLen_ < 1) return 0;
  packetLen_--;
  return packetBuf_[packetPtr_++];
}

uint16_t Link::getWord() {
  if (packetLen_ < 2) return 0;
  uint16_t v = uint16_t((packetBuf_[packetPtr_] << 8) | packetBuf_[packetPtr_ + 1]);
  packetPtr_ += 2;
  packetLen_ -= 2;
  return v;
}

uint32_t Link::getLong() {
  if (packetLen_ < 4) return 0;
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v = (v << 8) | packetBuf_[packetPtr_ + i];
  packetPtr_ += 4;
  packetLen_ -= 4;
  return v;
}

void Link::DumpPacket() {
  int count = packetBuf_[1];
  if (count > COUNT_MAX) count = COUNT_MAX;
  out_.puts("HOST:DumpPacket:");
  for (int i = 0; i < count + 3; i++) {
    out_.printf("%02X ", packetBuf_[i]);
    if ((i + 1) % 16 == 0) out_.put('\n');
  }
  out_.put('\n');
}

}  // namespace h8

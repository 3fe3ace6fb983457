// Byte and frame layer of the link to the monitor.
//
// Serial operations (over a SerialPort):
//   putCom(v)        write the low 8 bits of v as one byte
//   getCom()         next byte 0..255, or -1 after `comTimeout` poll steps without one
//                    (0 = wait without limit), when the port is lost or when the user
//                    interrupted the wait (`interrupt`)
//   availCom()       received bytes waiting; readCom/writeCom move raw bytes
//
// Frames: STX COUNT TYPE payload SUM ETX, COUNT = payload + 2 (at most 29), SUM makes
// COUNT+TYPE+payload+SUM zero modulo 256. One buffer serves the request being built and the
// reply received into it:
//   beginPacket/putByte/putWord/putLong/endPacket/sendPacket   build and send a request
//   receivePacket()  wait for one reply: COUNT (> 0), or RECEIVE_NO_STX (time-out),
//                    RECEIVE_BAD_COUNT (bad or missing COUNT), RECEIVE_CUT_SHORT (time-out inside
//                    the frame), RECEIVE_NO_ETX. Text before the frame is copied to the console
//                    output. The SUM is not checked: the synchronous receiver accepts a frame
//                    with a wrong SUM on purpose (the board's monitor has always been taken at
//                    its word there); only the polling recogniser checks it.
//   feedPacket(b)    byte-at-a-time recogniser for the polling loops: FEED_OUTSIDE, FEED_STX,
//                    FEED_INSIDE, FEED_COMPLETE (a valid frame is in the buffer), FEED_REJECTED
//   readAndFeed(&b)  take one waiting byte from the line into b and feed it; FEED_NO_BYTE when
//                    none is waiting
//   getByte/getWord/getLong  hand out the received TYPE and payload; 0 when too few bytes remain
//   remaining()      how many received bytes are left to hand out
//   DumpPacket()     diagnostic hex dump of the frame buffer
//
// Owns: the port's time-out, the frame buffer with its read/write position, and the
// recogniser's state (which collects in a buffer of its own, so a synchronous exchange that
// runs while a frame is half collected cannot push its stores outside the buffer).
#pragma once

#include <cstdint>

#include "common/output.h"
#include "common/wait_interrupt.h"
#include "link/serial.h"
#include "link/trace.h"

namespace h8 {

constexpr uint8_t STX = 0x02;
constexpr uint8_t ETX = 0x03;
constexpr int FRAME_MAX = 32;
constexpr int COUNT_MAX = 29;
constexpr int PAYLOAD_MAX = COUNT_MAX - 2;

// receivePacket's failures.
enum ReceiveResult {
  RECEIVE_NO_STX = -1,
  RECEIVE_BAD_COUNT = -2,
  RECEIVE_CUT_SHORT = -3,
  RECEIVE_NO_ETX = -4,
};

// feedPacket's and readAndFeed's results.
enum FeedResult {
  FEED_NO_BYTE = -2,
  FEED_REJECTED = -1,
  FEED_OUTSIDE = 0,
  FEED_STX = 1,
  FEED_INSIDE = 2,
  FEED_COMPLETE = 3,
};

class Link {
 public:
  Link(SerialPort& port, Output& out) : port_(port), out_(out) {}

  Output& out() { return out_; }

  int comTimeout = 0;
  // When set, a pending interrupt ends every wait for a byte as a time-out does.
  const WaitInterrupt* interrupt = nullptr;
  bool interrupted() const { return interrupt != nullptr && interrupt->pending(); }
  // When set, every frame sent and received, and the bytes and events around them, are traced.
  LineTrace* trace = nullptr;

  int writeCom(const uint8_t* data, int n) { return port_.write(data, n); }
  int readCom(uint8_t* buffer, int n) { return port_.read(buffer, n); }
  unsigned availCom() { return port_.available(); }
  int putCom(int value);
  int getCom();

  void beginPacket(int code);
  void putByte(uint32_t value);
  void putWord(uint32_t value);
  void putLong(uint32_t value);
  void endPacket();
  void sendPacket();

  int receivePacket();
  int feedPacket(uint8_t b);
  int readAndFeed(uint8_t* b);

  uint8_t getByte();
  uint16_t getWord();
  uint32_t getLong();
  // Received bytes not yet handed out.
  int remaining() const { return packetLen_; }

  void DumpPacket();

  // The frame buffer as it stands (tests and diagnostics).
  const uint8_t* packetBuffer() const { return packetBuf_; }

 private:
  int receiveFrame();

  SerialPort& port_;
  Output& out_;

  uint8_t packetBuf_[FRAME_MAX] = {};
  uint8_t packetLen_ = 0;  // payload bytes appended, or bytes left to hand out
  int packetPtr_ = 3;      // next byte to append or take

  // Recogniser state (feedPacket).
  uint8_t feedBuf_[FRAME_MAX] = {};
  uint8_t feedState_ = 0;
  uint8_t feedRemaining_ = 0;
  uint8_t feedIndex_ = 0;
};

}  // namespace h8

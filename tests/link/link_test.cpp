#include "link/link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

#include "link/serial.h"
#include "support/board_line.h"

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#endif

using namespace h8;
using namespace h8test;

namespace {

using LinkTest = MonitorRig;

TEST_F(LinkTest, FramesAreBigEndianWithTheirSumAndAtMost29PayloadBytes) {
  link.putCom(0x141);  // the low byte
  link.beginPacket(0x20);
  link.putWord(0x12345);
  link.putLong(0x1000);
  link.endPacket();
  link.sendPacket();
  EXPECT_EQ(board.sent, (Bytes{0x41, STX, 0x08, 0x20, 0x23, 0x45, 0, 0, 0x10, 0, 0x60, ETX}));
  board.clearLog();
  link.beginPacket(0x01);
  for (int i = 0; i < 40; i++) link.putByte(0xAA);
  link.endPacket();
  link.sendPacket();
  ASSERT_EQ(board.sent.size(), 32u);
  EXPECT_EQ(board.sent[1], 29);
  EXPECT_EQ(board.sent.back(), ETX);
  link.DumpPacket();
  std::string aa;
  for (int i = 0; i < 13; i++) aa += "AA ";
  EXPECT_EQ(out.text, "HOST:DumpPacket:02 1D 01 " + aa + "\n" + aa + "AA F4 03 \n\n");  // 16 a line
}

// The bytes on the line; what receivePacket returns (a time-out takes its five steps, nothing
// else waits); then what getByte hands out (TYPE and payload, zeros after them) and the text
// copied to the console before the frame.
TEST_F(LinkTest, ReceiveTakesAFrameWhateverItsSumOrFails) {
  Bytes badEtx = frame(0x12, {1, 2, 3}), badSum = frame(0x00, {STX, ETX, STX});
  badEtx.back() = 0x04;
  badSum[badSum.size() - 2] ^= 1;
  const std::tuple<Bytes, int, Bytes, std::string> rows[] = {
      {{STX, 5, 0x12, 1, 2, 3, 0xE3, ETX}, 5, {0x12, 1, 2, 3, 0}, ""},
      {{'O', 'K', '\r', '\n', 0x01, 0x80, STX, 2, 0x12, 0xEC, ETX}, 2, {0x12, 0}, "OK\r\n\x80"},
      {{}, RECEIVE_NO_STX, {0}, ""},
      {{STX, 30, 0x12}, RECEIVE_BAD_COUNT, {0}, ""},
      {{STX, 0, ETX}, RECEIVE_BAD_COUNT, {0}, ""},  // no room for TYPE and SUM
      {{STX, 5, 0x12, 1}, RECEIVE_CUT_SHORT, {}, ""},
      {badEtx, RECEIVE_NO_ETX, {}, ""},
      {badSum, 5, {0, STX, ETX, STX, 0}, ""},
      {{STX, 1, 0x41, ETX}, 1, {0}, ""},  // TYPE only, not handed out
  };
  link.comTimeout = 5;
  for (const auto& [line, result, handed, text] : rows) {
    SCOPED_TRACE(testing::PrintToString(line));
    while (board.available() > 0) link.getCom();
    board.inject(line);
    long steps = board.steps();
    EXPECT_EQ(link.receivePacket(), result);
    EXPECT_EQ(board.steps() - steps, result == -1 || result == -3 ? 5 : 0);
    for (uint8_t b : handed) EXPECT_EQ(link.getByte(), b);
    EXPECT_EQ(out.take(), text);
  }
  board.inject(frame(0x10, {0xAA, 0xBB, 0xCC}));
  ASSERT_EQ(link.receivePacket(), 5);
  EXPECT_EQ(link.getByte(), 0x10);
  EXPECT_EQ(link.getLong(), 0u);  // too few bytes left: they stay
  EXPECT_EQ(link.getWord(), 0xAABB);
  EXPECT_EQ(link.getWord(), 0);
  EXPECT_EQ(link.getByte(), 0xCC);
}

TEST_F(LinkTest, RecogniserChecksEverythingAndSurvivesAnExchangeInTheMiddle) {
  Bytes badEtx = frame(0x41, {12}), badSum = frame(0x41, {12});
  badEtx.back() = 0x04;
  badSum[badSum.size() - 2] ^= 0x10;
  const std::pair<Bytes, std::vector<int>> rows[] = {
      {{'a', STX, 3, 0x50, 2, 0xAB, ETX}, {0, 1, 2, 2, 2, 2, 3}},
      {{STX, 30}, {1, -1}},
      {{STX, 0}, {1, -1}},
      {badEtx, {1, 2, 2, 2, 2, -1}},
      {badSum, {1, 2, 2, 2, 2, -1}},
  };
  for (const auto& [bytes, results] : rows) {
    std::vector<int> fed;
    for (uint8_t b : bytes) fed.push_back(link.feedPacket(b));
    EXPECT_EQ(fed, results);
  }
  Bytes f = frame(0x41, {12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19});
  for (size_t i = 0; i < 10; i++) link.feedPacket(f[i]);
  board.inject(frame(0x12, Bytes(27, 0x11)));
  ASSERT_GT(link.receivePacket(), 0);
  int last = 0;
  for (size_t i = 10; i < f.size(); i++) last = link.feedPacket(f[i]);
  EXPECT_EQ(last, FEED_COMPLETE);
  EXPECT_EQ(link.getByte(), 0x41);
  EXPECT_EQ(link.getByte(), 12);
}

#ifndef _WIN32
// A line left with flow control, parity, stripping and 7 bits is opened raw 8N1 all the same.
TEST(PosixSerialPort, OpensRaw8N1WhateverTheLineWasLeftWithAndNeverSpinsOnceLost) {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
  std::string slave = ptsname(master);
  int hold = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);  // to read the slave's settings
  termios t{};
  ASSERT_EQ(tcgetattr(hold, &t), 0);
  t.c_iflag |= IXON | IXOFF | IXANY | INPCK | ISTRIP;
  t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
  ASSERT_EQ(tcsetattr(hold, TCSANOW, &t), 0);
  auto port = makePlatformSerialPort();
  ASSERT_TRUE(port->open(slave, 38400));
  ASSERT_EQ(tcgetattr(hold, &t), 0);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | INPCK | ISTRIP), 0u);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
  EXPECT_EQ(cfgetospeed(&t), speed_t(B38400));
  // Unplugged: the line is lost, and a lost line, which poll() answers at once, still costs each
  // wait step its 10 ms instead of spinning.
  close(hold);
  close(master);
  auto began = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; i++) port->waitStep();
  EXPECT_TRUE(port->lost());
  EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(50));
  port->close();
}

// The driver's queue is taken in bulk, but callers get every byte once, in order; a wait step
// ends at once when the other descriptor (the keyboard) has input.
TEST(PosixSerialPort, HandsOutQueuedBytesInOrderAndWakesForTheKeyboard) {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
  auto port = makePlatformSerialPort();
  ASSERT_TRUE(port->open(ptsname(master), 115200));
  Bytes sent(600), got;
  for (size_t i = 0; i < sent.size(); i++) sent[i] = uint8_t(i * 7);
  ASSERT_EQ(write(master, sent.data(), sent.size()), ssize_t(sent.size()));
  for (int idle = 0; got.size() < sent.size() && idle < 500;) {
    uint8_t b;
    if (port->available() == 0) {
      port->waitStep();
      idle++;
    } else if (port->read(&b, 1) == 1) {
      got.push_back(b);
    }
  }
  EXPECT_EQ(got, sent);
  int keys[2];
  ASSERT_EQ(pipe(keys), 0);
  ASSERT_EQ(write(keys[1], "k", 1), 1);
  auto began = std::chrono::steady_clock::now();
  for (int i = 0; i < 500; i++) port->waitFor(keys[0], 10);  // 5 s if the key did not wake it
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(2500));
  close(keys[0]);
  close(keys[1]);
  port->close();
  close(master);
}
#endif

}  // namespace

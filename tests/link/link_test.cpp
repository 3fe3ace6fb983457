#include "link/link.h"

#include <gtest/gtest.h>

#include "support/board_line.h"

using namespace h8;
using namespace h8test;

namespace {

struct LinkFixture : ::testing::Test {
  BoardLine board;
  StringOutput out;
  Link link{board, out};
};

using Framing = LinkFixture;

TEST_F(Framing, BuildsAndSendsVersionRequest) {
  link.beginPacket(0x12);
  link.endPacket();
  link.sendPacket();
  EXPECT_EQ(board.sent, (Bytes{0x02, 0x02, 0x12, 0xEC, 0x03}));
}

TEST_F(Framing, BuildsMemReadRequestBigEndian) {
  link.beginPacket(0x00);
  link.putLong(0x1000);
  link.putByte(0x10);
  link.endPacket();
  link.sendPacket();
  EXPECT_EQ(board.sent, (Bytes{0x02, 0x07, 0x00, 0x00, 0x00, 0x10, 0x00, 0x10, 0xD9, 0x03}));
}

TEST_F(Framing, PutComSendsLowByteAndPutWordIsBigEndian) {
  link.putCom(0x141);
  link.beginPacket(0x20);
  link.putWord(0x12345);
  link.endPacket();
  link.sendPacket();
  EXPECT_EQ(board.sent,
            (Bytes{0x41, 0x02, 0x04, 0x20, 0x23, 0x45, uint8_t(-(4 + 0x20 + 0x23 + 0x45)), 0x03}));
}

TEST_F(Framing, OversizedPayloadStaysInsideTheBuffer) {
  link.beginPacket(0x01);
  for (int i = 0; i < 40; i++) link.putByte(0xAA);
  link.endPacket();
  link.sendPacket();
  ASSERT_EQ(board.sent.size(), 32u);
  EXPECT_EQ(board.sent[1], 29);
  EXPECT_EQ(board.sent.back(), 0x03);
}

using Receive = LinkFixture;

TEST_F(Receive, HandsOutTypeAndPayloadThenZeros) {
  board.inject({0x02, 0x05, 0x12, 0x01, 0x02, 0x03, 0xE3, 0x03});
  EXPECT_EQ(link.receivePacket(), 5);
  EXPECT_EQ(link.getByte(), 0x12);
  EXPECT_EQ(link.getByte(), 1);
  EXPECT_EQ(link.getByte(), 2);
  EXPECT_EQ(link.getByte(), 3);
  EXPECT_EQ(link.getByte(), 0);  // SUM is not handed out
}

TEST_F(Receive, CopiesPrintableTextBeforeTheFrame) {
  board.inject({'O', 'K', '\r', '\n', 0x01, 0x80});
  board.inject(frame(0x12, {1, 2, 3}));
  EXPECT_EQ(link.receivePacket(), 5);
  EXPECT_EQ(out.text, "OK\r\n\x80");
}

TEST_F(Receive, FailureCodes) {
  link.comTimeout = 5;
  EXPECT_EQ(link.receivePacket(), -1);
  EXPECT_EQ(board.steps(), 5);

  board.inject({0x02, 30, 0x12});
  EXPECT_EQ(link.receivePacket(), -2);

  board.inject({0x02, 0x05, 0x12, 0x01});
  EXPECT_EQ(link.receivePacket(), -3);

  Bytes f = frame(0x12, {1, 2, 3});
  f.back() = 0x04;
  board.inject(f);
  EXPECT_EQ(link.receivePacket(), -4);
}

TEST_F(Receive, AcceptsWrongSumAndDataStx) {
  Bytes f = frame(0x00, {0x02, 0x03, 0x02});
  f[f.size() - 2] ^= 1;
  board.inject(f);
  EXPECT_EQ(link.receivePacket(), 5);
  EXPECT_EQ(link.getByte(), 0);
  EXPECT_EQ(link.getByte(), 2);
  EXPECT_EQ(link.getByte(), 3);
}

TEST_F(Receive, CountZeroIsRefusedAndReadsNothing) {
  board.inject({0x02, 0x00, 0x03});
  EXPECT_EQ(link.receivePacket(), -2);
  EXPECT_EQ(link.getByte(), 0);
  EXPECT_EQ(link.getLong(), 0u);
  // COUNT 1 is harmless: TYPE only.
  board.inject({0x02, 0x01, 0x41, 0x03});
  EXPECT_EQ(link.receivePacket(), 1);
  EXPECT_EQ(link.getByte(), 0);
}

TEST_F(Receive, GetLongWithTooFewBytesLeavesThem) {
  board.inject(frame(0x10, {0xAA, 0xBB, 0xCC}));
  ASSERT_GT(link.receivePacket(), 0);
  EXPECT_EQ(link.getByte(), 0x10);
  EXPECT_EQ(link.getLong(), 0u);
  EXPECT_EQ(link.getWord(), 0xAABB);
  EXPECT_EQ(link.getByte(), 0xCC);
}

TEST_F(Receive, QueuedByteIsTakenWithoutSleepingAndTimeoutCountsSteps) {
  link.comTimeout = 1000;
  board.inject({0x55});
  EXPECT_EQ(link.getCom(), 0x55);
  EXPECT_EQ(board.steps(), 0);
  EXPECT_EQ(link.getCom(), -1);
  EXPECT_EQ(board.steps(), 1000);
}

using Recogniser = LinkFixture;

std::vector<int> feedAll(Link& link, const Bytes& bytes) {
  std::vector<int> r;
  for (uint8_t b : bytes) r.push_back(link.feedPacket(b));
  return r;
}

TEST_F(Recogniser, ReturnsStateCodesAndCompletesValidFrame) {
  EXPECT_EQ(feedAll(link, {'a', 0x02, 0x03, 0x50, 0x02, 0xAB, 0x03}),
            (std::vector<int>{0, 1, 2, 2, 2, 2, 3}));
  EXPECT_EQ(link.getByte(), 0x50);
  EXPECT_EQ(link.getByte(), 0x02);
  EXPECT_EQ(link.getByte(), 0);
}

TEST_F(Recogniser, RejectsBadCountBadEtxAndBadSum) {
  EXPECT_EQ(link.feedPacket(0x02), 1);
  EXPECT_EQ(link.feedPacket(30), -1);
  EXPECT_EQ(link.feedPacket(0x02), 1);
  EXPECT_EQ(link.feedPacket(0x00), -1);  // COUNT 0 has no room for TYPE and SUM
  Bytes f = frame(0x41, {12});
  f.back() = 0x04;
  EXPECT_EQ(feedAll(link, f).back(), -1);
  f = frame(0x41, {12});
  f[f.size() - 2] ^= 0x10;
  EXPECT_EQ(feedAll(link, f).back(), -1);
  EXPECT_EQ(feedAll(link, frame(0x41, {12})).back(), 3);
}

TEST_F(Recogniser, SurvivesASynchronousExchangeInTheMiddle) {
  Bytes f = frame(0x41, {12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19});
  for (size_t i = 0; i < 10; i++) link.feedPacket(f[i]);
  board.inject(frame(0x12, Bytes(27, 0x11)));
  ASSERT_GT(link.receivePacket(), 0);
  int last = 0;
  for (size_t i = 10; i < f.size(); i++) last = link.feedPacket(f[i]);
  EXPECT_EQ(last, 3);
  EXPECT_EQ(link.getByte(), 0x41);
  EXPECT_EQ(link.getByte(), 12);
}

TEST_F(Framing, DumpPacketPrintsSixteenPerLine) {
  link.beginPacket(0x01);
  for (int i = 0; i < 14; i++) link.putByte(i);
  link.endPacket();
  link.DumpPacket();
  EXPECT_EQ(out.text,
            "HOST:DumpPacket:02 10 01 00 01 02 03 04 05 06 07 08 09 0A 0B 0C \n"
            "0D 94 03 \n");
}

}  // namespace

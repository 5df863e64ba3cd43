#include <gtest/gtest.h>

#include <vector>

#include "pipeline/LineEncoder.h"

namespace {

struct Panel {
  std::vector<int32_t> work = std::vector<int32_t>(400 * 240, 0);
  std::vector<uint8_t> out = std::vector<uint8_t>(240 * kLineRecordSize, 0xEE);

  uint32_t encode(LineRange range, uint8_t invert, int32_t rotate) {
    return encodeLines(out.data(), work.data(), 400, range, invert, rotate);
  }
  const uint8_t* record(int32_t i) const { return out.data() + i * kLineRecordSize; }
};

LineRange rangeOf(std::initializer_list<comsrc::Rect> rects, int32_t areaTop) {
  LineRange r;
  for (const comsrc::Rect& rect : rects) r.widen(rect, areaTop);
  return r;
}

TEST(LineRecord, FullyBrightAndSinglePixelRows) {
  Panel p;
  std::fill(p.work.begin(), p.work.begin() + 400, 32768);
  ASSERT_EQ(p.encode({0, 1}, 0, 0), 57u);
  EXPECT_EQ(p.out[0], 0x80);
  EXPECT_EQ(p.out[1], 0x80);
  EXPECT_EQ(p.out[2], 0x01);
  for (int32_t k = 0; k < 50; ++k) EXPECT_EQ(p.out[size_t(3 + k)], 0xFF) << k;
  for (int32_t k = 53; k < 57; ++k) EXPECT_EQ(p.out[size_t(k)], 0x00);

  std::fill(p.work.begin(), p.work.begin() + 400, 32767);
  p.work[0] = 65280;
  p.encode({0, 1}, 0, 0);
  EXPECT_EQ(p.out[3], 0x01);
  for (int32_t k = 1; k < 50; ++k) EXPECT_EQ(p.out[size_t(3 + k)], 0x00) << k;

  p.encode({0, 1}, 0, 2);
  EXPECT_EQ(p.out[2], 240);
  EXPECT_EQ(p.out[52], 0x80);  // the leftmost pixel is bit 7 of the last byte
  for (int32_t k = 0; k < 49; ++k) EXPECT_EQ(p.out[size_t(3 + k)], 0x00) << k;
}

TEST(LineRecord, ChangedRowsTenAndElevenRotatedBothWays) {
  Panel p;
  // Row 10: pixel 9 and pixel 399 on; row 11: pixel 392 on.
  p.work[400 * 10 + 9] = 61440;
  p.work[400 * 10 + 399] = 61440;
  p.work[400 * 11 + 392] = 61440;
  const LineRange range = rangeOf({{0, 10, 400, 12}}, 0);
  ASSERT_EQ(p.encode(range, 0, 0), 114u);
  EXPECT_EQ(p.record(0)[2], 11);
  EXPECT_EQ(p.record(1)[2], 12);
  EXPECT_EQ(p.record(0)[3 + 1], 0x02);   // pixel 9: byte 1, bit 1
  EXPECT_EQ(p.record(0)[3 + 49], 0x80);  // pixel 399: byte 49, bit 7
  EXPECT_EQ(p.record(1)[3 + 49], 0x01);  // pixel 392: byte 49, bit 0

  ASSERT_EQ(p.encode(range, 0, 2), 114u);
  EXPECT_EQ(p.record(0)[2], 230);
  EXPECT_EQ(p.record(1)[2], 229);
  EXPECT_EQ(p.record(0)[3 + 0], 0x01);   // pixel 399 − 8·0 − 0 is bit 0 of byte 0
  EXPECT_EQ(p.record(0)[3 + 48], 0x40);  // pixel 9 = 399 − 8·48 − 6
  EXPECT_EQ(p.record(1)[3 + 0], 0x80);   // pixel 392 = 399 − 7

  // invert flips every data bit, never the markers, address or trailer.
  for (int32_t rotate : {0, 2}) {
    std::vector<uint8_t> plain(114);
    p.encode(range, 0, rotate);
    std::copy(p.out.begin(), p.out.begin() + 114, plain.begin());
    p.encode(range, 1, rotate);
    for (int32_t i = 0; i < 114; ++i) {
      const int32_t field = i % 57;
      const uint8_t expected = field >= 3 && field < 53 ? uint8_t(~plain[size_t(i)]) : plain[size_t(i)];
      EXPECT_EQ(p.out[size_t(i)], expected) << "rotate " << rotate << " byte " << i;
    }
  }
}

TEST(LineRecord, OtherRotationsSendABlankFirstLine) {
  Panel p;
  std::fill(p.work.begin(), p.work.end(), 65280);
  for (int32_t rotate : {1, 3, -2}) {
    ASSERT_EQ(p.encode({100, 102}, 1, rotate), 114u);
    for (int32_t i = 0; i < 2; ++i) {
      EXPECT_EQ(p.record(i)[0], 0x80);
      EXPECT_EQ(p.record(i)[2], 1);
      for (int32_t k = 3; k < 57; ++k) EXPECT_EQ(p.record(i)[k], 0x00);
    }
  }
}

TEST(LineRange, HullOfTheChangedRowsWithinThePanel) {
  LineRange r = rangeOf({{0, 5, 10, 7}, {0, 100, 10, 102}}, 0);
  EXPECT_EQ(r.first, 5);
  EXPECT_EQ(r.last, 102);
  EXPECT_EQ(r.count(), 97);

  r = rangeOf({{900, 20, 950, 30}}, 0);  // wholly to the right of any device area: still sent
  EXPECT_EQ(r.first, 20);
  EXPECT_EQ(r.last, 30);

  r = rangeOf({{0, 50, 10, 400}}, 40);  // starts above the area and runs past its last row
  EXPECT_EQ(r.first, 10);
  EXPECT_EQ(r.last, 240);
  r = rangeOf({{0, 0, 10, 60}}, 40);
  EXPECT_EQ(r.first, 0);
  EXPECT_EQ(r.last, 20);

  r = rangeOf({{0, 0, 10, 30}}, 40);  // wholly above: widens the start, adds no line
  EXPECT_TRUE(r.isEmpty());
  r = rangeOf({{0, 300, 10, 310}}, 0);  // wholly below the panel
  EXPECT_TRUE(r.isEmpty());
  r = rangeOf({{0, 10, 10, 10}, {0, 12, 10, 11}}, 0);  // rectangles without rows count for nothing
  EXPECT_TRUE(r.isEmpty());
  r = rangeOf({{0, INT32_MIN, 10, INT32_MAX}}, 100);
  EXPECT_EQ(r.first, 0);
  EXPECT_EQ(r.last, 240);
}

// Counts how often the link was asked and what it was offered.
struct FakeLink {
  uint32_t room = 0;
  int32_t readings = 0;
  int32_t offers = 0;
  uint32_t offered = 0;

  uint32_t freeSpace() {
    ++readings;
    return room;
  }
  int32_t enqueue(const uint8_t*, uint32_t length) {
    ++offers;
    offered = length;
    return length <= room ? 0 : -1;
  }
};

TEST(QueueBlock, OneWholeOfferWithoutWaitingForRoom) {
  const uint8_t block[114] = {};
  FakeLink full;
  full.room = 113;
  EXPECT_EQ(queueBlock(full, block, 114), -1);
  EXPECT_EQ(full.readings, 0);
  EXPECT_EQ(full.offers, 1);
  EXPECT_EQ(full.offered, 114u);

  FakeLink roomy;
  roomy.room = 114;
  EXPECT_EQ(queueBlock(roomy, block, 114), 0);
  EXPECT_EQ(roomy.offers, 1);

  FakeLink idle;
  EXPECT_EQ(queueBlock(idle, block, 0), 0);
  EXPECT_EQ(idle.readings + idle.offers, 0);
}

}  // namespace

#include <gtest/gtest.h>

#include <vector>

#include "tools/common/PanelDecoder.h"

namespace {

std::vector<uint8_t> record(int address, uint8_t fill) {
  std::vector<uint8_t> r{0x80, 0x80, static_cast<uint8_t>(address)};
  r.insert(r.end(), 50, fill);
  r.insert(r.end(), 4, 0);
  return r;
}

void append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) { to.insert(to.end(), bytes.begin(), bytes.end()); }

}  // namespace

TEST(PanelDecoder, DrawsRecordsWithBitZeroLeftmostAndAddressOneAtTheTop) {
  PanelDecoder d;
  std::vector<uint8_t> r = record(1, 0);
  r[3] = 0x01;   // leftmost pixel
  r[52] = 0x80;  // rightmost pixel
  std::vector<uint8_t> bottom = record(240, 0xFF);
  d.feed(r.data(), r.size());
  EXPECT_EQ(d.lastAddress(), 1);
  EXPECT_EQ(d.lastBright(), 2);
  d.feed(bottom.data(), bottom.size());
  EXPECT_EQ(d.lastAddress(), 240);
  EXPECT_EQ(d.lastBright(), 400);
  EXPECT_EQ(d.records(), 2u);
  EXPECT_EQ(d.bytes(), 114u);
  EXPECT_EQ(d.skipped(), 0u);
  EXPECT_EQ(d.pixel(0, 0), 1);
  EXPECT_EQ(d.pixel(1, 0), 0);
  EXPECT_EQ(d.pixel(398, 0), 0);
  EXPECT_EQ(d.pixel(399, 0), 1);
  for (int x = 0; x < 400; ++x) EXPECT_EQ(d.pixel(x, 239), 1);
  for (int x = 0; x < 400; ++x) EXPECT_EQ(d.pixel(x, 1), 0);
  EXPECT_EQ(d.grey()[399], 255);
  EXPECT_EQ(d.grey()[1], 0);
}

TEST(PanelDecoder, AcceptsRecordsSplitAtEveryByte) {
  PanelDecoder d;
  std::vector<uint8_t> bytes;
  for (int a = 1; a <= 240; ++a) append(bytes, record(a, static_cast<uint8_t>(a)));
  for (uint8_t b : bytes) d.feed(&b, 1);
  EXPECT_EQ(d.records(), 240u);
  EXPECT_EQ(d.skipped(), 0u);
  EXPECT_EQ(d.pending(), 0u);
  // Row 6 (address 7) holds 0x07 in every byte: pixels 0, 1, 2 of each group of eight.
  EXPECT_EQ(d.pixel(8 * 10 + 2, 6), 1);
  EXPECT_EQ(d.pixel(8 * 10 + 3, 6), 0);
}

TEST(PanelDecoder, ResynchronisesAfterGarbageAndCountsWhatItSkipped) {
  PanelDecoder d;
  std::vector<uint8_t> bytes{0x00, 0x80, 0x13};                 // 3 stray bytes
  const std::vector<uint8_t> cut = record(5, 0xFF);
  bytes.insert(bytes.end(), cut.begin(), cut.begin() + 30);  // a record cut short
  append(bytes, record(6, 0xFF));
  std::vector<uint8_t> badAddress = record(0, 0xFF);
  append(bytes, badAddress);
  std::vector<uint8_t> badTail = record(7, 0xFF);
  badTail[56] = 1;
  append(bytes, badTail);
  append(bytes, record(8, 0x0F));
  d.feed(bytes.data(), bytes.size());
  EXPECT_EQ(d.records(), 2u);
  EXPECT_EQ(d.bytes(), bytes.size());
  EXPECT_EQ(d.skipped(), bytes.size() - 2 * 57);
  EXPECT_EQ(d.pixel(0, 4), 0);  // the cut record drew nothing
  EXPECT_EQ(d.pixel(0, 5), 1);
  EXPECT_EQ(d.pixel(0, 6), 0);  // nor did the one with a broken tail
  EXPECT_EQ(d.pixel(3, 7), 1);
  EXPECT_EQ(d.pixel(4, 7), 0);
}

TEST(PanelDecoder, FindsARecordThatStartsInsideARejectedOne) {
  // A record whose tail is wrong but whose data hides the start of a real one.
  std::vector<uint8_t> outer = record(9, 0);
  std::vector<uint8_t> inner = record(10, 0xAA);
  std::vector<uint8_t> bytes(outer.begin(), outer.begin() + 20);
  append(bytes, inner);
  PanelDecoder d;
  d.feed(bytes.data(), bytes.size());
  EXPECT_EQ(d.records(), 1u);
  EXPECT_EQ(d.skipped(), 20u);
  EXPECT_EQ(d.pixel(1, 9), 1);
  EXPECT_EQ(d.pixel(0, 9), 0);
}

TEST(PanelDecoder, FinishCountsAnUnfinishedRecordAsSkipped) {
  PanelDecoder d;
  std::vector<uint8_t> r = record(3, 0xFF);
  d.feed(r.data(), 40);
  EXPECT_EQ(d.pending(), 40u);
  d.finish();
  EXPECT_EQ(d.pending(), 0u);
  EXPECT_EQ(d.skipped(), 40u);
  EXPECT_EQ(d.records(), 0u);
}

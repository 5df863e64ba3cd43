#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "pipeline/Dither.h"
#include "pipeline/DitherBands.h"

namespace {

// A device with a 400 × 240 working area over a captured image of the given size, every pixel
// of the image at one luma unless set otherwise.
struct Bench {
  int32_t width, height;
  std::vector<int32_t> luma;
  std::vector<int32_t> work = std::vector<int32_t>(400 * 240, 0);
  ToneCurve tone;

  Bench(int32_t w, int32_t h, int32_t y) : width(w), height(h), luma(size_t(w * h), y) {}

  void dither(int32_t mode, comsrc::Rect changed, comsrc::Rect area, uint32_t n = 0) {
    ditherChanged(mode, LumaImage{luma.data(), width}, tone, changed, WorkArea{work.data(), 400, area}, n);
  }
  bool on(int32_t c, int32_t r) const { return work[size_t(400 * r + c)] >= 32768; }
  int32_t& at(int32_t c, int32_t r) { return work[size_t(400 * r + c)]; }
};

TEST(Threshold, HalfScaleIsOnAndModesOtherThanOneAndTwoThreshold) {
  for (int32_t mode : {0, 3, 4, -7}) {
    Bench b(2, 1, 32768);
    b.luma[1] = 32767;
    b.dither(mode, {0, 0, 2, 1}, {0, 0, 2, 1});
    EXPECT_EQ(b.at(0, 0), 65280) << mode;
    EXPECT_EQ(b.at(1, 0), 0) << mode;
  }
}

TEST(Threshold, OnlyTheChangedPixelsInsideTheAreaAreWritten) {
  Bench b(50, 40, 60000);
  std::fill(b.work.begin(), b.work.end(), 7);
  b.dither(0, {5, 5, 20, 20}, {10, 12, 30, 40});  // area starts at capture (10, 12)
  EXPECT_EQ(b.at(0, 0), 65280);                   // capture (10, 12)
  EXPECT_EQ(b.at(9, 7), 65280);                   // capture (19, 19)
  EXPECT_EQ(b.at(10, 7), 7);
  EXPECT_EQ(b.at(9, 8), 7);
  b.dither(0, {0, 0, 10, 40}, {10, 12, 30, 40});  // wholly left of the area: touches nothing
  EXPECT_EQ(b.at(10, 0), 7);
}

TEST(Halftone, MidGreyIsACheckerboardThatInvertsEveryFrame) {
  Bench b(8, 8, 32768);
  b.dither(2, {0, 0, 8, 8}, {0, 0, 8, 8}, 0);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(b.on(x, y), (x + y) % 2 == 1) << x << "," << y;
  b.dither(2, {0, 0, 8, 8}, {0, 0, 8, 8}, 1);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(b.on(x, y), (x + y) % 2 == 0) << x << "," << y;
}

TEST(Halftone, QuarterGreyOneInFourMovingWithTheFrame) {
  Bench b(8, 4, 16384);
  b.dither(2, {0, 0, 8, 4}, {0, 0, 8, 4}, 0);
  // Row 0: x ≡ 0 mod 4. Row 1: x − 2 ≡ 0, so x ≡ 2.
  EXPECT_TRUE(b.on(0, 0) && b.on(4, 0) && b.on(2, 1) && b.on(6, 1));
  int32_t count = 0;
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 8; ++x) count += b.on(x, y);
  EXPECT_EQ(count, 8);
  b.dither(2, {0, 0, 8, 4}, {0, 0, 8, 4}, 1);  // x + 1 ≡ 0: one step to the left
  EXPECT_TRUE(b.on(3, 0) && b.on(7, 0) && !b.on(0, 0));

  // The frame counter wraps as a 32-bit number: phase 2³² − 1 is the same as phase −1.
  b.dither(2, {0, 0, 8, 4}, {0, 0, 8, 4}, 0xFFFFFFFFu);
  EXPECT_TRUE(b.on(1, 0) && b.on(5, 0) && !b.on(0, 0));
}

TEST(Halftone, PatternsAreAnchoredToTheCaptureNotTheArea) {
  Bench b(20, 4, 16384);
  b.dither(2, {0, 0, 20, 4}, {3, 0, 13, 4}, 0);
  EXPECT_TRUE(b.on(1, 0));  // capture x 4
  EXPECT_FALSE(b.on(0, 0));
}

TEST(Halftone, LevelsWithTheDefaultsAndWithMoreOffset) {
  Bench white(4, 4, 220 * 255);  // pure white: three in four, not full white
  white.dither(2, {0, 0, 4, 4}, {0, 0, 4, 4}, 0);
  int32_t count = 0;
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) count += white.on(x, y);
  EXPECT_EQ(count, 12);
  EXPECT_FALSE(white.on(3, 0));  // x − 2y + n ≡ 3
  DeviceSettings brighter;
  brighter.offset = 8;
  white.tone = ToneCurve::of(brighter);
  white.dither(2, {0, 0, 4, 4}, {0, 0, 4, 4}, 0);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_TRUE(white.on(x, y));

  Bench dark(2, 1, 8191);
  dark.dither(2, {0, 0, 2, 1}, {0, 0, 2, 1}, 0);
  EXPECT_FALSE(dark.on(0, 0));
  EXPECT_FALSE(dark.on(1, 0));
}

TEST(FloydSteinberg, ErrorSharesAreCutTowardZero) {
  // Worked by hand for a 3 × 2 area of mid-grey; the last share, −136710 / 16, must cut
  // to −8544, not round down to −8545, for the last pixel to come out as it does.
  Bench b(3, 2, 32768);
  b.dither(1, {0, 0, 3, 2}, {0, 0, 3, 2});
  EXPECT_EQ(b.at(0, 0), 61440);
  EXPECT_EQ(b.at(1, 0), 4096);
  EXPECT_EQ(b.at(2, 0), 61440);
  EXPECT_EQ(b.at(0, 1), 4096);
  EXPECT_EQ(b.at(1, 1), 61440);
  EXPECT_EQ(b.at(2, 1), 4096);
}

TEST(FloydSteinberg, FirstPixelOnAndRoughlyHalfOfMidGrey) {
  Bench b(400, 240, 32768);
  b.dither(1, {0, 0, 400, 240}, {0, 0, 400, 240});
  EXPECT_TRUE(b.on(0, 0));
  EXPECT_FALSE(b.on(1, 0));  // 32768 + 7 × (32768 − 61440) / 16 = 20224
  int32_t count = 0;
  for (int32_t v : b.work) count += v >= 32768;
  EXPECT_NEAR(count, 48000, 480);
}

TEST(FloydSteinberg, ErrorReachesNeighboursOutsideTheRectangleButIsNotQuantized) {
  Bench b(10, 10, 32768);
  b.at(3, 2) = 1000;
  b.at(2, 3) = 1000;
  b.at(1, 3) = 1000;
  b.at(3, 3) = 1000;
  b.dither(1, {2, 2, 3, 3}, {0, 0, 10, 10});  // one pixel at (2, 2), e = −28672
  EXPECT_EQ(b.at(2, 2), 61440);
  EXPECT_EQ(b.at(3, 2), 1000 - 12544);  // 7/16, left as it is
  EXPECT_EQ(b.at(1, 3), 1000 - 5376);   // 3/16
  EXPECT_EQ(b.at(2, 3), 1000 - 8960);   // 5/16
  EXPECT_EQ(b.at(3, 3), 1000 - 1792);   // 1/16

  // A later frame's tone pass overwrites the error a pixel carries.
  b.dither(1, {3, 2, 4, 3}, {0, 0, 10, 10});
  EXPECT_EQ(b.at(3, 2), 61440);
}

TEST(FloydSteinberg, NoErrorLeavesTheDeviceArea) {
  Bench b(20, 20, 40000);
  std::fill(b.work.begin(), b.work.end(), 123);
  b.dither(1, {0, 0, 20, 20}, {2, 2, 6, 6});  // working columns and rows 0 … 3
  for (int32_t r = 0; r < 5; ++r) EXPECT_EQ(b.at(4, r), 123) << r;
  for (int32_t c = 0; c < 5; ++c) EXPECT_EQ(b.at(c, 4), 123) << c;
  for (int32_t r = 0; r < 4; ++r)
    for (int32_t c = 0; c < 4; ++c) EXPECT_TRUE(b.at(c, r) == 61440 || b.at(c, r) == 4096);
}

TEST(FloydSteinberg, ErrorCollectedOverManyFramesStaysBounded) {
  Bench b(4, 4, 61440);
  b.at(1, 0) = (1 << 30) + 500000000;  // as if error had piled up for a very long time
  b.dither(1, {0, 0, 1, 1}, {0, 0, 4, 4});
  EXPECT_LE(b.at(1, 0), 1 << 30);
  EXPECT_TRUE(b.on(1, 0));
  b.at(1, 0) = (1 << 30) - 5000;
  b.luma[0] = 30000;  // quantized to 4096 every frame, pushing +11333 into its right neighbour
  for (int32_t frame = 0; frame < 1000; ++frame) b.dither(1, {0, 0, 1, 1}, {0, 0, 4, 4});
  EXPECT_EQ(b.at(1, 0), 1 << 30);
  EXPECT_TRUE(b.on(1, 0));
}

// The diffusion as plainly written: a tone pass over the rectangle, then every share added in
// place. The pipeline's faster form must give the same elements for any rectangle and area.
void referenceFloydSteinberg(const std::vector<int32_t>& luma, int32_t lumaWidth, const ToneCurve& tone,
                             comsrc::Rect changed, comsrc::Rect area, std::vector<int32_t>& work) {
  comsrc::Rect r;
  if (!comsrc::intersectRect(r, changed, area)) return;
  auto el = [&](int32_t c, int32_t row) -> int32_t& { return work[size_t(400 * row + c)]; };
  for (int32_t y = r.top; y < r.bottom; ++y)
    for (int32_t x = r.left; x < r.right; ++x)
      el(x - area.left, y - area.top) = clampTone(tone.apply(luma[size_t(y * lumaWidth + x)]));
  const int32_t areaW = area.width(), areaH = area.height();
  for (int32_t y = r.top; y < r.bottom; ++y)
    for (int32_t x = r.left; x < r.right; ++x) {
      const int32_t c = x - area.left, row = y - area.top;
      const int32_t old = el(c, row);
      const int32_t quantized = old >= 32768 ? 61440 : 4096;
      el(c, row) = quantized;
      const int32_t e = old - quantized;
      if (c < areaW - 1) el(c + 1, row) += (7 * e) / 16;
      if (row < areaH - 1) {
        if (c > 0) el(c - 1, row + 1) += (3 * e) / 16;
        el(c, row + 1) += (5 * e) / 16;
        if (c < areaW - 1) el(c + 1, row + 1) += e / 16;
      }
    }
}

TEST(FloydSteinberg, SameAsThePlainAlgorithmForAnyRectangleAndArea) {
  uint32_t seed = 7;
  auto next = [&](int32_t bound) {
    seed = seed * 1103515245u + 12345u;
    return int32_t((seed >> 8) % uint32_t(bound));
  };
  const int32_t width = 500, height = 300;
  std::vector<int32_t> luma(size_t(width * height));
  for (int32_t& v : luma) v = 4096 + next(57345);
  for (int32_t round = 0; round < 200; ++round) {
    DeviceSettings s;
    if (round % 3 == 1) s.contrast = 1.3, s.offset = -5;
    if (round % 3 == 2) s.gamma = 0.8;
    const ToneCurve tone = ToneCurve::of(s);
    const int32_t left = next(120) - 20, top = next(80) - 20;
    const comsrc::Rect area{std::max(left, 0), std::max(top, 0), std::min(left + 400, width),
                            std::min(top + 240, height)};
    std::vector<int32_t> expected(400 * 240);
    for (int32_t& v : expected) v = next(70000) - 2000;
    std::vector<int32_t> actual = expected, inBandsOfEight = expected;
    for (int32_t k = 0; k < 3; ++k) {
      const int32_t x = next(width + 40) - 20, y = next(height + 40) - 20;
      const comsrc::Rect changed{x, y, x + 1 + next(200), y + 1 + next(150)};
      referenceFloydSteinberg(luma, width, tone, changed, area, expected);
      ditherChanged(1, LumaImage{luma.data(), width}, tone, changed, WorkArea{actual.data(), 400, area}, 0);
      // Bands of eight rows, as processors without 512-bit vectors diffuse.
      floydSteinbergBands(LumaImage{luma.data(), width}, tone, changed, WorkArea{inBandsOfEight.data(), 400, area}, 8);
    }
    ASSERT_EQ(actual, expected) << "round " << round;
    ASSERT_EQ(inBandsOfEight, expected) << "round " << round;
  }
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "pipeline/Dither.h"
#include "pipeline/FrameState.h"
#include "pipeline/LumaConversion.h"
#include "pipeline/Tone.h"

namespace {

ToneCurve curve(double contrast, int32_t offset, double gamma) {
  DeviceSettings s;
  s.contrast = contrast;
  s.offset = offset;
  s.gamma = gamma;
  return ToneCurve::of(s);
}

TEST(Tone, DefaultsKeepTheLumaAndOffsetStepsBy256) {
  const ToneCurve defaults = curve(1.0, 0, 1.0);
  for (int32_t y : {4096, 32767, 32768, 56100, 61440}) EXPECT_EQ(defaults.apply(y), y);
  EXPECT_EQ(curve(1.0, 8, 1.0).apply(56100), 56100 + 8 * 256);
  EXPECT_EQ(curve(1.0, -3, 1.0).apply(32768), 32768 - 768);
  // The contrast product is cut toward zero on both sides of mid-grey.
  EXPECT_EQ(curve(1.1, 0, 1.0).apply(32768 + 5), 32768 + 5);   // 5.5 → 5
  EXPECT_EQ(curve(1.1, 0, 1.0).apply(32768 - 5), 32768 - 5);   // −5.5 → −5
  EXPECT_EQ(curve(0.5, 0, 1.0).apply(4096), 32768 - 14336);
}

TEST(Tone, GammaOfExactlyOneSkipsThePower) {
  // 0.5 raised to a power a hair above 1 is a hair below 0.5: the power step really runs.
  EXPECT_EQ(curve(1.0, 0, 1.0).apply(32768), 32768);
  EXPECT_EQ(curve(1.0, 0, 1.0000000001).apply(32768), 32767);
  EXPECT_EQ(curve(1.0, 0, 2.0).apply(32768), 16384);
  EXPECT_EQ(curve(1.0, 0, 0.5).apply(16384), 32768);

  // A negative tone stays negative with gamma 1, but is no number with a fractional power.
  EXPECT_EQ(curve(2.0, 0, 1.0).apply(4096), -24576);
  EXPECT_LT(curve(2.0, 0, 1.0000000001).apply(4096), 4096);
  EXPECT_LT(curve(2.0, 0, 0.7).apply(4096), 4096);
  // A whole-number power of a negative tone is the ordinary integer power.
  EXPECT_EQ(curve(1.0, -256, 2.0).apply(32768), 16384);   // t = −32768: (−0.5)² = 0.25
  EXPECT_EQ(curve(1.0, -256, 3.0).apply(32768), -8192);   // (−0.5)³
}

TEST(Tone, ExtremeSettingsSaturateInsteadOfWrapping) {
  const ToneCurve steep = curve(1e12, 0, 1.0);
  EXPECT_EQ(steep.apply(61440), INT32_MAX);
  EXPECT_EQ(steep.apply(4096), INT32_MIN + 32768);
  EXPECT_EQ(curve(1.0, INT32_MAX, 1.0).apply(32768), INT32_MAX);
  const int32_t steepGamma = curve(1.0, 0, 50.0).apply(61440);  // 0.9375^50 × 65536 = 2599.99…
  EXPECT_GE(steepGamma, 2599);
  EXPECT_LE(steepGamma, 2600);
  EXPECT_EQ(curve(1.0, 100, 50.0).apply(61440), INT32_MAX);
}

TEST(Tone, NotANumberIsDarkInEveryMode) {
  const ToneCurve nanCurve = curve(2.0, 0, 0.5);  // every dark pixel gives a negative base
  int32_t work[3] = {1, 1, 1};
  const int32_t luma[1] = {4096};
  for (int32_t mode : {0, 1, 2}) {
    WorkArea area{work, 1, {0, 0, 1, 1}};
    ditherChanged(mode, LumaImage{luma, 1}, nanCurve, {0, 0, 1, 1}, area, 0);
    EXPECT_LT(work[0], 32768) << "mode " << mode;
  }
}

TEST(Luma, TablesAndClamp) {
  FrameState frame;
  buildLumaTables(frame);
  EXPECT_EQ(frame.tablesBuilt, 1);
  const uint8_t pixels[4 * 4] = {255, 255, 255, 0, 0, 0, 0, 255, 10, 20, 30, 0, 255, 0, 0, 0};  // B, G, R, X
  convertToLuma(frame, pixels, 16, 4, 1);
  EXPECT_EQ(frame.lumaBuffer[0], 220 * 255);
  EXPECT_EQ(frame.lumaBuffer[1], 4096);
  EXPECT_EQ(frame.lumaBuffer[2], 25 * 10 + 129 * 20 + 66 * 30);
  EXPECT_EQ(frame.lumaBuffer[3], 25 * 255);

  // A row long enough for the vector loop: every byte value in each channel, as the tables say.
  std::vector<uint8_t> row(4 * 256);
  for (int32_t x = 0; x < 256; ++x) {
    row[size_t(4 * x)] = uint8_t(x);
    row[size_t(4 * x + 1)] = uint8_t(255 - x);
    row[size_t(4 * x + 2)] = uint8_t(x * 7);
    row[size_t(4 * x + 3)] = uint8_t(x * 13);
  }
  convertToLuma(frame, row.data(), 4 * 256, 256, 1);
  for (int32_t x = 0; x < 256; ++x) {
    const int32_t sum = frame.lumaB[x] + frame.lumaG[255 - x] + frame.lumaR[(x * 7) & 255];
    ASSERT_EQ(frame.lumaBuffer[size_t(x)], std::max(sum, 4096)) << x;
  }

  // Rows are read with the image's stride, even a negative one; the buffer's stride is the width.
  const uint8_t twoRows[2 * 8] = {0, 0, 255, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0};
  convertToLuma(frame, twoRows + 8, -8, 1, 2);
  EXPECT_EQ(frame.lumaBuffer[0], 129 * 255);
  EXPECT_EQ(frame.lumaBuffer[1], 66 * 255);
}

TEST(CaptureSize, DisplayBoundsAndTheFirstSlotsShrink) {
  int32_t w = -1, h = -1;
  captureSize({0, 0, 1920, 1080}, 0, w, h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  captureSize({0, 0, 1920, 1080}, 2, w, h);
  EXPECT_EQ(w, 210);
  EXPECT_EQ(h, 160);
  captureSize({0, 0, 1920, 1080}, 1, w, h);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 240);
  captureSize({0, 0, 1920, 1080}, 3, w, h);
  EXPECT_EQ(w, 160);
  EXPECT_EQ(h, 120);
  captureSize({100, 50, 400, 150}, 1, w, h);  // each bound taken separately
  EXPECT_EQ(w, 300);
  EXPECT_EQ(h, 100);
  captureSize({0, 0, 1920, 1080}, 7, w, h);
  EXPECT_EQ(w, 640);
  captureSize({0, 0, 1920, 1080}, -1, w, h);
  EXPECT_EQ(w, 640);
  captureSize({10, 10, 0, 0}, 0, w, h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  captureSize({INT32_MIN, 0, INT32_MAX, 1}, 0, w, h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 1);
}

}  // namespace

#include "pipeline/Capture.h"

#include <algorithm>

#include "pipeline/FrameState.h"

namespace {
constexpr int32_t kLumaR = 66, kLumaG = 129, kLumaB = 25;
}  // namespace

void buildLumaTables(FrameState& frame) {
  for (int32_t i = 0; i < 256; ++i) {
    frame.lumaR[i] = kLumaR * i;
    frame.lumaG[i] = kLumaG * i;
    frame.lumaB[i] = kLumaB * i;
  }
  frame.tablesBuilt = 1;
}

void captureSize(const comsrc::Rect& displayRect, int32_t shrink, int32_t& width, int32_t& height) {
  int64_t w = int64_t{displayRect.right} - displayRect.left;
  int64_t h = int64_t{displayRect.bottom} - displayRect.top;
  w = std::clamp<int64_t>(w, 0, kMaxCaptureWidth);
  h = std::clamp<int64_t>(h, 0, kMaxCaptureHeight);
  static constexpr int32_t kShrinkBounds[4][2] = {{0, 0}, {320, 240}, {210, 160}, {160, 120}};
  if (shrink >= 1 && shrink <= 3) {
    w = std::min<int64_t>(w, kShrinkBounds[shrink][0]);
    h = std::min<int64_t>(h, kShrinkBounds[shrink][1]);
  }
  width = int32_t(w);
  height = int32_t(h);
}

void convertToLuma(FrameState& frame, const uint8_t* pixels, int32_t stride, int32_t width, int32_t height) {
  // The tables are i times constant coefficients, so the loop multiplies by the coefficients
  // directly: the same sums, in 16 bits (at most 220 × 255), which the compiler turns into
  // vector code. The sum never reaches the upper bound 61440.
  int32_t* out = frame.lumaBuffer.data();
  for (int32_t y = 0; y < height; ++y, out += width) {
    const uint8_t* p = pixels + int64_t{y} * stride;
    for (int32_t x = 0; x < width; ++x) {
      const uint16_t luma = uint16_t(kLumaB * p[4 * x] + kLumaG * p[4 * x + 1] + kLumaR * p[4 * x + 2]);
      out[x] = luma < 4096 ? 4096 : luma;
    }
  }
}

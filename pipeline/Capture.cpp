#include "pipeline/Capture.h"

#include <algorithm>

#include "pipeline/FrameState.h"

void buildLumaTables(FrameState& frame) {
  for (int32_t i = 0; i < 256; ++i) {
    frame.lumaR[i] = 66 * i;
    frame.lumaG[i] = 129 * i;
    frame.lumaB[i] = 25 * i;
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
  int32_t* out = frame.lumaBuffer.data();
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* p = pixels + int64_t{y} * stride;
    for (int32_t x = 0; x < width; ++x, p += 4) {
      const int32_t luma = frame.lumaB[p[0]] + frame.lumaG[p[1]] + frame.lumaR[p[2]];
      *out++ = std::clamp(luma, 4096, 61440);
    }
  }
}

#include "pipeline/Dither.h"

#include <algorithm>

namespace {

template <class PerPixel>
void forEachPixel(const LumaImage& image, const ToneCurve& tone, const comsrc::Rect& r, const WorkArea& work,
                  PerPixel perPixel) {
  for (int32_t y = r.top; y < r.bottom; ++y) {
    const int32_t* luma = image.luma + int64_t{y} * image.width;
    int32_t* out = work.pixels + int64_t{work.stride} * (y - work.area.top);
    for (int32_t x = r.left; x < r.right; ++x) out[x - work.area.left] = perPixel(tone.apply(luma[x]), x, y);
  }
}

void threshold(const LumaImage& image, const ToneCurve& tone, const comsrc::Rect& r, const WorkArea& work) {
  forEachPixel(image, tone, r, work, [](int32_t t, int32_t, int32_t) { return clampTone(t) >= 32768 ? kPixelOn : 0; });
}

// Five levels in patterns anchored to capture coordinates that move one step per frame.
void halftone(const LumaImage& image, const ToneCurve& tone, const comsrc::Rect& r, const WorkArea& work,
              uint32_t n) {
  forEachPixel(image, tone, r, work, [n](int32_t t, int32_t x, int32_t y) {
    const uint32_t quarter = (uint32_t(x) - 2 * uint32_t(y) + n) & 3;
    bool on;
    if (t < 0x2000) on = false;
    else if (t < 0x6000) on = quarter == 0;
    else if (t < 0xA000) on = ((uint32_t(x) + uint32_t(y) + n) & 1) != 0;
    else if (t < 0xE000) on = quarter != 3;
    else on = true;
    return on ? kPixelOn : 0;
  });
}

// An element that error reaches but that is never quantized again can collect error frame
// after frame; bounding it keeps the sum from overflowing without changing its on/off test.
void boundCarried(int32_t& v) { v = std::clamp(v, -(1 << 30), 1 << 30); }

void floydSteinberg(const LumaImage& image, const ToneCurve& tone, const comsrc::Rect& r, const WorkArea& work) {
  forEachPixel(image, tone, r, work, [](int32_t t, int32_t, int32_t) { return clampTone(t); });

  const int32_t areaW = work.area.width(), areaH = work.area.height();
  const int32_t c0 = r.left - work.area.left, c1 = r.right - work.area.left;
  const int32_t r0 = r.top - work.area.top, r1 = r.bottom - work.area.top;
  const int32_t stride = work.stride;
  for (int32_t row = r0; row < r1; ++row) {
    int32_t* e0 = work.pixels + int64_t{stride} * row;
    int32_t* e1 = e0 + stride;
    const bool below = row < areaH - 1;
    for (int32_t c = c0; c < c1; ++c) {
      const int32_t old = e0[c];
      const int32_t quantized = old >= 32768 ? kLevelHigh : kLevelLow;
      e0[c] = quantized;
      const int32_t e = old - quantized;
      const bool right = c < areaW - 1;
      if (right) e0[c + 1] += (7 * e) / 16;
      if (below) {
        if (c > 0) e1[c - 1] += (3 * e) / 16;
        e1[c] += (5 * e) / 16;
        if (right) e1[c + 1] += e / 16;
      }
    }
  }

  if (c1 < areaW)
    for (int32_t row = r0; row < std::min(r1 + 1, areaH); ++row) boundCarried(work.pixels[int64_t{stride} * row + c1]);
  if (r1 < areaH)
    for (int32_t c = std::max(c0 - 1, 0); c < std::min(c1 + 1, areaW); ++c)
      boundCarried(work.pixels[int64_t{stride} * r1 + c]);
}

}  // namespace

void ditherChanged(int32_t mode, const LumaImage& image, const ToneCurve& tone, const comsrc::Rect& changed,
                   const WorkArea& work, uint32_t frameCounter) {
  comsrc::Rect r;
  if (!comsrc::intersectRect(r, changed, work.area)) return;
  if (mode == 1)
    floydSteinberg(image, tone, r, work);
  else if (mode == 2)
    halftone(image, tone, r, work, frameCounter);
  else
    threshold(image, tone, r, work);
}

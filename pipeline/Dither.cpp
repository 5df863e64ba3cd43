#include "pipeline/Dither.h"

#include <algorithm>

namespace {

// Tone values of one row's pixels left ≤ x < right, handed with x to perPixel, whose result
// is stored in the working element of that pixel. The common case, contrast 1 without a
// power, is only an addition and gets a loop of its own.
template <class PerPixel>
void toneRow(const LumaImage& image, const ToneCurve& tone, int32_t y, int32_t left, int32_t right,
             const WorkArea& work, PerPixel perPixel) {
  const int32_t* luma = image.luma + int64_t{y} * image.width;
  int32_t* out = work.pixels + int64_t{work.stride} * (y - work.area.top);
  const int32_t areaLeft = work.area.left;
  if (tone.linear) {
    // Tones beyond ±2³⁰ act like the nearest of them in every mode, so the sum cannot overflow.
    const int32_t shift = int32_t(std::clamp<int64_t>(tone.offsetTerm - 32768, -(1 << 30), 1 << 30));
    for (int32_t x = left; x < right; ++x) out[x - areaLeft] = perPixel(luma[x] + shift, x);
  } else {
    for (int32_t x = left; x < right; ++x) out[x - areaLeft] = perPixel(tone.apply(luma[x]), x);
  }
}

template <class PerPixel>
void forEachPixel(const LumaImage& image, const ToneCurve& tone, const comsrc::Rect& r, const WorkArea& work,
                  PerPixel perPixel) {
  for (int32_t y = r.top; y < r.bottom; ++y)
    toneRow(image, tone, y, r.left, r.right, work, [&](int32_t t, int32_t x) { return perPixel(t, x, y); });
}

void threshold(const LumaImage& image, const ToneCurve& tone, const comsrc::Rect& r, const WorkArea& work) {
  forEachPixel(image, tone, r, work, [](int32_t t, int32_t, int32_t) { return clampTone(t) >= 32768 ? kPixelOn : 0; });
}

// Five levels in patterns anchored to capture coordinates that move one step per frame. Bit
// (2·quarter + parity) of a level's mask says whether a pixel at that phase is on.
void halftone(const LumaImage& image, const ToneCurve& tone, const comsrc::Rect& r, const WorkArea& work,
              uint32_t n) {
  static constexpr uint8_t kLevelMasks[5] = {
      0x00,  // never
      0x03,  // quarter 0: one in four
      0xAA,  // odd parity: checkerboard
      0x3F,  // quarter not 3: three in four
      0xFF,  // always
  };
  forEachPixel(image, tone, r, work, [n](int32_t t, int32_t x, int32_t y) {
    const uint32_t quarter = (uint32_t(x) - 2 * uint32_t(y) + n) & 3;
    const uint32_t parity = (uint32_t(x) + uint32_t(y) + n) & 1;
    const int32_t level = (t >= 0x2000) + (t >= 0x6000) + (t >= 0xA000) + (t >= 0xE000);
    return ((kLevelMasks[level] >> (2 * quarter + parity)) & 1) ? kPixelOn : 0;
  });
}

// An element that error reaches but that is never quantized again can collect error frame
// after frame; bounding it keeps the sum from overflowing without changing its on/off test.
void boundCarried(int32_t& v) { v = std::clamp(v, -(1 << 30), 1 << 30); }

// One row of error diffusion over working columns c0 … c1 − 1. The value of the pixel being
// quantized travels in `current`, and the three shares of the row below are summed in
// registers and stored once: the same sums as adding each share in place, without a round
// trip through memory on the critical path. Edge columns get their own steps so that the
// loop over the interior tests nothing.
template <bool kBelow>
void diffuseRow(int32_t* e0, int32_t* e1, int32_t c0, int32_t c1, int32_t areaW) {
  int32_t current = e0[c0];
  int32_t belowLeft = kBelow && c0 > 0 ? e1[c0 - 1] : 0;
  int32_t belowHere = kBelow ? e1[c0] : 0;
  const auto step = [&](int32_t c, bool left, bool right) {
    const int32_t quantized = current >= 32768 ? kLevelHigh : kLevelLow;
    e0[c] = quantized;
    const int32_t e = current - quantized;
    // k·e / 16 cut toward zero for k = 1, 3, 5, 7: the four products share e's sign, so one
    // rounding bias serves all four shifts.
    const int32_t bias = (e >> 31) & 15;
    if (right) current = e0[c + 1] + ((7 * e + bias) >> 4);
    if (kBelow) {
      const int32_t belowRight = right ? e1[c + 1] + ((e + bias) >> 4) : 0;
      if (left) e1[c - 1] = belowLeft + ((3 * e + bias) >> 4);
      belowHere += (5 * e + bias) >> 4;
      belowLeft = belowHere;
      belowHere = belowRight;
    }
  };
  int32_t c = c0;
  if (c == 0 && c < c1) {
    step(0, false, areaW > 1);
    c = 1;
  }
  const int32_t interiorEnd = std::min(c1, areaW - 1);
  for (; c < interiorEnd; ++c) step(c, true, true);
  if (c < c1) step(c, true, false);  // the area's last column
  // What was carried past the rectangle's last column goes back into its elements.
  if (c1 < areaW) e0[c1] = current;
  if (kBelow) {
    e1[c1 - 1] = belowLeft;
    if (c1 < areaW) e1[c1] = belowHere;
  }
}

void floydSteinberg(const LumaImage& image, const ToneCurve& tone, const comsrc::Rect& r, const WorkArea& work) {
  const int32_t areaW = work.area.width(), areaH = work.area.height();
  const int32_t c0 = r.left - work.area.left, c1 = r.right - work.area.left;
  const int32_t r0 = r.top - work.area.top, r1 = r.bottom - work.area.top;
  const int32_t stride = work.stride;
  // The tone pass of a row runs just before the row above it is diffused, while it is still
  // in cache; diffusing a row touches only that row and the next, so the result is the same
  // as running the whole tone pass first.
  const auto clamped = [](int32_t t, int32_t) { return clampTone(t); };
  toneRow(image, tone, r.top, r.left, r.right, work, clamped);
  for (int32_t row = r0; row < r1; ++row) {
    if (row + 1 < r1) toneRow(image, tone, work.area.top + row + 1, r.left, r.right, work, clamped);
    int32_t* e0 = work.pixels + int64_t{stride} * row;
    if (row < areaH - 1)
      diffuseRow<true>(e0, e0 + stride, c0, c1, areaW);
    else
      diffuseRow<false>(e0, nullptr, c0, c1, areaW);
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

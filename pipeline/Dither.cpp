#include "pipeline/Dither.h"

#include <algorithm>

#include "pipeline/DitherBands.h"

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

}  // namespace

void ditherChanged(int32_t mode, const LumaImage& image, const ToneCurve& tone, const comsrc::Rect& changed,
                   const WorkArea& work, uint32_t frameCounter) {
  comsrc::Rect r;
  if (!comsrc::intersectRect(r, changed, work.area)) return;
  if (mode == 1)
    floydSteinbergBands(image, tone, r, work);
  else if (mode == 2)
    halftone(image, tone, r, work, frameCounter);
  else
    threshold(image, tone, r, work);
}

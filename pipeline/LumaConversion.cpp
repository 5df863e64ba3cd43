#include "pipeline/LumaConversion.h"

#include <algorithm>
#include <bit>
#include <cstring>

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

namespace {

// Bytes blue, green, red, unused as one word, blue in the lowest byte.
inline uint32_t pixelWord(const uint8_t* p) {
  if constexpr (std::endian::native == std::endian::little) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  } else {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
}

// The tables are i times constant coefficients, so the loop multiplies by the coefficients
// directly, a pixel at a time as one 32-bit word: blue and red, 16 bits apart, meet in the
// upper half of one product (66·B + 2¹⁶·(25·B + 66·R), no carry between the halves), and
// 129·G is a shift and an addition. The same sums, which the compiler turns into vector code;
// the sum never reaches the upper bound 61440.
__attribute__((always_inline)) inline void lumaRows(int32_t* out, const uint8_t* pixels, int32_t stride, int32_t width,
                                                    int32_t height) {
  static_assert(kLumaB == 25 && kLumaG == 129 && kLumaR == 66);
  for (int32_t y = 0; y < height; ++y, out += width) {
    const uint8_t* p = pixels + int64_t{y} * stride;
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t v = pixelWord(p + 4 * x);
      const uint32_t blueRed = ((v & 0x00FF00FFu) * 0x00190042u) >> 16;
      const uint32_t green = (v >> 8) & 0xFFu;
      const int32_t luma = int32_t(blueRed + (green << 7) + green);
      out[x] = luma < 4096 ? 4096 : luma;
    }
  }
}

using LumaRows = void (*)(int32_t*, const uint8_t*, int32_t, int32_t, int32_t);

void lumaRowsPlain(int32_t* out, const uint8_t* pixels, int32_t stride, int32_t width, int32_t height) {
  lumaRows(out, pixels, stride, width, height);
}

// The wider vectors are asked for on x86 only; elsewhere the build's target serves.
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void lumaRowsAvx2(int32_t* out, const uint8_t* pixels, int32_t stride, int32_t width,
                                                  int32_t height) {
  lumaRows(out, pixels, stride, width, height);
}

LumaRows chooseLumaRows() { return __builtin_cpu_supports("avx2") ? lumaRowsAvx2 : lumaRowsPlain; }
#else
LumaRows chooseLumaRows() { return lumaRowsPlain; }
#endif

}  // namespace

void convertToLuma(FrameState& frame, const uint8_t* pixels, int32_t stride, int32_t width, int32_t height) {
  static const LumaRows chosen = chooseLumaRows();
  chosen(frame.lumaBuffer.data(), pixels, stride, width, height);
}

#include "pipeline/Dither.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

#include "pipeline/FrameState.h"

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

// Error diffusion runs on bands of kBandRows rows at once, one row in each lane of a vector:
// row j of a band runs kLag columns behind row j − 1, so that when it reaches a pixel, the
// three pixels above that share error with it are done, and the shares for the row below,
// which move one lane down, are needed only a step after they were made; the share to the
// right stays in its lane. Only that share is on the chain from one step to the next. Every
// share is the same sum as in the plain algorithm, so the elements come out bit for bit the same.
constexpr int32_t kBandRows = 16;
constexpr int32_t kLag = 3;
typedef int32_t Lanes __attribute__((vector_size(4 * kBandRows)));
// Columns c0 − 1 … c1 of a band (the rectangle and the neighbours its error reaches), the
// slant, and the steps up to a whole block of kBandRows.
constexpr int32_t kMaxSpan = kPanelWidth + 2;
constexpr int32_t kMaxSteps = (kMaxSpan + kLag * kBandRows + 2 * kBandRows - 1) / kBandRows * kBandRows;

struct Diffusion {
  const int32_t* luma;  // image pixel of working column 0, row 0
  int32_t lumaStride;
  const ToneCurve* tone;
  int32_t* pixels;
  int32_t stride;
  int32_t c0, c1, r0, r1;  // the rectangle in working coordinates
  int32_t left, right;     // the columns that take part: c0 − 1 … c1 within the area
  int32_t areaH;
};

// What lane j of a band holds at each step: row j's elements, kLag · j steps late.
struct BandScratch {
  alignas(64) int32_t lanes[kBandRows][kMaxSteps];
  alignas(64) int32_t steps[kMaxSteps * kBandRows];  // element step · kBandRows + lane
  int32_t carryBuffer[kLag * kBandRows + kMaxSpan];   // what the band hands to the row below
};

__attribute__((always_inline)) inline void toneValues(int32_t* out, const int32_t* luma, int32_t count,
                                                      const ToneCurve& tone) {
  if (tone.linear) {
    const int32_t shift = int32_t(std::clamp<int64_t>(tone.offsetTerm - 32768, -(1 << 30), 1 << 30));
    for (int32_t i = 0; i < count; ++i) out[i] = std::min(std::max(luma[i] + shift, kLevelLow), kLevelHigh);
  } else {
    for (int32_t i = 0; i < count; ++i) out[i] = clampTone(tone.apply(luma[i]));
  }
}

inline Lanes loadLanes(const int32_t* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void storeLanes(int32_t* p, Lanes v) { std::memcpy(p, &v, sizeof v); }

template <size_t... I>
inline Lanes shiftDown(Lanes v, std::index_sequence<I...>) {
  return __builtin_shufflevector(v, Lanes{}, (I == 0 ? kBandRows : int32_t(I) - 1)...);
}

// One step of turning a square block over its diagonal: rows i and i + d (bit d of i clear)
// swap the elements whose column has bit d set in row i with those whose column has it clear
// in row i + d. Done for every bit d, the block is transposed.
template <int32_t d, size_t... J>
__attribute__((always_inline)) inline void swapBit(Lanes& a, Lanes& b, std::index_sequence<J...>) {
  constexpr int32_t n = kBandRows;
  const Lanes low = __builtin_shufflevector(a, b, ((int32_t(J) & d) ? n + int32_t(J) - d : int32_t(J))...);
  const Lanes high = __builtin_shufflevector(a, b, ((int32_t(J) & d) ? n + int32_t(J) : int32_t(J) + d)...);
  a = low;
  b = high;
}

template <int32_t d>
__attribute__((always_inline)) inline void swapBitOfAllRows(Lanes* r) {
#pragma GCC unroll 16
  for (int32_t i = 0; i < kBandRows; ++i)
    if (!(i & d)) swapBit<d>(r[i], r[i + d], std::make_index_sequence<size_t(kBandRows)>{});
}

// A kBandRows × kBandRows block turned over its diagonal, between the row-by-row and the
// step-by-step layout.
__attribute__((always_inline)) inline void transposeBlock(const int32_t* in, ptrdiff_t inStride, int32_t* out,
                                                          ptrdiff_t outStride) {
  static_assert(kBandRows == 16);
  Lanes r[kBandRows];
#pragma GCC unroll 16
  for (int32_t j = 0; j < kBandRows; ++j) r[j] = loadLanes(in + j * inStride);
  swapBitOfAllRows<1>(r);
  swapBitOfAllRows<2>(r);
  swapBitOfAllRows<4>(r);
  swapBitOfAllRows<8>(r);
#pragma GCC unroll 16
  for (int32_t j = 0; j < kBandRows; ++j) storeLanes(out + j * outStride, r[j]);
}

// `carry` holds, for columns left … right − 1, the error the band's first row has from the row
// above; on return, what the band hands to the row below it.
__attribute__((always_inline)) inline void diffuseBand(const Diffusion& d, int32_t y, int32_t rows, BandScratch& s,
                                                       int32_t* carry) {
  const int32_t span = d.right - d.left, width = d.c1 - d.c0, first = d.c0 - d.left;
  // Lane kBandRows − 1 quantizes column right − 1 at step span − 1 + kLag · (kBandRows − 1);
  // what it hands down reaches the row below two steps after its last share was made.
  const int32_t steps = span + kLag * kBandRows - 2;
  const int32_t blocks = (steps + kBandRows) / kBandRows;  // also the step read after the last
  for (int32_t j = 0; j < kBandRows; ++j) {
    int32_t* lane = s.lanes[j];
    std::fill(lane, lane + blocks * kBandRows, 0);
    if (j < rows)
      toneValues(lane + first + kLag * j, d.luma + int64_t{d.lumaStride} * (y + j) + d.c0, width, *d.tone);
  }
  for (int32_t i = 0; i < span; ++i) s.lanes[0][i] += carry[i];
  for (int32_t b = 0; b < blocks; ++b)
    transposeBlock(&s.lanes[0][b * kBandRows], kMaxSteps, s.steps + b * kBandRows * kBandRows, kBandRows);

  // Lane j quantizes at steps first + kLag·j … first + kLag·j + width − 1; a lane below the
  // band's rows never does, and only collects the error handed down to it.
  Lanes begin, end;
  for (int32_t j = 0; j < kBandRows; ++j) {
    begin[j] = j < rows ? first + kLag * j : kMaxSteps;
    end[j] = j < rows ? first + kLag * j + width : kMaxSteps;
  }
  // What lane kBandRows − 1 hands down at step t reaches column left + t + 2 − kLag·kBandRows
  // of the row below.
  int32_t* handedDown = carry + 2 - kLag * kBandRows;
  Lanes step = Lanes{} + 0;
  Lanes current = loadLanes(s.steps);
  Lanes next1 = Lanes{}, next2 = Lanes{}, downBefore = Lanes{};
  for (int32_t t = 0; t < steps; ++t, step += 1) {
    // All ones or all zeros by the sign bit rather than comparisons, which some vector units
    // answer with mask registers that cost more to turn back into vectors. No term overflows:
    // steps are small, and what is quantized lies far within ±2³⁰.
    const Lanes quantizes = ~(((step - begin) | (end - 1 - step)) >> 31);
    const Lanes high = (32767 - current) >> 31;
    const Lanes quantized = kLevelLow + (high & (kLevelHigh - kLevelLow));
    storeLanes(s.steps + t * kBandRows, current ^ ((current ^ quantized) & quantizes));
    const Lanes e = (current - quantized) & quantizes;
    // k·e / 16 cut toward zero: the four products share e's sign, so one bias serves all.
    const Lanes bias = (e >> 31) & 15;
    const Lanes share1 = (e + bias) >> 4;
    const Lanes share3 = ((e << 1) + e + bias) >> 4;
    const Lanes share5 = ((e << 2) + e + bias) >> 4;
    const Lanes share7 = ((e << 3) - e + bias) >> 4;
    // The row below takes its below-left share two steps later, below three, below-right four.
    const Lanes down = share3 + next1;
    next1 = share5 + next2;
    next2 = share1;
    handedDown[t] = down[kBandRows - 1];
    current = loadLanes(s.steps + (t + 1) * kBandRows) + share7 +
              shiftDown(downBefore, std::make_index_sequence<size_t(kBandRows)>{});
    downBefore = down;
  }

  for (int32_t b = 0; b < blocks; ++b)
    transposeBlock(s.steps + b * kBandRows * kBandRows, kBandRows, &s.lanes[0][b * kBandRows], kMaxSteps);
  for (int32_t j = 0; j <= rows && j < kBandRows; ++j) {
    const int32_t row = y + j;
    if (row >= d.areaH) break;
    int32_t* px = d.pixels + int64_t{d.stride} * row + d.left;
    const int32_t* lane = s.lanes[j] + kLag * j;
    if (j == rows) {  // the row below a short band: only error arrives there
      for (int32_t i = 0; i < span; ++i) px[i] += lane[i];
      break;
    }
    std::memcpy(px + first, lane + first, sizeof(int32_t) * size_t(width));
    if (first > 0) px[0] += lane[0];
    if (first + width < span) px[span - 1] += lane[span - 1];
  }
}

__attribute__((always_inline)) inline void diffuseBands(const Diffusion& d) {
  BandScratch s;
  int32_t* carry = s.carryBuffer + kLag * kBandRows;
  std::fill(carry, carry + (d.right - d.left), 0);
  for (int32_t y = d.r0; y < d.r1; y += kBandRows) {
    const int32_t rows = std::min(kBandRows, d.r1 - y);
    diffuseBand(d, y, rows, s, carry);
    if (rows == kBandRows && y + rows == d.r1 && d.r1 < d.areaH) {
      int32_t* px = d.pixels + int64_t{d.stride} * d.r1 + d.left;
      for (int32_t i = 0; i < d.right - d.left; ++i) px[i] += carry[i];
    }
  }
}

// The same code for the vector units there are: one 512-bit register per vector where the
// processor has them, two 256-bit or four 128-bit ones otherwise.
using DiffuseBands = void (*)(const Diffusion&);

__attribute__((target("avx512f"))) void diffuseBandsAvx512(const Diffusion& d) { diffuseBands(d); }
__attribute__((target("avx2"))) void diffuseBandsAvx2(const Diffusion& d) { diffuseBands(d); }
__attribute__((target("sse2"))) void diffuseBandsSse2(const Diffusion& d) { diffuseBands(d); }
void diffuseBandsPlain(const Diffusion& d) { diffuseBands(d); }

DiffuseBands chooseDiffuseBands() {
  static const DiffuseBands chosen = __builtin_cpu_supports("avx512f") ? diffuseBandsAvx512
                                     : __builtin_cpu_supports("avx2")   ? diffuseBandsAvx2
                                     : __builtin_cpu_supports("sse2") ? diffuseBandsSse2
                                                                      : diffuseBandsPlain;
  return chosen;
}

void floydSteinberg(const LumaImage& image, const ToneCurve& tone, const comsrc::Rect& r, const WorkArea& work) {
  const int32_t areaW = work.area.width(), areaH = work.area.height();
  const int32_t c0 = r.left - work.area.left, c1 = r.right - work.area.left;
  const int32_t r0 = r.top - work.area.top, r1 = r.bottom - work.area.top;
  const int32_t left = std::max(c0 - 1, 0), right = std::min(c1 + 1, areaW);
  // A device area is never wider than a panel.
  if (right - left > kMaxSpan) return;
  const Diffusion d{image.luma + int64_t{image.width} * work.area.top + work.area.left,
                    image.width,
                    &tone,
                    work.pixels,
                    work.stride,
                    c0,
                    c1,
                    r0,
                    r1,
                    left,
                    right,
                    areaH};
  chooseDiffuseBands()(d);

  const int32_t stride = work.stride;
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

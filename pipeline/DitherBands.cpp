#include "pipeline/DitherBands.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

namespace {

// An element that error reaches but that is never quantized again can collect error frame
// after frame; bounding it keeps the sum from overflowing without changing its on/off test.
void boundCarried(int32_t& v) { v = std::clamp(v, -(1 << 30), 1 << 30); }

// Error diffusion runs on bands of N rows at once, one row in each lane of a vector:
// row j of a band runs kLag columns behind row j − 1, so that when it reaches a pixel, the
// three pixels above that share error with it are done, and the shares for the row below,
// which move one lane down, are needed two steps after they were made at the soonest; the
// share to the right stays in its lane. Only that share is on the chain from one step to the
// next. The band is turned into step-by-step order (one vector per step) before and back
// after, a block at a time in registers. Every share is the same sum as in the plain
// algorithm, so the elements come out bit for bit the same.
constexpr int32_t kMaxBandRows = 16;
constexpr int32_t kLag = 3;
template <int32_t N>
struct LanesOf {
  typedef int32_t Type __attribute__((vector_size(4 * N)));
};
// Columns c0 − 1 … c1 of a band (the rectangle and the neighbours its error reaches), the
// slant, and the steps up to a whole block of the widest band.
constexpr int32_t kMaxSpan = kPanelWidth + 2;
constexpr int32_t kMaxSteps = (kMaxSpan + kLag * kMaxBandRows + 2 * kMaxBandRows - 1) / kMaxBandRows * kMaxBandRows;

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
  alignas(64) int32_t lanes[kMaxBandRows][kMaxSteps];
  alignas(64) int32_t steps[kMaxSteps * kMaxBandRows];  // element step · N + lane
  int32_t carryBuffer[kLag * kMaxBandRows + kMaxSpan];   // what the band hands to the row below
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

template <class Lanes>
__attribute__((always_inline)) inline Lanes loadLanes(const int32_t* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class Lanes>
__attribute__((always_inline)) inline void storeLanes(int32_t* p, Lanes v) {
  std::memcpy(p, &v, sizeof v);
}

template <class Lanes, size_t... I>
__attribute__((always_inline)) inline Lanes shiftDown(Lanes v, std::index_sequence<I...>) {
  return __builtin_shufflevector(v, Lanes{}, (I == 0 ? int32_t(sizeof...(I)) : int32_t(I) - 1)...);
}

// One step of turning a square block over its diagonal: rows i and i + d (bit d of i clear)
// swap the elements whose column has bit d set in row i with those whose column has it clear
// in row i + d. Done for every bit d, the block is transposed.
template <int32_t d, class Lanes, size_t... J>
__attribute__((always_inline)) inline void swapBit(Lanes& a, Lanes& b, std::index_sequence<J...>) {
  constexpr int32_t n = int32_t(sizeof...(J));
  const Lanes low = __builtin_shufflevector(a, b, ((int32_t(J) & d) ? n + int32_t(J) - d : int32_t(J))...);
  const Lanes high = __builtin_shufflevector(a, b, ((int32_t(J) & d) ? n + int32_t(J) : int32_t(J) + d)...);
  a = low;
  b = high;
}

template <int32_t N, int32_t d>
__attribute__((always_inline)) inline void swapBitOfAllRows(typename LanesOf<N>::Type* r) {
#pragma GCC unroll 16
  for (int32_t i = 0; i < N; ++i)
    if (!(i & d)) swapBit<d>(r[i], r[i + d], std::make_index_sequence<size_t(N)>{});
}

// An N × N block turned over its diagonal, between the row-by-row and the step-by-step layout.
template <int32_t N>
__attribute__((always_inline)) inline void transposeBlock(const int32_t* in, ptrdiff_t inStride, int32_t* out,
                                                          ptrdiff_t outStride) {
  static_assert(N == 8 || N == 16);
  using Lanes = typename LanesOf<N>::Type;
  Lanes r[N];
#pragma GCC unroll 16
  for (int32_t j = 0; j < N; ++j) r[j] = loadLanes<Lanes>(in + j * inStride);
  swapBitOfAllRows<N, 1>(r);
  swapBitOfAllRows<N, 2>(r);
  swapBitOfAllRows<N, 4>(r);
  if constexpr (N == 16) swapBitOfAllRows<N, 8>(r);
#pragma GCC unroll 16
  for (int32_t j = 0; j < N; ++j) storeLanes(out + j * outStride, r[j]);
}

// `carry` holds, for columns left … right − 1, the error the band's first row has from the row
// above; on return, what the band hands to the row below it.
template <int32_t N>
__attribute__((always_inline)) inline void diffuseBand(const Diffusion& d, int32_t y, int32_t rows, BandScratch& s,
                                                       int32_t* carry) {
  using Lanes = typename LanesOf<N>::Type;
  constexpr int32_t kBandRows = N;
  const int32_t span = d.right - d.left, width = d.c1 - d.c0, first = d.c0 - d.left;
  // Lane kBandRows − 1 quantizes column right − 1 at step span − 1 + kLag · (kBandRows − 1);
  // what it hands down reaches the row below two steps after its last share was made.
  const int32_t steps = span + kLag * kBandRows - 2;
  const int32_t blocks = (steps + kBandRows) / kBandRows;  // also the step read after the last
  for (int32_t j = 0; j < kBandRows; ++j) {
    int32_t* lane = s.lanes[j];
    if (j < rows) {
      const int32_t begin = first + kLag * j, end = begin + width;
      std::fill(lane, lane + begin, 0);
      toneValues(lane + begin, d.luma + int64_t{d.lumaStride} * (y + j) + d.c0, width, *d.tone);
      std::fill(lane + end, lane + blocks * kBandRows, 0);
    } else {
      std::fill(lane, lane + blocks * kBandRows, 0);
    }
  }
  for (int32_t i = 0; i < span; ++i) s.lanes[0][i] += carry[i];
  for (int32_t b = 0; b < blocks; ++b)
    transposeBlock<N>(&s.lanes[0][b * kBandRows], kMaxSteps, s.steps + b * kBandRows * kBandRows, kBandRows);

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
  Lanes current = loadLanes<Lanes>(s.steps);
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
    current = loadLanes<Lanes>(s.steps + (t + 1) * kBandRows) + share7 +
              shiftDown(downBefore, std::make_index_sequence<size_t(kBandRows)>{});
    downBefore = down;
  }

  for (int32_t b = 0; b < blocks; ++b)
    transposeBlock<N>(s.steps + b * kBandRows * kBandRows, kBandRows, &s.lanes[0][b * kBandRows], kMaxSteps);
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

template <int32_t N>
__attribute__((always_inline)) inline void diffuseBands(const Diffusion& d) {
  constexpr int32_t kBandRows = N;
  BandScratch s;
  int32_t* carry = s.carryBuffer + kLag * kBandRows;
  std::fill(carry, carry + (d.right - d.left), 0);
  for (int32_t y = d.r0; y < d.r1; y += kBandRows) {
    const int32_t rows = std::min(kBandRows, d.r1 - y);
    diffuseBand<N>(d, y, rows, s, carry);
    if (rows == kBandRows && y + rows == d.r1 && d.r1 < d.areaH) {
      int32_t* px = d.pixels + int64_t{d.stride} * d.r1 + d.left;
      for (int32_t i = 0; i < d.right - d.left; ++i) px[i] += carry[i];
    }
  }
}

// The same code for the vector units there are: bands of sixteen rows in 512-bit registers
// where the processor has them; otherwise bands of eight, in 256-bit registers or pairs of
// 128-bit ones (sixteen lanes there cost more in shuffles than they save).
using DiffuseBands = void (*)(const Diffusion&);

void diffuseBands8Plain(const Diffusion& d) { diffuseBands<8>(d); }

// The processor is asked, and code made for its units, on x86 only; elsewhere the compiler's
// own vectors for the build's target serve.
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx512f"))) void diffuseBands16Avx512(const Diffusion& d) { diffuseBands<16>(d); }
__attribute__((target("avx2"))) void diffuseBands8Avx2(const Diffusion& d) { diffuseBands<8>(d); }
__attribute__((target("sse2"))) void diffuseBands8Sse2(const Diffusion& d) { diffuseBands<8>(d); }

DiffuseBands chooseDiffuseBands(int32_t bandRows) {
  static const bool avx512 = __builtin_cpu_supports("avx512f");
  static const DiffuseBands eight = __builtin_cpu_supports("avx2")   ? diffuseBands8Avx2
                                    : __builtin_cpu_supports("sse2") ? diffuseBands8Sse2
                                                                     : diffuseBands8Plain;
  return avx512 && bandRows != 8 ? diffuseBands16Avx512 : eight;
}
#else
DiffuseBands chooseDiffuseBands(int32_t) { return diffuseBands8Plain; }
#endif

}  // namespace

void floydSteinbergBands(const LumaImage& image, const ToneCurve& tone, const comsrc::Rect& changed,
                         const WorkArea& work, int32_t bandRows) {
  comsrc::Rect r;
  if (!comsrc::intersectRect(r, changed, work.area)) return;
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
  chooseDiffuseBands(bandRows)(d);

  const int32_t stride = work.stride;
  if (c1 < areaW)
    for (int32_t row = r0; row < std::min(r1 + 1, areaH); ++row) boundCarried(work.pixels[int64_t{stride} * row + c1]);
  if (r1 < areaH)
    for (int32_t c = std::max(c0 - 1, 0); c < std::min(c1 + 1, areaW); ++c)
      boundCarried(work.pixels[int64_t{stride} * r1 + c]);
}


#include "source/TileCompare.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "comsrc/RectList.h"

namespace {

constexpr int32_t kTileBytes = kCompareTile * 4;
constexpr int32_t kChunkTiles = 64;  // full-width tiles of a band looked at together

typedef uint64_t Pairs2 __attribute__((vector_size(16)));
typedef uint64_t Pairs4 __attribute__((vector_size(32)));
typedef uint64_t Pairs8 __attribute__((vector_size(64)));

constexpr int32_t kRowsPerTest = 8;

// Marks which of `tiles` full-width tiles side by side differ in the pairs of the checkerboard.
// The band is read eight rows at a time, tile after tile: eight streams through memory in the
// order it lies in, with what a tile found so far held in a register; a tile found changed is
// not read further. In vectors of V (2, 4 or 8 pixel pairs, even pairs in the even lanes) every
// pair of a row is XORed, which is cheaper than picking lanes, and a mask then keeps the pairs
// of the row's parity.
template <class V>
__attribute__((always_inline)) inline void markChangedTiles(const uint8_t* a, ptrdiff_t strideA, const uint8_t* b,
                                                            ptrdiff_t strideB, int32_t tiles, int32_t rows,
                                                            uint32_t parity, bool* changed) {
  constexpr int32_t kLanes = int32_t(sizeof(V)) / 8;
  V evenPairs, oddPairs;
  for (int32_t i = 0; i < kLanes; ++i) {
    evenPairs[i] = i % 2 == 0 ? ~uint64_t{0} : 0;
    oddPairs[i] = ~evenPairs[i];
  }
  for (int32_t t = 0; t < tiles; ++t) changed[t] = false;
  uint64_t pending = tiles == 64 ? ~uint64_t{0} : (uint64_t{1} << tiles) - 1;
  for (int32_t r0 = 0; r0 < rows && pending; r0 += kRowsPerTest) {
    const int32_t r1 = std::min(r0 + kRowsPerTest, rows);
    for (uint64_t p = pending; p; p &= p - 1) {
      const int32_t t = __builtin_ctzll(p);
      V found = evenPairs & oddPairs;
      for (int32_t r = r0; r < r1; ++r) {
        const uint8_t* ta = a + r * strideA + t * kTileBytes;
        const uint8_t* tb = b + r * strideB + t * kTileBytes;
        V diff = evenPairs & oddPairs;
#pragma GCC unroll 8
        for (int32_t k = 0; k < kTileBytes; k += int32_t(sizeof(V))) {
          V va, vb;
          std::memcpy(&va, ta + k, sizeof va);
          std::memcpy(&vb, tb + k, sizeof vb);
          diff |= va ^ vb;
        }
        found |= diff & (((parity + uint32_t(r)) & 1) ? oddPairs : evenPairs);
      }
      uint64_t any = 0;
      for (int32_t i = 0; i < kLanes; ++i) any |= found[i];
      if (any) {
        changed[t] = true;
        pending &= ~(uint64_t{1} << t);
      }
    }
  }
}

using MarkTiles = void (*)(const uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t, int32_t, uint32_t, bool*);

void markChangedTilesBase(const uint8_t* a, ptrdiff_t sa, const uint8_t* b, ptrdiff_t sb, int32_t tiles, int32_t rows,
                          uint32_t parity, bool* changed) {
  markChangedTiles<Pairs2>(a, sa, b, sb, tiles, rows, parity, changed);
}

// The wider vectors exist on x86 only; elsewhere the portable width serves.
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void markChangedTilesAvx2(const uint8_t* a, ptrdiff_t sa, const uint8_t* b,
                                                          ptrdiff_t sb, int32_t tiles, int32_t rows, uint32_t parity,
                                                          bool* changed) {
  markChangedTiles<Pairs4>(a, sa, b, sb, tiles, rows, parity, changed);
}

__attribute__((target("avx512f"))) void markChangedTilesAvx512(const uint8_t* a, ptrdiff_t sa, const uint8_t* b,
                                                              ptrdiff_t sb, int32_t tiles, int32_t rows,
                                                              uint32_t parity, bool* changed) {
  markChangedTiles<Pairs8>(a, sa, b, sb, tiles, rows, parity, changed);
}

MarkTiles markTiles() {
  static const MarkTiles chosen = __builtin_cpu_supports("avx512f") ? markChangedTilesAvx512
                                  : __builtin_cpu_supports("avx2")  ? markChangedTilesAvx2
                                                                    : markChangedTilesBase;
  return chosen;
}
#else
MarkTiles markTiles() { return markChangedTilesBase; }
#endif

inline uint64_t loadPair(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The tile at the right edge, narrower than 32 pixels.
bool narrowTileChanged(const uint8_t* a, ptrdiff_t strideA, const uint8_t* b, ptrdiff_t strideB, int32_t columns,
                       int32_t rows, uint32_t parity) {
  const int32_t pairs = columns / 2;
  for (int32_t r = 0; r < rows; ++r) {
    const uint8_t* ra = a + r * strideA;
    const uint8_t* rb = b + r * strideB;
    for (int32_t p = int32_t((parity + uint32_t(r)) & 1); p < pairs; p += 2)
      if (loadPair(ra + 8 * p) != loadPair(rb + 8 * p)) return true;
  }
  return false;
}

void takeRun(uint8_t* baseline, ptrdiff_t baselineStride, const uint8_t* next, ptrdiff_t nextStride, int32_t x0,
             int32_t x1, int32_t rows) {
  for (int32_t r = 0; r < rows; ++r)
    std::memcpy(baseline + r * baselineStride + ptrdiff_t{x0} * 4, next + r * nextStride + ptrdiff_t{x0} * 4,
                size_t(x1 - x0) * 4);
}

}  // namespace

int32_t compareTiles(uint8_t* baseline, int32_t baselineStride, const uint8_t* next, int32_t nextStride,
                     int32_t width, int32_t height, uint32_t parity, comsrc::RectList& changes,
                     int32_t originX, int32_t originY) {
  const MarkTiles mark = markTiles();
  const int32_t fullTiles = width / kCompareTile;
  const int32_t edge = width % kCompareTile;
  bool changed[kChunkTiles];
  int32_t added = 0;
  for (int32_t y = 0; y < height; y += kCompareTile) {
    const int32_t th = std::min(kCompareTile, height - y);
    uint8_t* rowA = baseline + ptrdiff_t{y} * baselineStride;
    const uint8_t* rowB = next + ptrdiff_t{y} * nextStride;
    int32_t runStart = -1;
    auto tile = [&](int32_t x, bool isChanged) {
      if (isChanged) {
        if (runStart < 0) runStart = x;
      } else if (runStart >= 0) {
        changes.add(comsrc::Rect{originX + runStart, originY + y, originX + x, originY + y + kCompareTile});
        takeRun(rowA, baselineStride, rowB, nextStride, runStart, x, th);
        ++added;
        runStart = -1;
      }
    };
    for (int32_t t0 = 0; t0 < fullTiles; t0 += kChunkTiles) {
      const int32_t n = std::min(kChunkTiles, fullTiles - t0);
      mark(rowA + ptrdiff_t{t0} * kTileBytes, baselineStride, rowB + ptrdiff_t{t0} * kTileBytes, nextStride, n, th,
           parity, changed);
      for (int32_t t = 0; t < n; ++t) tile((t0 + t) * kCompareTile, changed[t]);
    }
    int32_t end = fullTiles * kCompareTile;
    if (edge) {
      tile(end, narrowTileChanged(rowA + ptrdiff_t{end} * 4, baselineStride, rowB + ptrdiff_t{end} * 4, nextStride,
                                  edge, th, parity));
      end += kCompareTile;
    }
    if (runStart >= 0) {
      changes.add(comsrc::Rect{originX + runStart, originY + y, originX + end, originY + y + kCompareTile});
      takeRun(rowA, baselineStride, rowB, nextStride, runStart, width, th);
      ++added;
    }
  }
  return added;
}

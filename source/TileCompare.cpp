#include "source/TileCompare.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "comsrc/RectList.h"

namespace {

// Four pixel pairs: lanes 0 and 2 hold even pairs, lanes 1 and 3 odd ones.
typedef uint64_t Pairs4 __attribute__((vector_size(32)));

// XOR of 32 bytes of each image, ORed into acc (by reference: a 32-byte vector must not
// cross a call boundary without AVX).
inline void xorInto(Pairs4& acc, const uint8_t* a, const uint8_t* b) {
  Pairs4 va, vb;
  std::memcpy(&va, a, sizeof va);
  std::memcpy(&vb, b, sizeof vb);
  acc |= va ^ vb;
}

inline uint64_t loadPair(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// A whole 32-pixel-wide tile: every pair of a row is XORed (cheaper than picking lanes), and
// only the lanes of the row's parity decide.
bool fullWidthTileChanged(const uint8_t* a, ptrdiff_t strideA, const uint8_t* b, ptrdiff_t strideB,
                          int32_t rows, uint32_t parity) {
  for (int32_t r = 0; r < rows; ++r) {
    const uint8_t* ra = a + r * strideA;
    const uint8_t* rb = b + r * strideB;
    Pairs4 acc = {0, 0, 0, 0};
    xorInto(acc, ra, rb);
    xorInto(acc, ra + 32, rb + 32);
    xorInto(acc, ra + 64, rb + 64);
    xorInto(acc, ra + 96, rb + 96);
    const uint64_t picked = ((parity + uint32_t(r)) & 1) ? (acc[1] | acc[3]) : (acc[0] | acc[2]);
    if (picked) return true;
  }
  return false;
}

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

}  // namespace

bool tileChanged(const uint8_t* previous, int32_t previousStride, const uint8_t* next, int32_t nextStride,
                 int32_t tileWidth, int32_t tileHeight, uint32_t parity) {
  if (tileWidth == kCompareTile)
    return fullWidthTileChanged(previous, previousStride, next, nextStride, tileHeight, parity);
  return narrowTileChanged(previous, previousStride, next, nextStride, tileWidth, tileHeight, parity);
}

namespace {
void takeRun(uint8_t* baseline, ptrdiff_t baselineStride, const uint8_t* next, ptrdiff_t nextStride, int32_t x0,
             int32_t x1, int32_t rows) {
  for (int32_t r = 0; r < rows; ++r)
    std::memcpy(baseline + r * baselineStride + ptrdiff_t{x0} * 4, next + r * nextStride + ptrdiff_t{x0} * 4,
                size_t(x1 - x0) * 4);
}
}  // namespace

int32_t compareTiles(uint8_t* baseline, int32_t baselineStride, const uint8_t* next, int32_t nextStride,
                     int32_t width, int32_t height, uint32_t parity, comsrc::RectList& changes) {
  int32_t added = 0;
  for (int32_t y = 0; y < height; y += kCompareTile) {
    const int32_t th = std::min(kCompareTile, height - y);
    uint8_t* rowA = baseline + ptrdiff_t{y} * baselineStride;
    const uint8_t* rowB = next + ptrdiff_t{y} * nextStride;
    int32_t runStart = -1;
    int32_t x = 0;
    for (; x < width; x += kCompareTile) {
      const int32_t tw = std::min(kCompareTile, width - x);
      const bool changed = tileChanged(rowA + ptrdiff_t{x} * 4, baselineStride, rowB + ptrdiff_t{x} * 4, nextStride,
                                       tw, th, parity);
      if (changed) {
        if (runStart < 0) runStart = x;
      } else if (runStart >= 0) {
        changes.add(comsrc::Rect{runStart, y, x, y + kCompareTile});
        takeRun(rowA, baselineStride, rowB, nextStride, runStart, x, th);
        ++added;
        runStart = -1;
      }
    }
    if (runStart >= 0) {
      changes.add(comsrc::Rect{runStart, y, x, y + kCompareTile});
      takeRun(rowA, baselineStride, rowB, nextStride, runStart, width, th);
      ++added;
    }
  }
  return added;
}

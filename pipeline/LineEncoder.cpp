#include "pipeline/LineEncoder.h"

#include <bit>
#include <cstring>

void LineRange::widen(const comsrc::Rect& changed, int32_t areaTop) {
  if (int64_t{changed.bottom} - changed.top < 1) return;
  const int64_t a = int64_t{changed.top} - areaTop;
  const int64_t b = int64_t{changed.bottom} - areaTop;
  if (a < first) first = a < 0 ? 0 : int32_t(a);
  if (b > last) last = b > 240 ? 240 : int32_t(b);
}

namespace {

constexpr int32_t kRowPixels = 400;

// Eight on/off bytes (0 or 1), the first in the lowest byte.
inline uint64_t eightFlags(const uint8_t* p) {
  uint64_t v = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, p, sizeof v);
  } else {
    for (int32_t b = 0; b < 8; ++b) v |= uint64_t{p[b]} << (8 * b);
  }
  return v;
}

// Eight on/off bytes gathered into one, byte b into bit b: each step moves the bits gathered so
// far in every byte next to those of the byte it is folded onto, and no two steps overlap.
inline uint8_t gatherBits(uint64_t v) {
  v |= v >> 7;
  v |= v >> 14;
  v |= v >> 28;
  return uint8_t(v);
}

}  // namespace

void encodeLine(uint8_t* record, const int32_t* row, int32_t l, uint8_t invert, int32_t rotate) {
  record[0] = 0x80;
  record[1] = 0x80;
  uint8_t* data = record + 3;
  const uint8_t flip = invert ? 0xFF : 0x00;
  record[2] = uint8_t(lineAddress(l, rotate));
  if (rotate == 0 || rotate == 2) {
    // One byte per pixel in the order the bits go out (turned by 180°: from the row's end),
    // then eight bytes to a byte: both loops the compiler does many at a time.
    uint8_t on[kRowPixels];
    if (rotate == 0) {
      for (int32_t x = 0; x < kRowPixels; ++x) on[x] = row[x] >= 32768;
    } else {
      for (int32_t x = 0; x < kRowPixels; ++x) on[x] = row[kRowPixels - 1 - x] >= 32768;
    }
    for (int32_t k = 0; k < 50; ++k) data[k] = gatherBits(eightFlags(on + 8 * k)) ^ flip;
  } else {
    std::memset(data, 0, 50);
  }
  std::memset(record + 53, 0, 4);
}

uint32_t encodeLines(uint8_t* out, const int32_t* workPixels, int32_t workStride, const LineRange& range,
                     uint8_t invert, int32_t rotate) {
  uint32_t length = 0;
  for (int32_t l = range.first; l < range.last; ++l, length += kLineRecordSize)
    encodeLine(out + length, workPixels + int64_t{workStride} * l, l, invert, rotate);
  return length;
}

#include "pipeline/LineEncoder.h"

#include <cstring>

void LineRange::widen(const comsrc::Rect& changed, int32_t areaTop) {
  if (int64_t{changed.bottom} - changed.top < 1) return;
  const int64_t a = int64_t{changed.top} - areaTop;
  const int64_t b = int64_t{changed.bottom} - areaTop;
  if (a < first) first = a < 0 ? 0 : int32_t(a);
  if (b > last) last = b > 240 ? 240 : int32_t(b);
}

namespace {

inline uint8_t packForward(const int32_t* p) {
  uint8_t bits = 0;
  for (int32_t b = 0; b < 8; ++b) bits |= uint8_t((p[b] >= 32768) << b);
  return bits;
}

// p points at the pixel that goes into bit 0; the others lie to its left.
inline uint8_t packBackward(const int32_t* p) {
  uint8_t bits = 0;
  for (int32_t b = 0; b < 8; ++b) bits |= uint8_t((p[-b] >= 32768) << b);
  return bits;
}

}  // namespace

void encodeLine(uint8_t* record, const int32_t* row, int32_t l, uint8_t invert, int32_t rotate) {
  record[0] = 0x80;
  record[1] = 0x80;
  uint8_t* data = record + 3;
  const uint8_t flip = invert ? 0xFF : 0x00;
  record[2] = uint8_t(lineAddress(l, rotate));
  if (rotate == 0) {
    for (int32_t k = 0; k < 50; ++k) data[k] = packForward(row + 8 * k) ^ flip;
  } else if (rotate == 2) {
    for (int32_t k = 0; k < 50; ++k) data[k] = packBackward(row + 399 - 8 * k) ^ flip;
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

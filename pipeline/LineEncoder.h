#pragma once

#include <cstdint>

#include "comsrc/Rect.h"
#include "pipeline/FrameState.h"

// The panel lines a frame sends: working rows first ≤ l < last, the hull of every changed
// rectangle's rows relative to the device area's top, within 0 … 240.
struct LineRange {
  int32_t first = 256;
  int32_t last = 0;

  void widen(const comsrc::Rect& changed, int32_t areaTop);
  bool isEmpty() const { return first >= last; }
  int32_t count() const { return isEmpty() ? 0 : last - first; }
};

// The panel address working row l goes to: l + 1, or 240 − l turned by 180°; 1 for any other
// rotation (whose records are blank).
inline int32_t lineAddress(int32_t l, int32_t rotate) { return rotate == 0 ? l + 1 : rotate == 2 ? 240 - l : 1; }

// The working row that panel address `address` shows: the inverse of lineAddress for rotations
// 0 and 2 (every other rotation counts as 0).
inline int32_t rowOfAddress(int32_t address, int32_t rotate) { return rotate == 2 ? 240 - address : address - 1; }

// Encodes working row l as one 57-byte line record: 0x80 0x80, the panel address, 400 pixels
// eight to a byte (on when ≥ 32768, XOR invert), four zero bytes. rotate 2 turns the picture
// by 180°; any other value than 0 and 2 sends a blank record to address 1.
void encodeLine(uint8_t* record, const int32_t* row, int32_t l, uint8_t invert, int32_t rotate);

// Encodes rows range.first … range.last − 1 into out; returns the number of bytes written.
uint32_t encodeLines(uint8_t* out, const int32_t* workPixels, int32_t workStride, const LineRange& range,
                     uint8_t invert, int32_t rotate);

// Offers the whole block once; the link takes all of it or nothing, and its result is returned
// (-1 when the block was dropped). There is no waiting for room: the line drains a few hundred
// bytes a millisecond at most, so a spin on the main thread would rarely find room for a block
// that did not fit, and it cost a thread spinning up to 2000 yields per device in every frame
// while the line was busy.
template <class Link>
int32_t queueBlock(Link& link, const uint8_t* block, uint32_t length) {
  if (length == 0) return 0;
  return link.enqueue(block, length);
}

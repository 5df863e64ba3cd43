#pragma once

#include <cstdint>
#include <vector>

#include "comsrc/Rect.h"

// What was drawn on the stand-in's display since one client last fetched it, as the driver's
// change-record list. Bounded: past kLimit rectangles it keeps the whole frame instead.
class ChangeRecords {
 public:
  static constexpr uint32_t kLimit = 256;

  ChangeRecords(int32_t width, int32_t height) : frame_{0, 0, width, height} {}

  // Clamped to the frame; empty rectangles are dropped.
  void add(const comsrc::Rect& r);
  void clear() { rects_.clear(); }
  bool empty() const { return rects_.empty(); }
  // The size of the list (one type-127 record and the terminating zero length); 0 when empty.
  uint32_t listBytes() const { return bytesFor(uint32_t(rects_.size())); }
  // Writes the list into out and clears it; when it does not fit, writes the whole frame as
  // one rectangle. The bytes written, 0 when even that does not fit (nothing is cleared then).
  uint32_t take(uint8_t* out, uint32_t capacity);

 private:
  static uint32_t bytesFor(uint32_t count);
  comsrc::Rect frame_;
  std::vector<comsrc::Rect> rects_;
};

#pragma once

#include <cstdint>

#include "source/Drawing.h"

namespace comsrc {
class DIBitmap;
}

// A screen source: keeps a 32-bit copy of a rectangle of the desktop and reports into the
// change list what changed since the last refresh.
class FrameSource {
 public:
  virtual ~FrameSource() = default;

  // >= 0 on success (rectangles added); negative when the source is lost.
  virtual int32_t refresh() = 0;
  // The current image, valid until the next refresh; null before the first successful one.
  virtual comsrc::DIBitmap* bitmap() = 0;
  // Whether the next refresh has anything to report; unknown when the source cannot tell
  // without refreshing.
  virtual Drawing changePending() { return Drawing::unknown; }
  // A descriptor that becomes readable when something is drawn, for the main loop to wait on;
  // -1 when there is none.
  virtual intptr_t drawingEvents() { return -1; }
};

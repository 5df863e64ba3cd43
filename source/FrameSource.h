#pragma once

#include <cstdint>

#include "source/Drawing.h"

namespace comsrc {
class DIBitmap;
}

// A screen source: keeps a 32-bit copy of a rectangle of the desktop and reports into the
// change list what changed since the last refresh.
// Why a source, or a step of it, failed. Operations return these as negative numbers (0 or more
// is success, a count where the step counts something), so callers keep asking `< 0` while the
// code and its tests name the reason.
enum class SourceFailure : int32_t {
  unavailable = -1,       // nothing to work with: no capture, no bitmaps, no answer, no mapping
  noScreenContext = -2,   // the display cannot be reached (for the driver: another one answers)
  captureLost = -3,       // the capture can no longer read the screen
  noImage = -100,         // the driver's source has no image to copy into
  mappingNotKept = -200,  // the driver's frame buffer could not be kept mapped
  frameNotMapped = -201,  // the driver's frame buffer is not mapped
};
constexpr int32_t failure(SourceFailure why) { return static_cast<int32_t>(why); }

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

#pragma once

#include <utility>

#include "comsrc/Rect.h"
#include "source/Drawing.h"

// The screen copy's account of the frames of one request, apart from the protocol: whether one
// came since the last copy and what it changed, and whether the first is still to be waited for.
class ScreenCopyFrames {
 public:
  // A new request (another area or output): nothing has come, the first frame is waited for once.
  void restart() { *this = ScreenCopyFrames{}; }

  // The buffers were made anew (a new stride or format): what they held is gone.
  void buffersRemade() { remade = true; }

  // A frame came, with the damage the compositor reported (empty: none) on the frame `all`;
  // `whole` when it cannot be trusted (a turned frame). Returns what counts as drawn: all of it
  // for the first frame, the first in new buffers and one without damage.
  comsrc::Rect arrived(const comsrc::Rect& damage, const comsrc::Rect& all, bool whole) {
    const comsrc::Rect drawn = whole || !any || remade || damage.isEmpty() ? all : damage;
    remade = false;
    held = comsrc::boundingRect(held, drawn);
    any = fresh = true;
    return drawn;
  }

  // True once per request while no frame has come: the first copy waits a moment for it.
  bool waitForFirst() {
    if (any || waited) return false;
    return waited = true;
  }
  bool anyFrame() const { return any; }

  // What the frames since the last copy changed, taken by this copy.
  comsrc::Rect take() {
    fresh = false;
    return std::exchange(held, comsrc::Rect{});
  }

  // Until the copy that waited for the first frame, a copy is due; after it only frames count, so
  // a compositor that never sends one leaves the request waiting, not the window copying.
  Drawing drawing() const { return fresh || (!any && !waited) ? Drawing::drawn : Drawing::nothing; }

 private:
  bool any = false;
  bool waited = false;
  bool fresh = false;   // a frame came since the last copy
  bool remade = false;  // new buffers: their first frame is wholly new
  comsrc::Rect held;    // what the frames since the last copy changed
};

#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "comsrc/TickClock.h"
#include "comsrc/Rect.h"
#include "source/FrameSource.h"

namespace comsrc {
class Bitmap;
class RectList;
}  // namespace comsrc
class DisplayConnection;
struct CaptureOptions;
class ScreenCapture;

// The main-screen mirror: blits a rectangle of the screen into a 32-bit bitmap at most every
// 40 ms and reports what changed, found in 32 × 32 tiles. Each comparison looks at half of the
// pixel pairs, alternating. Captures are compared with a baseline that holds what has been
// reported, not with the previous capture, so that a change one comparison skips is still
// there for the next one to find.
class ScreenMirrorSource : public FrameSource {
 public:
  static constexpr uint32_t kCaptureSpacingMs = 40;
  // Consecutive failed screen reads (about a second of frames) that lose the source.
  static constexpr int32_t kFailedReadsLost = 25;

  // Reads `acquirer` (the main display) and reports into `rectList` (the change list); uses
  // neither beyond that, and both must outlive the source.
  // `options`, `portalRefused` and `tracedChoice` (any may be null) go to the platform's capture
  // and must outlive the source.
  ScreenMirrorSource(DisplayConnection& acquirer, comsrc::RectList& rectList, const comsrc::Rect& captureRect,
             CaptureOptions* options = nullptr, bool* portalRefused = nullptr, std::string* tracedChoice = nullptr);
  // The same with the platform's capture and counter replaced (tests, benchmarks).
  ScreenMirrorSource(DisplayConnection& acquirer, comsrc::RectList& rectList, const comsrc::Rect& captureRect,
             std::unique_ptr<ScreenCapture> capture, comsrc::PerfCounter& counter);
  ~ScreenMirrorSource() override;

  // Rectangles added (0 when nothing changed or within 40 ms of the last capture); -1 when a
  // bitmap could not be made, -2 when there is no screen context even after reopening it, -3
  // when the capture lost the screen or could not read it for kFailedReadsLost captures.
  int32_t refresh() override;
  comsrc::DIBitmap* bitmap() override { return current.get(); }
  Drawing changePending() override;
  intptr_t drawingEvents() override;

  virtual comsrc::Rect* captureRect() { return &captureRect_; }
  // The source can no longer read the screen (its last refresh failed, or its capture is lost).
  bool lost() const;
  // The capture, for a new source to go on with; null when it is lost.
  std::unique_ptr<ScreenCapture> releaseCapture();

  // Which half of the pixel pairs the next comparison looks at (flips before each one).
  uint32_t parity() const { return compareParity; }

 protected:
  int32_t refreshOnce();
  int32_t firstCapture();
  // Looks only at the tiles `area` touches.
  int32_t compareCaptures(const comsrc::Rect& area);

  DisplayConnection* acquirer;
  comsrc::RectList* rectList;
  std::unique_ptr<ScreenCapture> capture;
  std::unique_ptr<comsrc::DIBitmap> scratch;   // receives the next capture
  std::unique_ptr<comsrc::DIBitmap> current;   // the newest capture
  std::unique_ptr<comsrc::DIBitmap> baseline;  // the image as reported so far
  comsrc::TickClock clock;
  uint32_t lastCaptureMs = 0;
  comsrc::Rect captureRect_;
  uint32_t compareParity = 0;
  int32_t failedReads = 0;
  bool failed = false;
  // The last capture followed no drawing, so it compared the other half of the pairs of what
  // the one before it found; until something is drawn again, capturing finds nothing new.
  bool settled = false;
  // What the platform reported drawn before the last capture; that comparison looked at half
  // of its pairs, so the next one looks there again.
  comsrc::Rect lastDamage;
};

#include "source/ScreenMirrorSource.h"

#include <algorithm>
#include <cstddef>

#include "comsrc/Bitmap.h"
#include "comsrc/DIBitmap.h"
#include "comsrc/RectList.h"
#include "source/DisplayConnection.h"
#include "source/ScreenCapture.h"
#include "source/TileCompare.h"

ScreenMirrorSource::ScreenMirrorSource(DisplayConnection& screen, comsrc::RectList& changes, const comsrc::Rect& area,
                       CaptureOptions* options, bool* portalRefused, std::string* tracedChoice)
    : ScreenMirrorSource(screen, changes, area, makeScreenCapture(options, portalRefused, tracedChoice),
                 comsrc::systemPerfCounter()) {}

ScreenMirrorSource::ScreenMirrorSource(DisplayConnection& screen, comsrc::RectList& changes, const comsrc::Rect& area,
                       std::unique_ptr<ScreenCapture> platform, comsrc::PerfCounter& counter)
    : acquirer(&screen), rectList(&changes), capture(std::move(platform)), clock(1000.0, counter), captureRect_(area) {}

// The bitmaps go before the capture that made them (they are declared after it).
ScreenMirrorSource::~ScreenMirrorSource() = default;

bool ScreenMirrorSource::lost() const { return failed || !capture || capture->lost(); }

std::unique_ptr<ScreenCapture> ScreenMirrorSource::releaseCapture() {
  if (lost()) return nullptr;
  return std::move(capture);
}

int32_t ScreenMirrorSource::refresh() {
  const int32_t result = refreshOnce();
  failed = result < 0;
  return result;
}

int32_t ScreenMirrorSource::refreshOnce() {
  // A difference, not a sum: the millisecond reading wraps every 49.7 days. Captures are
  // spaced from start to start: stamped at their end, a capture called every 40 ms by the
  // frames would find itself less than 40 ms after the last one and be skipped every other
  // frame, doubling the time a change takes to reach the devices.
  const uint32_t startMs = clock.read();
  if (startMs - lastCaptureMs < kCaptureSpacingMs) return 0;

  ScreenContext* screen = acquirer->screenContext();
  if (!screen) {
    acquirer->open();
    screen = acquirer->screenContext();
    if (!screen) return failure(SourceFailure::noScreenContext);
  }
  if (!capture) return failure(SourceFailure::unavailable);

  const bool drawn = capture->drawing(screen) != Drawing::nothing;
  if (capture->lost()) return failure(SourceFailure::captureLost);
  // Nothing drawn and nothing left to compare: no capture, so none to space the next one from.
  if (current && !drawn && settled) return 0;

  bool first = false;
  if (!current) {
    const int32_t w = captureRect_.width(), h = captureRect_.height();
    current = capture->createCaptureBitmap(screen, w, h);
    if (current) scratch = capture->createCaptureBitmap(screen, w, h);
    if (scratch) baseline = capture->createCaptureBitmap(screen, w, h);
    if (!baseline) {
      scratch.reset();
      current.reset();
      return failure(SourceFailure::unavailable);
    }
    first = true;
  }

  if (!capture->blitFromScreen(*scratch, screen, captureRect_.left, captureRect_.top)) {
    // What the scratch holds is no picture of now: nothing is compared or reported, and a first
    // capture stays to be made. Reads that keep failing lose the source.
    if (first) current.reset();
    lastCaptureMs = startMs;
    return ++failedReads >= kFailedReadsLost ? -3 : 0;
  }
  failedReads = 0;
  const comsrc::Rect whole{0, 0, scratch->getWidth(), scratch->getHeight()};
  comsrc::Rect damage;
  if (!capture->damagedArea(damage)) damage = whole;
  comsrc::Rect area = damage;
  if (damage.isEmpty()) {
    area = lastDamage;
  } else if (!lastDamage.isEmpty()) {
    area = comsrc::Rect{std::min(damage.left, lastDamage.left), std::min(damage.top, lastDamage.top),
                        std::max(damage.right, lastDamage.right), std::max(damage.bottom, lastDamage.bottom)};
  }
  lastDamage = damage;
  const int32_t result = first ? firstCapture() : compareCaptures(area);
  settled = !first && !drawn;
  std::swap(scratch, current);
  lastCaptureMs = startMs;
  return result;
}

Drawing ScreenMirrorSource::changePending() {
  ScreenContext* screen = acquirer->screenContext();
  if (!capture || !screen) return Drawing::unknown;
  // The first capture, and the one that compares the other half of the pairs after a drawing,
  // have work whatever is drawn.
  if (!current || !settled) return Drawing::drawn;
  return capture->drawing(screen);
}

intptr_t ScreenMirrorSource::drawingEvents() {
  ScreenContext* screen = acquirer->screenContext();
  return capture && screen ? capture->drawingEvents(screen) : -1;
}

int32_t ScreenMirrorSource::firstCapture() {
  comsrc::DrawingContext* to = baseline->lockContext();
  comsrc::DrawingContext* from = scratch->lockContext();
  if (to && from) to->blit(0, 0, baseline->getWidth(), baseline->getHeight(), from, 0, 0);
  if (from) scratch->unlockContext(from);
  if (to) baseline->unlockContext(to);
  rectList->add(comsrc::Rect{0, 0, scratch->getWidth(), scratch->getHeight()});
  return 1;
}

int32_t ScreenMirrorSource::compareCaptures(const comsrc::Rect& area) {
  // Whole tiles, so that each pixel keeps its place in the checkerboard of pairs.
  const comsrc::Rect whole{0, 0, scratch->getWidth(), scratch->getHeight()};
  const auto down = [](int32_t v) { return v / kCompareTile * kCompareTile; };
  const comsrc::Rect snapped{down(area.left), down(area.top), down(area.right + kCompareTile - 1),
                             down(area.bottom + kCompareTile - 1)};
  comsrc::Rect tiles;
  uint8_t* before = baseline->lockPixels();
  const uint8_t* after = scratch->lockPixels();
  int32_t added = 0;
  if (before && after) {
    compareParity ^= 1;
    if (intersectRect(tiles, snapped, whole)) {
      const int32_t strideB = baseline->getStride(), strideA = scratch->getStride();
      added = compareTiles(before + ptrdiff_t{tiles.top} * strideB + ptrdiff_t{tiles.left} * 4, strideB,
                           after + ptrdiff_t{tiles.top} * strideA + ptrdiff_t{tiles.left} * 4, strideA,
                           tiles.width(), tiles.height(), compareParity, *rectList, tiles.left, tiles.top);
    }
  } else {
    // Pixels lent out elsewhere cannot be compared; report everything rather than lose a change.
    rectList->add(comsrc::Rect{0, 0, scratch->getWidth(), scratch->getHeight()});
    added = 1;
  }
  if (after) scratch->unlockPixels();
  if (before) baseline->unlockPixels();
  return added;
}

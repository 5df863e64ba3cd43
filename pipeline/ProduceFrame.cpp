#include "pipeline/ProduceFrame.h"

#include <algorithm>

#include "comsrc/DIBitmap.h"
#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "link/Devices.h"
#include "pipeline/Capture.h"
#include "pipeline/Dither.h"
#include "pipeline/FrameState.h"
#include "pipeline/LineEncoder.h"
#include "source/DeviceMediator.h"
#include "source/HDCAcquirer.h"
#include "source/ScreenSources.h"

namespace {

// The device's area within the captured image, and never more than its 400 × 240 working pixels.
comsrc::Rect clippedArea(const comsrc::Rect& area, int32_t captureWidth, int32_t captureHeight) {
  comsrc::Rect r = area;
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  r.right = std::min(r.right, captureWidth);
  r.bottom = std::min(r.bottom, captureHeight);
  r.right = int32_t(std::min<int64_t>(r.right, int64_t{r.left} + kPanelWidth));
  r.bottom = int32_t(std::min<int64_t>(r.bottom, int64_t{r.top} + kPanelHeight));
  return r;
}

bool isHalftone(int32_t dither) { return dither >= 2 && dither <= 4; }

// Rows that overlapped or ran past the buffer would garble the panel or overrun memory.
bool workPixelsHoldAPanel(const DeviceWork& work) {
  return work.workStride >= kPanelWidth &&
         int64_t{work.workStride} * (kPanelHeight - 1) + kPanelWidth <= int64_t(work.workPixels.size());
}

// Lines the forced refresh may put behind a frame's fresh lines: a quarter of what the port
// carries in a 40 ms frame (57 bytes of 10 bits a line), at least 3, so that a refresh never holds
// a fresh change back by more than a few lines and still reaches every line well within 4 s.
int32_t resendBudget(int32_t speed) {
  if (speed <= 0) return kPanelHeight;
  return std::clamp(speed / (kLineRecordSize * 10 * 25 * 4), 3, kPanelHeight);
}

// Dithers the changed pixels inside the device's area; returns the working rows they touch.
LineRange ditherDevice(FrameState& frame, comsrc::RectList& changes, const DeviceLink& link, const DeviceSettings& slot,
                       DeviceWork& device) {
  const uint32_t n = changes.count();
  const WorkArea work{device.workPixels.data(), device.workStride,
                      clippedArea(link.area, frame.captureWidth, frame.captureHeight)};
  const LumaImage image{frame.lumaBuffer.data(), frame.captureWidth};
  const ToneCurve tone = ToneCurve::of(slot);
  LineRange lines;
  for (uint32_t i = 0; i < n; ++i) {
    const comsrc::Rect* changed = changes.at(i);
    if (!changed) continue;
    if (changed->top < work.area.bottom && changed->left < work.area.right)
      ditherChanged(slot.dither, image, tone, *changed, work, frame.frameCounter);
    lines.widen(*changed, work.area.top);
  }
  return lines;
}

// Queues, in one block, the changed rows whose records the device does not show yet (in
// ascending order), then as many lines of a forced refresh as the budget allows. What the
// device shows is updated only when the link takes the block.
void sendLines(FrameState& frame, const LineRange& changed, DeviceLink& link, const DeviceWork& device) {
  uint8_t* block = frame.lineBlock.data();
  uint32_t length = 0;
  bool taken[kPanelHeight] = {};
  const auto row = [&](int32_t l) { return device.workPixels.data() + int64_t{device.workStride} * l; };
  for (int32_t l = changed.first; l < changed.last; ++l) {
    uint8_t* record = block + length;
    encodeLine(record, row(l), l, link.invert, link.rotate);
    if (link.shown.shows(record[2], record + 3)) continue;
    length += kLineRecordSize;
    taken[l] = true;
  }
  int32_t budget = resendBudget(link.speed());
  for (int32_t l = 0; l < kPanelHeight && budget > 0 && link.shown.dueCount() > 0; ++l) {
    if (taken[l] || !link.shown.isDue(lineAddress(l, link.rotate))) continue;
    encodeLine(block + length, row(l), l, link.invert, link.rotate);
    length += kLineRecordSize;
    taken[l] = true;
    --budget;
  }
  if (length == 0) return;
  // A refused block leaves what the device shows as it was; its lines come due, to go out as
  // soon as the line has room.
  const bool queued = queueBlock(link, block, length) >= 0;
  for (uint32_t at = 0; at < length; at += kLineRecordSize) {
    if (queued) {
      link.shown.remember(block[at + 2], block + at + 3);
    } else {
      link.shown.markDue(block[at + 2]);
    }
  }
}

}  // namespace

void produceFrame(FrameState& frame, ScreenSources& sources, Devices& devices) {
  if (!frame.tablesBuilt) buildLumaTables(frame);
  if (!devices.framesFlow() || !sources.sourceReady || devices.deviceLinks.empty() || !sources.changeList) return;

  DeviceMediator* source = sources.activeSource();
  HDCAcquirer* display = sources.activeDisplay();
  if (!source || source->refresh() < 0) sources.sourceReady = 0;

  comsrc::RectList& changes = *sources.changeList;
  const size_t slotCount = std::min(devices.deviceSlots.size(), devices.deviceWork.size());
  for (size_t i = 0; i < devices.deviceLinks.size() && i < slotCount; ++i) {
    const int32_t dither = devices.deviceSlots[i].dither;
    if (devices.deviceLinks[i] && isHalftone(dither)) changes.add(devices.deviceLinks[i]->area);
  }

  const uint32_t n = changes.count();
  const int32_t shrink = slotCount > 0 ? devices.deviceSlots[0].shrink : 0;
  captureSize(display ? *display->rect() : comsrc::Rect{}, shrink, frame.captureWidth, frame.captureHeight);
  if (n == 0 && !devices.resendDue()) return;

  if (n > 0) {
    ++frame.frameCounter;
    comsrc::DIBitmap* bitmap = source ? source->bitmap() : nullptr;
    const uint8_t* pixels = bitmap ? bitmap->lockPixels() : nullptr;
    if (!pixels) {
      changes.clear();
      return;
    }
    // Never read past the image the source holds, whatever size the display reports.
    frame.captureWidth = std::min(frame.captureWidth, std::max(bitmap->getWidth(), 0));
    frame.captureHeight = std::min(frame.captureHeight, std::max(bitmap->getHeight(), 0));
    if (bitmap->getBitsPerPixel() != 32) frame.captureWidth = frame.captureHeight = 0;
    convertToLuma(frame, pixels, bitmap->getStride(), frame.captureWidth, frame.captureHeight);
    bitmap->unlockPixels();
  }
  for (size_t i = 0; i < devices.deviceLinks.size() && i < slotCount; ++i) {
    DeviceLink* link = devices.deviceLinks[i].get();
    const DeviceSettings& slot = devices.deviceSlots[i];
    DeviceWork& work = devices.deviceWork[i];
    if (!link || !slot.active || !devices.feeds(i) || !workPixelsHoldAPanel(work)) continue;
    const LineRange lines = n > 0 ? ditherDevice(frame, changes, *link, slot, work) : LineRange{};
    sendLines(frame, lines, *link, work);
  }
  changes.clear();
}

int32_t frameWorkPending(const ScreenSources& sources, const Devices& devices) {
  if (sources.changeList && sources.changeList->count() > 0) return 1;
  for (size_t i = 0; i < devices.deviceLinks.size() && i < devices.deviceSlots.size() && i < devices.deviceWork.size(); ++i)
    if (devices.feeds(i) && isHalftone(devices.deviceSlots[i].dither)) return 1;
  DeviceMediator* source = sources.activeSource();
  const int32_t drawn = source ? source->changePending() : -1;
  if (drawn == 0 && devices.resendDue()) return 2;
  return drawn;
}

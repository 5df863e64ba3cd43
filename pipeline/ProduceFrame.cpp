#include "pipeline/ProduceFrame.h"

#include <algorithm>

#include "comsrc/DIBitmap.h"
#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "link/Devices.h"
#include "pipeline/LumaConversion.h"
#include "pipeline/Dither.h"
#include "pipeline/FrameState.h"
#include "pipeline/LineEncoder.h"
#include "source/FrameSource.h"
#include "source/DisplayConnection.h"
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

// What the line carries in one 40 ms frame, in bytes of 10 bits; a link without a speed keeps up
// with anything.
int64_t frameBytes(int32_t speed) { return speed > 0 ? int64_t{speed} / 250 : int64_t{1} << 40; }

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

// Queues, in one block, the lines with news for the device (changed rows whose records it does
// not show yet, and lines held back before), in ascending order, then lines of the forced
// refresh from where it stopped. The line is kept busy but never far ahead: news may wait for
// two frames of the line's time, the refresh for one, so that a change drawn meanwhile waits
// behind them no longer than that; what does not fit waits for a later frame, which encodes it
// afresh. What the device shows is updated only when the link takes the block.
void sendLines(FrameState& frame, const LineRange& changed, DeviceLink& link, const DeviceWork& device) {
  uint8_t* block = frame.lineBlock.data();
  ShownLines& shown = link.shown;
  const int64_t perFrame = frameBytes(link.speed());
  const int64_t waiting = link.queued();
  const int64_t room = link.freeSpace();
  uint32_t length = 0;
  const auto fits = [&](int64_t limit) { return length + kLineRecordSize <= room && waiting + length < limit; };
  bool taken[kPanelHeight] = {};
  const auto row = [&](int32_t l) { return device.workPixels.data() + int64_t{device.workStride} * l; };
  for (int32_t l = 0; l < kPanelHeight; ++l) {
    const int32_t address = lineAddress(l, link.rotate);
    if ((l < changed.first || l >= changed.last) && !shown.isHeldBack(address)) continue;
    uint8_t* record = block + length;
    encodeLine(record, row(l), l, link.invert, link.rotate);
    if (shown.shows(address, record + 3)) {
      shown.release(address);
    } else if (fits(2 * perFrame)) {
      length += kLineRecordSize;
      taken[l] = true;
    } else {
      shown.holdBack(address);
    }
  }
  const uint32_t news = length;
  while (shown.dueCount() > 0 && fits(perFrame)) {
    const int32_t address = shown.nextDue([&](int32_t a) { return taken[rowOfAddress(a, link.rotate)]; });
    if (address == 0) break;
    const int32_t l = rowOfAddress(address, link.rotate);
    encodeLine(block + length, row(l), l, link.invert, link.rotate);
    length += kLineRecordSize;
    taken[l] = true;
  }
  if (length == 0) return;
  // Room was there when it was measured, and the writer only makes more; a link shutting down
  // refuses, and then the news waits and the refreshed lines stay due.
  const bool queued = queueBlock(link, block, length) >= 0;
  for (uint32_t at = 0; at < length; at += kLineRecordSize) {
    if (queued)
      shown.remember(block[at + 2], block + at + 3);
    else if (at < news)
      shown.holdBack(block[at + 2]);
  }
}

}  // namespace

void produceFrame(FrameState& frame, ScreenSources& sources, Devices& devices) {
  if (!frame.tablesBuilt) buildLumaTables(frame);
  if (!devices.framesFlow() || !sources.sourceReady || !devices.anyLink() || !sources.changeList) return;

  FrameSource* source = sources.activeSource();
  DisplayConnection* display = sources.activeDisplay();
  if (!source || source->refresh() < 0) sources.sourceReady = 0;

  comsrc::RectList& changes = *sources.changeList;
  for (const DeviceSlot& each : devices.slots)
    if (each.link && isHalftone(each.settings.dither)) changes.add(each.link->area);

  const uint32_t n = changes.count();
  const int32_t shrink = devices.slots[0].settings.shrink;
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
  for (size_t i = 0; i < devices.slots.size(); ++i) {
    DeviceSlot& each = devices.slots[i];
    DeviceLink* link = each.link.get();
    const DeviceSettings& slot = each.settings;
    DeviceWork& work = each.work;
    if (!link || !slot.active || !devices.feeds(i) || !workPixelsHoldAPanel(work)) continue;
    const LineRange lines = n > 0 ? ditherDevice(frame, changes, *link, slot, work) : LineRange{};
    sendLines(frame, lines, *link, work);
  }
  changes.clear();
}

FrameWork frameWorkPending(const ScreenSources& sources, const Devices& devices) {
  if (sources.changeList && sources.changeList->count() > 0) return FrameWork::change;
  for (size_t i = 0; i < devices.slots.size(); ++i)
    if (devices.feeds(i) && isHalftone(devices.slots[i].settings.dither)) return FrameWork::change;
  FrameSource* source = sources.activeSource();
  switch (source ? source->changePending() : Drawing::unknown) {
    case Drawing::drawn: return FrameWork::change;
    case Drawing::nothing: return devices.resendDue() ? FrameWork::resendDue : FrameWork::nothing;
    case Drawing::unknown: break;
  }
  return FrameWork::unknown;
}

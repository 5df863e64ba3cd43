#include "pipeline/ProduceFrame.h"

#include <algorithm>

#include "app/AppState.h"
#include "comsrc/DIBitmap.h"
#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "pipeline/Capture.h"
#include "pipeline/Dither.h"
#include "pipeline/FrameState.h"
#include "pipeline/LineEncoder.h"
#include "source/DeviceMediator.h"
#include "source/HDCAcquirer.h"

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

// Rows that overlapped or ran past the buffer would garble the panel or overrun memory.
bool workPixelsHoldAPanel(const DeviceSettings& slot) {
  return slot.workStride >= kPanelWidth &&
         int64_t{slot.workStride} * (kPanelHeight - 1) + kPanelWidth <= int64_t(slot.workPixels.size());
}

void sendDevice(AppState& app, DeviceLink& link, DeviceSettings& slot) {
  FrameState& frame = *app.frame;
  comsrc::RectList& changes = *app.changeList;
  const uint32_t n = changes.count();
  const WorkArea work{slot.workPixels.data(), slot.workStride,
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
  if (lines.isEmpty()) return;
  const uint32_t length = encodeLines(frame.lineBlock.data(), work.pixels, work.stride, lines, link.invert, link.rotate);
  // A refused block is dropped for this frame; the lines go again when they change again.
  queueBlock(link, frame.lineBlock.data(), length);
}

}  // namespace

void produceFrame(AppState& app) {
  FrameState& frame = *app.frame;
  if (!frame.tablesBuilt) buildLumaTables(frame);
  if (!app.linksOpen || !app.sourceReady || app.deviceLinks.empty() || !app.changeList) return;

  DeviceMediator* source = app.captureMode == 1 ? app.driverSource.get() : app.gdiSource.get();
  HDCAcquirer* display = app.captureMode == 1 ? app.driverDisplay.get() : app.mainDisplay.get();
  if (!source || source->refresh() < 0) app.sourceReady = 0;

  comsrc::RectList& changes = *app.changeList;
  const size_t slotCount = app.deviceSlots.size();
  for (size_t i = 0; i < app.deviceLinks.size() && i < slotCount; ++i) {
    const int32_t dither = app.deviceSlots[i].dither;
    if (app.deviceLinks[i] && dither >= 2 && dither <= 4) changes.add(app.deviceLinks[i]->area);
  }

  const uint32_t n = changes.count();
  const int32_t shrink = slotCount > 0 ? app.deviceSlots[0].shrink : 0;
  captureSize(display ? *display->rect() : comsrc::Rect{}, shrink, frame.captureWidth, frame.captureHeight);
  if (n == 0) return;
  ++frame.frameCounter;

  comsrc::DIBitmap* bitmap = source ? source->bitmap() : nullptr;
  const uint8_t* pixels = bitmap ? bitmap->lockPixels() : nullptr;
  if (pixels) {
    // Never read past the image the source holds, whatever size the display reports.
    frame.captureWidth = std::min(frame.captureWidth, std::max(bitmap->getWidth(), 0));
    frame.captureHeight = std::min(frame.captureHeight, std::max(bitmap->getHeight(), 0));
    if (bitmap->getBitsPerPixel() != 32) frame.captureWidth = frame.captureHeight = 0;
    convertToLuma(frame, pixels, bitmap->getStride(), frame.captureWidth, frame.captureHeight);
    bitmap->unlockPixels();

    for (size_t i = 0; i < app.deviceLinks.size() && i < slotCount; ++i) {
      DeviceLink* link = app.deviceLinks[i].get();
      DeviceSettings& slot = app.deviceSlots[i];
      if (link && slot.active && slot.portOk && workPixelsHoldAPanel(slot)) sendDevice(app, *link, slot);
    }
  }
  changes.clear();
}

#include "source/ScreenCapture_Portal.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "comsrc/DIBitmap.h"
#include "comsrc/Rect.h"
#include "source/MemoryCapture.h"
#include "settings/CaptureOptions.h"
#include "source/LinuxToolkit_Linux.h"
#include "source/ScreenCapture_PortalCast.h"
#include "source/Trace.h"

namespace {

class ScreenCapture_Portal : public MemoryCapture {
 public:
  ScreenCapture_Portal(std::shared_ptr<PortalCast> portalCast, CaptureOptions* captureOptions, bool* refusedFlag)
      : cast(std::move(portalCast)), frames(cast->frames), options(captureOptions), refused(refusedFlag) {}

  // A refusal that came after the last question still reaches the owner, before a new capture.
  ~ScreenCapture_Portal() override {
    std::lock_guard<std::mutex> hold(frames.lock);
    report();
  }

  // The held frame's pixels at (srcX, srcY) on the monitor; what lies outside it is black.
  bool blitFromScreen(comsrc::DIBitmap& target, ScreenContext*, int32_t srcX, int32_t srcY, uint32_t) override {
    if (target.getBitsPerPixel() != 32) return false;
    drainWake(cast->wakeFd());
    uint8_t* pixels = target.lockPixels();
    if (!pixels) return false;
    const int32_t stride = target.getStride();
    const comsrc::Rect area = comsrc::rectAt(srcX, srcY, target.getWidth(), target.getHeight());
    {
      std::lock_guard<std::mutex> hold(frames.lock);
      const int32_t w = area.width();
      const int32_t x0 = std::clamp(-area.left, 0, w);
      const int32_t x1 = std::clamp(frames.width - area.left, x0, w);
      for (int32_t y = 0; y < area.height(); ++y) {
        uint8_t* row = pixels + ptrdiff_t{y} * stride;
        const int32_t fy = area.top + y;
        if (!frames.any || fy < 0 || fy >= frames.height || x0 == x1) {
          std::memset(row, 0, size_t(w) * 4);
          continue;
        }
        const uint8_t* src = frames.pixels.data() + (size_t(fy) * frames.width + size_t(area.left + x0)) * 4;
        copyCaptureRow(row, w, src, x0, x1, frames.swapRedBlue);
      }
      damageKnown = frames.any && area == lastArea && (!frames.fresh || frames.damageKnown);
      damage = comsrc::Rect{};
      if (damageKnown && frames.fresh)
        intersectRect(damage, comsrc::offsetRect(frames.damage, -srcX, -srcY),
                      comsrc::Rect{0, 0, area.width(), area.height()});
      if (frames.any) lastArea = area;
      frames.fresh = false;
    }
    target.unlockPixels();
    return true;
  }

  bool drawnSinceLastBlit(ScreenContext*) override {
    drainWake(cast->wakeFd());
    std::lock_guard<std::mutex> hold(frames.lock);
    report();
    return frames.fresh;
  }

  int32_t drawingPending(ScreenContext* screen) override {
    const bool drawn = drawnSinceLastBlit(screen);
    return lost() ? -1 : drawn ? 1 : 0;
  }

  intptr_t drawingEvents(ScreenContext*) override { return cast->wakeFd(); }

  bool damagedArea(comsrc::Rect& out) override {
    if (!damageKnown) return false;
    out = damage;
    return true;
  }

  bool lost() const override { return cast->failed(); }

 private:
  // On the window's thread: what the cast's thread found, once each.
  void report() {
    if (refused && cast->refusedByUser()) *refused = true;
    if (!cast->newToken.empty() && options) options->portalToken = cast->newToken;
    cast->newToken.clear();
    if (!cast->started.empty()) traceOnce("portal", cast->started.c_str());
    cast->started.clear();
    if (frames.failed && !reported) traceOnce("portal", frames.failure.c_str());
    reported = frames.failed;
  }

  std::shared_ptr<PortalCast> cast;
  PortalFrames& frames;
  CaptureOptions* options;
  bool* refused;
  bool reported = false;

  // The last blit's.
  comsrc::Rect lastArea;
  bool damageKnown = false;
  comsrc::Rect damage;
};

}  // namespace

std::unique_ptr<ScreenCapture> makeScreenCapture_Portal(CaptureOptions* options, bool* refused, std::string& why) {
  if (refused && *refused) {
    why = "the screen cast was refused; not asked again until the capture mode changes";
    return nullptr;
  }
  std::shared_ptr<PortalCast> cast = PortalCast::start(options ? options->portalToken : "", why);
  if (!cast) return nullptr;
  std::unique_ptr<ScreenCapture> capture(new (std::nothrow) ScreenCapture_Portal(cast, options, refused));
  if (!capture) why = "out of memory";
  return capture;
}

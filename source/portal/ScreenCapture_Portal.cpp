#include "source/portal/ScreenCapture_Portal.h"

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
#include "comsrc/LinuxToolkit_Linux.h"
#include "source/portal/ScreenCapture_PortalCast.h"
#include "comsrc/Trace.h"

namespace {

class ScreenCapture_Portal : public MemoryCapture {
 public:
  ScreenCapture_Portal(std::shared_ptr<PortalCast> portalCast, CaptureOptions* captureOptions,
                       std::string CaptureOptions::*tokenKept, bool* refusedFlag)
      : cast(std::move(portalCast)), frames(cast->frames), options(captureOptions), token(tokenKept),
        refused(refusedFlag) {}

  // A refusal that came after the last question still reaches the owner, before a new capture.
  ~ScreenCapture_Portal() override {
    std::lock_guard<std::mutex> hold(frames.lock);
    report();
  }

  // The held frame's pixels at (srcX, srcY) on the monitor or in the window; what lies outside
  // it is black.
  bool blitFromScreen(comsrc::DIBitmap& target, ScreenContext*, int32_t srcX, int32_t srcY) override {
    drainWake(cast->wakeFd());
    const comsrc::Rect area = comsrc::rectAt(srcX, srcY, target.getWidth(), target.getHeight());
    std::lock_guard<std::mutex> hold(frames.lock);
    const auto at = [&](int32_t x, int32_t y, ptrdiff_t&) {
      return frames.pixels.data() + (size_t(y) * frames.width + size_t(x)) * 4;
    };
    if (!copyFrame(target, area, 0, 0, frames.any ? frames.width : 0, frames.height, frames.swapRedBlue, at))
      return false;
    noteDamage(frames.any && area == lastArea && (!frames.fresh || frames.damageKnown),
               frames.fresh ? frames.damage : comsrc::Rect{}, area);
    if (frames.any) lastArea = area;
    frames.fresh = false;
    return true;
  }

  Drawing drawing(ScreenContext*) override {
    drainWake(cast->wakeFd());
    std::lock_guard<std::mutex> hold(frames.lock);
    report();
    if (frames.failed) return Drawing::unknown;
    return frames.fresh ? Drawing::drawn : Drawing::nothing;
  }

  intptr_t drawingEvents(ScreenContext*) override { return cast->wakeFd(); }

  bool lost() const override { return cast->failed(); }

  bool choosesItsOwnWindow() const override { return true; }

 private:
  // On the window's thread: what the cast's thread found, once each.
  void report() {
    if (refused && cast->refusedByUser()) *refused = true;
    if (!cast->newToken.empty() && options) options->*token = cast->newToken;
    cast->newToken.clear();
    if (!cast->started.empty()) trace("portal", cast->started.c_str());
    cast->started.clear();
    if (frames.failed && !reported) trace("portal", frames.failure.c_str());
    reported = frames.failed;
  }

  std::shared_ptr<PortalCast> cast;
  PortalFrames& frames;
  CaptureOptions* options;
  std::string CaptureOptions::*token;  // the monitor's or the window's
  bool* refused;
  bool reported = false;

  comsrc::Rect lastArea;  // of the last blit
};

std::unique_ptr<ScreenCapture> makePortalCapture(CaptureOptions* options, bool* refused, bool window,
                                                 std::string& why) {
  if (refused && *refused) {
    why = "the screen cast was refused; not asked again until the capture mode changes";
    return nullptr;
  }
  std::string CaptureOptions::*token = window ? &CaptureOptions::portalWindowToken : &CaptureOptions::portalToken;
  std::shared_ptr<PortalCast> cast = PortalCast::start(options ? options->*token : "", window, why);
  if (!cast) return nullptr;
  std::unique_ptr<ScreenCapture> capture(new (std::nothrow) ScreenCapture_Portal(cast, options, token, refused));
  if (!capture) why = "out of memory";
  return capture;
}

}  // namespace

std::unique_ptr<ScreenCapture> makeScreenCapture_Portal(CaptureOptions* options, bool* refused, std::string& why) {
  return makePortalCapture(options, refused, false, why);
}

std::unique_ptr<ScreenCapture> makeWindowCapture_Portal(CaptureOptions* options, bool* refused, std::string& why) {
  return makePortalCapture(options, refused, true, why);
}

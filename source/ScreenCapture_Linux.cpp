#include <cstdlib>
#include <cstring>
#include <string>

#include "comsrc/DIBitmap.h"
#include "settings/CaptureOptions.h"
#include "source/ScreenCapture.h"
#include "source/portal/ScreenCapture_Portal.h"
#include "source/ScreenCapture_Wayland.h"
#include "source/Trace.h"
#include "source/ScreenCapture_X11.h"

namespace {

// A capture that never reads: the screen copy was asked for and cannot be had, so the source
// stays lost and discovery tries again.
class UnavailableCapture : public ScreenCapture {
 public:
  std::unique_ptr<comsrc::DIBitmap> createCaptureBitmap(ScreenContext*, int32_t, int32_t) override { return nullptr; }
  bool blitFromScreen(comsrc::DIBitmap&, ScreenContext*, int32_t, int32_t) override { return false; }
  bool lost() const override { return true; }
};

}  // namespace

// On a Wayland desktop the X11 root window (XWayland's) holds only X11 windows, so the screen
// copy is taken wherever the compositor offers it, and the desktop portal's screen cast elsewhere
// (GNOME, KDE Plasma).
std::unique_ptr<ScreenCapture> makeScreenCapture(CaptureOptions* options, bool* portalRefused) {
  const char* forced = std::getenv("VANTELINK_CAPTURE");
  std::string path = forced ? forced : "";
  if (!path.empty() && path != "x11" && path != "screencopy" && path != "portal") {
    traceOnce("capture", ("VANTELINK_CAPTURE=" + path + " is none of x11, screencopy, portal; choosing as without it").c_str());
    path.clear();
  }
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (path == "x11" || (path.empty() && !(wayland && *wayland))) {
    traceOnce("capture", path.empty() ? "x11 (WAYLAND_DISPLAY unset)" : "x11 (VANTELINK_CAPTURE=x11)");
    return makeScreenCapture_X11(true);
  }
  std::string why;
  bool answered = false;
  if (path != "portal") {
    if (auto capture = makeScreenCapture_Wayland(options ? options->waylandOutput : "", why, answered)) {
      traceOnce("capture", ("screencopy (" + why + ")").c_str());
      return capture;
    }
    // A compositor that does not answer has gone away or not yet started: X11 would show
    // XWayland's windows only, so the source stays lost until it is back.
    if (path == "screencopy" || !answered) {
      traceOnce("capture", ("screencopy unavailable, source lost: " + why).c_str());
      return std::make_unique<UnavailableCapture>();
    }
  }
  const std::string reason = path == "portal" ? "VANTELINK_CAPTURE=portal" : "WAYLAND_DISPLAY is set but " + why;
  std::string portalWhy;
  if (auto capture = makeScreenCapture_Portal(options, portalRefused, portalWhy)) {
    traceOnce("capture", ("portal (" + reason + ")").c_str());
    return capture;
  }
  if (path == "portal" || (portalRefused && *portalRefused)) {
    traceOnce("capture", ("portal unavailable, source lost: " + portalWhy).c_str());
    return std::make_unique<UnavailableCapture>();
  }
  traceOnce("capture", ("x11 (" + reason + ", and " + portalWhy + ")").c_str());
  return makeScreenCapture_X11(true);
}

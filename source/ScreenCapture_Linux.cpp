#include <cstdlib>
#include <string>

#include "comsrc/DIBitmap.h"
#include "settings/CaptureOptions.h"
#include "source/ScreenCapture.h"
#include "source/ScreenCapture_Wayland.h"
#include "source/ScreenCapture_X11.h"
#include "source/WindowCapture_X11.h"
#include "comsrc/Trace.h"
#include "source/portal/ScreenCapture_Portal.h"

namespace {

// A capture that never reads: the path chosen cannot be had now, so the source stays lost and
// discovery tries again.
class UnavailableCapture : public ScreenCapture {
 public:
  std::unique_ptr<comsrc::DIBitmap> createCaptureBitmap(ScreenContext*, int32_t, int32_t) override { return nullptr; }
  bool blitFromScreen(comsrc::DIBitmap&, ScreenContext*, int32_t, int32_t) override { return false; }
  bool lost() const override { return true; }
};

// One way to read the screen. `make` returns the capture, with `why` saying what it reads when
// that is worth a trace, or null with `why` saying why not; `waitForIt` then says whether the
// choice ends there with the source lost rather than trying the next.
struct Backend {
  const char* name;
  bool waylandOnly;  // tried in the automatic order on a Wayland session only
  // `window`: the capture of the options' window rather than of the screen; `offered` false when
  // the backend serves this desktop but cannot capture one window. `traced` is the line traced
  // last, which a window capture extends with the window it matched.
  std::unique_ptr<ScreenCapture> (*make)(CaptureOptions*, bool* portalRefused, bool window, std::string& why,
                                         bool& waitForIt, bool& offered, std::string& traced);
};

std::unique_ptr<ScreenCapture> makeScreenCopy(CaptureOptions* options, bool*, bool window, std::string& why,
                                               bool& waitForIt, bool& offered, std::string&) {
  bool answered = false;
  auto capture = makeScreenCapture_Wayland(options ? options->waylandOutput : "", options ? options->areaX : 0,
                                           options ? options->areaY : 0, why, answered);
  // A compositor that does not answer has gone away or not yet started: X11 would show
  // XWayland's windows only, so the source stays lost until it is back.
  waitForIt = !answered;
  // The screen copy has no window to offer: a desktop it serves has no window mirror.
  if (capture && window) {
    offered = false;
    why = "the wlroots screen copy captures whole outputs only";
    return std::make_unique<UnavailableCapture>();
  }
  return capture;
}

std::unique_ptr<ScreenCapture> makePortal(CaptureOptions* options, bool* refused, bool window, std::string& why,
                                          bool& waitForIt, bool&, std::string&) {
  auto capture = window ? makeWindowCapture_Portal(options, refused, why) : makeScreenCapture_Portal(options, refused, why);
  // After a refusal X11 would mirror what the user declined to share.
  waitForIt = refused && *refused;
  if (capture) why.clear();
  return capture;
}

std::unique_ptr<ScreenCapture> makeX11(CaptureOptions* options, bool*, bool window, std::string&, bool&, bool&,
                                       std::string& traced) {
  return window ? makeWindowCapture_X11(options, &traced) : makeScreenCapture_X11(true);
}

// On a Wayland desktop the X11 root window (XWayland's) holds only X11 windows, so the screen
// copy is taken wherever the compositor offers it, and the desktop portal's screen cast elsewhere
// (GNOME, KDE Plasma).
constexpr Backend kBackends[] = {
    {"screencopy", true, makeScreenCopy},
    {"portal", true, makePortal},
    {"x11", false, makeX11},
};

std::unique_ptr<ScreenCapture> chooseCapture(CaptureOptions* options, bool* portalRefused, std::string* tracedChoice,
                                             bool window, bool& offered) {
  std::string scratch;
  std::string& last = tracedChoice ? *tracedChoice : scratch;
  const char* topic = window ? "window capture" : "capture";
  const auto note = [&](const std::string& line) {
    // A window capture added what it matched to the same choice: nothing new.
    if (last.size() > line.size() && last.compare(0, line.size(), line) == 0 && last[line.size()] == ';') return;
    traceChanged(last, topic, line);
  };

  const char* forcedName = std::getenv("VANTELINK_CAPTURE");
  const Backend* forced = nullptr;
  for (const Backend& b : kBackends)
    if (forcedName && forcedName == std::string(b.name)) forced = &b;
  if (forcedName && *forcedName && !forced)
    note(std::string("VANTELINK_CAPTURE=") + forcedName +
         " is none of x11, screencopy, portal; choosing as without it");

  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool onWayland = wayland && *wayland;
  std::string reasons;  // why the backends tried before did not serve
  for (const Backend& b : kBackends) {
    if (forced ? forced != &b : b.waylandOnly && !onWayland) continue;
    std::string why;
    bool waitForIt = false;
    if (auto capture = b.make(options, portalRefused, window, why, waitForIt, offered, last)) {
      const std::string because = !why.empty() ? why
                                  : forced     ? std::string("VANTELINK_CAPTURE=") + b.name
                                  : !onWayland ? std::string("WAYLAND_DISPLAY unset")
                                               : "WAYLAND_DISPLAY is set but " + reasons;
      note(std::string(b.name) + " (" + because + ")");
      return capture;
    }
    if (forced || waitForIt) {
      note(std::string(b.name) + " unavailable, source lost: " + why);
      return std::make_unique<UnavailableCapture>();
    }
    reasons += (reasons.empty() ? "" : ", and ") + why;
  }
  return std::make_unique<UnavailableCapture>();
}

}  // namespace

std::unique_ptr<ScreenCapture> makeScreenCapture(CaptureOptions* options, bool* portalRefused,
                                                 std::string* tracedChoice) {
  bool offered = true;
  return chooseCapture(options, portalRefused, tracedChoice, false, offered);
}

std::unique_ptr<ScreenCapture> makeWindowCapture(CaptureOptions* options, bool* portalRefused,
                                                 std::string* tracedChoice, bool& offered) {
  offered = true;
  return chooseCapture(options, portalRefused, tracedChoice, true, offered);
}

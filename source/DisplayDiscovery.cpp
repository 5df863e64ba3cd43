#include "source/DisplayDiscovery.h"

#include <cstring>
#include <new>

#include "comsrc/RectList.h"
#include "source/CaptureArea.h"
#include "source/ScreenMirrorSource.h"
#include "source/DriverDisplaySource.h"
#include "source/EscapeChannel.h"
#include "source/DisplayConnection.h"
#include "source/ScreenCapture.h"
#include "source/ScreenSources.h"

namespace {

// The driver's adapter is the one whose description begins with this.
constexpr char kDriverDeviceName[] = "Vantela";

bool isDriverAdapter(const DisplayAdapter& a) {
  return a.description.compare(0, sizeof kDriverDeviceName - 1, kDriverDeviceName) == 0;
}

// The capture of the mirror mode; the window mirror notes whether this desktop has one at all,
// and a capture that reads says who chooses the window (one refused keeps the last word).
std::unique_ptr<ScreenCapture> makeMirrorCapture(ScreenSources& s) {
  bool offered = true;
  std::unique_ptr<ScreenCapture> capture =
      s.mirrorsWindow() ? makeWindowCapture(&s.options, &s.portalRefused, &s.tracedCaptureChoice, offered)
                        : makeScreenCapture(&s.options, &s.portalRefused, &s.tracedCaptureChoice);
  // A window capture that looks for its window on first use looks now: a window that is not
  // there shows at once, not after a frame.
  if (s.mirrorsWindow() && capture && s.mainDisplay) capture->drawing(s.mainDisplay->screenContext());
  if (s.mirrorsWindow()) s.windowMirrorUnavailable = !offered;
  if (capture && !capture->lost()) s.portalChoosesWindow = capture->choosesItsOwnWindow();
  return capture;
}

void forgetDriver(ScreenSources& s) {
  s.driverDisplayFound = false;
  s.driverDisplayAttached = false;
}

}  // namespace

int32_t discoverDisplays(ScreenSources& s, DisplayPlatform& platform) {
  DisplayAdapter adapter;
  bool matched = false;
  for (uint32_t i = 0; platform.adapter(i, adapter); ++i) {
    platform.trace(adapter.description.c_str());
    if (isDriverAdapter(adapter)) {
      matched = true;
      break;
    }
  }
  DisplayMode mode;
  const bool moded = matched && platform.currentMode(adapter, mode);
  const comsrc::Rect driverRect{mode.x, mode.y, mode.x + mode.width, mode.y + mode.height};

  // A source survives a discovery that finds its display as it was: the main screen's capture
  // may be a screen cast the user granted, the driver's keeps its mapping, and what either has
  // not reported yet stays in the list.
  const comsrc::Rect desktop{0, 0, platform.virtualScreenWidth(), platform.virtualScreenHeight()};
  auto* keptMain = dynamic_cast<ScreenMirrorSource*>(s.mirrorSource.get());
  const MirrorChoice choice = s.mirrorChoice();
  const bool sameScreen = !s.mirrorsExternalMonitor() && keptMain && !keptMain->lost() && s.mainDisplay &&
                          s.changeList && *s.mainDisplay->rect() == desktop;
  const bool keepMain = sameScreen && s.mirrored == choice;
  // Only the area moved: its capture (perhaps a screen cast the user granted) goes on for the new one.
  MirrorChoice moved = s.mirrored;
  moved.area = choice.area;
  const bool moveMain = sameScreen && !keepMain && moved == choice;
  auto* keptDriver = dynamic_cast<DriverDisplaySource*>(s.driverDisplaySource.get());
  const char* keptName = s.driverDisplay ? s.driverDisplay->name() : nullptr;
  // Only the main screen's mode makes a main source: when it is there in the other mode, the mode
  // changed, and the driver's source starts anew to send its whole frame.
  const bool sameMode = s.mirrorsExternalMonitor() == !s.mirrorSource;
  // A driver the last check found silent went away meanwhile, even when it answers again now.
  const bool keepDriver = sameMode && moded && keptDriver && s.driverDisplayAttached && s.changeList && keptName &&
                          adapter.description == keptName && *s.driverDisplay->rect() == driverRect &&
                          keptDriver->check() == 0;
  s.sourceReady = false;
  if (!keepDriver) {
    forgetDriver(s);
    s.driverDisplaySource.reset();
    s.driverDisplay.reset();
  }
  if (moveMain) {
    std::unique_ptr<ScreenCapture> capture = keptMain->releaseCapture();
    s.mirrorSource.reset();
    s.changeList->clear();
    s.mirrorSource.reset(new (std::nothrow) ScreenMirrorSource(*s.mainDisplay, *s.changeList, choice.area,
                                                               std::move(capture), comsrc::systemPerfCounter()));
    if (!s.mirrorSource) return -1;
    s.mirrored = choice;
  } else if (!keepMain) {
    // What an old main source reported is of a desktop that is no more.
    const bool dropsReports = s.mirrorSource != nullptr;
    s.mirrorSource.reset();
    s.mainDisplay.reset();
    if (!keepDriver) s.changeList.reset(new (std::nothrow) comsrc::RectList());
    else if (dropsReports) s.changeList->clear();
    s.mainDisplay = platform.makeAcquirer(nullptr);
    // Without these no source can exist; nothing becomes ready.
    if (!s.changeList || !s.mainDisplay) return -1;
    s.mainDisplay->open();
    *s.mainDisplay->rect() = desktop;
    // Only the mode's own capture is made: mirroring the external monitor opens no screen cast.
    if (!s.mirrorsExternalMonitor()) {
      std::unique_ptr<ScreenCapture> capture = makeMirrorCapture(s);
      if (!capture) return -1;
      s.mirrorSource.reset(new (std::nothrow) ScreenMirrorSource(*s.mainDisplay, *s.changeList, choice.area,
                                                                 std::move(capture), comsrc::systemPerfCounter()));
      if (!s.mirrorSource) return -1;
      s.mirrored = choice;
    }
  }

  if (matched && !keepDriver) {
    s.driverDisplayFound = true;
    s.driverDisplay = platform.makeAcquirer(adapter.description.c_str());
    if (!s.driverDisplay) return -1;
    s.driverDisplay->open();
    if (!s.driverDisplay->screenContext()) return -1;

    if (moded) {
      *s.driverDisplay->rect() = driverRect;
      auto* source = new (std::nothrow)
          DriverDisplaySource(*s.driverDisplay, *s.changeList, driverRect, platform.makeEscapeChannel(*s.driverDisplay));
      s.driverDisplaySource.reset(source);
      // A display that looks like the driver's but does not answer as it is no driver to
      // mirror: it shows as missing, and discovery keeps looking once a second.
      if (source && source->check() == 0) {
        s.driverDisplayAttached = true;
      } else {
        s.driverDisplaySource.reset();
        forgetDriver(s);
      }
    }
  }

  // A capture that cannot read from the start (no such window, a cast refused) shows at once.
  const auto* mirror = dynamic_cast<const ScreenMirrorSource*>(s.mirrorSource.get());
  s.sourceReady = s.mirrorsExternalMonitor() ? s.driverDisplayFound && s.driverDisplayAttached : mirror && !mirror->lost();
  return 0;
}

int32_t rebuildSource(ScreenSources& s, DisplayPlatform& platform) {
  if (!s.sourceReady) return -1;
  if (!s.changeList) return -1;

  if (s.mirrorsExternalMonitor()) {
    auto* old = dynamic_cast<DriverDisplaySource*>(s.driverDisplaySource.get());
    if (!s.driverDisplay || !old) return -1;
    s.driverDisplay->open();
    const comsrc::Rect frame = *old->sourceRect();
    s.driverDisplaySource.reset();
    auto* made = new (std::nothrow)
        DriverDisplaySource(*s.driverDisplay, *s.changeList, frame, platform.makeEscapeChannel(*s.driverDisplay));
    s.driverDisplaySource.reset(made);
    if (!made) {
      s.sourceReady = false;
      return -1;
    }
    made->check();
    return 0;
  }

  auto* old = dynamic_cast<ScreenMirrorSource*>(s.mirrorSource.get());
  if (!s.mainDisplay || !old) return -1;
  s.mainDisplay->open();
  const comsrc::Rect area = *old->captureRect();
  // A capture still reading the screen goes on in the new source.
  std::unique_ptr<ScreenCapture> capture = old->releaseCapture();
  s.mirrorSource.reset();
  s.mirrorSource.reset(capture ? new (std::nothrow) ScreenMirrorSource(*s.mainDisplay, *s.changeList, area, std::move(capture),
                                                            comsrc::systemPerfCounter())
                            : new (std::nothrow) ScreenMirrorSource(*s.mainDisplay, *s.changeList, area, &s.options,
                                                            &s.portalRefused, &s.tracedCaptureChoice));
  if (!s.mirrorSource) {
    s.sourceReady = false;
    return -1;
  }
  return 0;
}

int32_t checkDriver(ScreenSources& s) {
  auto* source = dynamic_cast<DriverDisplaySource*>(s.driverDisplaySource.get());
  const int32_t result = source ? source->check() : -1;
  if (result < 0) {
    forgetDriver(s);
    if (s.mirrorsExternalMonitor()) s.sourceReady = false;
  }
  return result;
}

namespace {

DisplayPlatform* platformOf(ScreenSources& s) {
  if (!s.platform) s.platform = makeDisplayPlatform();
  return s.platform.get();
}

}  // namespace

int32_t discoverDisplays(ScreenSources& s) {
  DisplayPlatform* platform = platformOf(s);
  return platform ? discoverDisplays(s, *platform) : -1;
}

int32_t rebuildSource(ScreenSources& s) {
  DisplayPlatform* platform = platformOf(s);
  return platform ? rebuildSource(s, *platform) : -1;
}

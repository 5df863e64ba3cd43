#include "source/DisplayDiscovery.h"

#include <cstring>
#include <new>

#include "app/AppState.h"
#include "comsrc/RectList.h"
#include "source/DevMed_HDC.h"
#include "source/DevMed_VTDRV.h"
#include "source/EscapeChannel.h"
#include "source/HDCAcquirer.h"

namespace {

// The driver's adapter is the one whose description begins with this.
constexpr char kDriverDeviceName[] = "Vantela";
const comsrc::Rect kGdiCaptureRect{0, 0, 640, 480};

bool isDriverAdapter(const DisplayAdapter& a) {
  return a.description.compare(0, sizeof kDriverDeviceName - 1, kDriverDeviceName) == 0;
}

}  // namespace

int32_t discoverDisplays(AppState& app, DisplayPlatform& platform) {
  app.driverSource.reset();
  app.gdiSource.reset();
  app.driverDisplay.reset();
  app.mainDisplay.reset();
  app.changeList.reset();
  app.sourceReady = 0;
  app.driverDisplayAttached = 0;
  app.driverDisplayFound = 0;

  app.changeList.reset(new (std::nothrow) comsrc::RectList());
  app.mainDisplay = platform.makeAcquirer(nullptr);
  // Without these no source can exist; nothing becomes ready.
  if (!app.changeList || !app.mainDisplay) return -1;
  app.mainDisplay->open();
  *app.mainDisplay->rect() = comsrc::Rect{0, 0, platform.virtualScreenWidth(), platform.virtualScreenHeight()};
  app.gdiSource.reset(new (std::nothrow) DevMed_HDC(*app.mainDisplay, *app.changeList, kGdiCaptureRect));
  if (!app.gdiSource) return -1;

  DisplayAdapter adapter;
  bool matched = false;
  for (uint32_t i = 0; platform.adapter(i, adapter); ++i) {
    platform.trace(adapter.description.c_str());
    if (isDriverAdapter(adapter)) {
      matched = true;
      break;
    }
  }

  if (matched) {
    app.driverDisplayFound = 1;
    app.driverDisplay = platform.makeAcquirer(adapter.description.c_str());
    if (!app.driverDisplay) return -1;
    app.driverDisplay->open();
    if (!app.driverDisplay->hdc()) return -1;

    DisplayMode mode;
    if (platform.currentMode(adapter, mode)) {
      const comsrc::Rect desktop{mode.x, mode.y, mode.x + mode.width, mode.y + mode.height};
      *app.driverDisplay->rect() = desktop;
      app.driverSource.reset(new (std::nothrow) DevMed_VTDRV(*app.driverDisplay, *app.changeList, desktop,
                                                             platform.makeEscapeChannel(*app.driverDisplay)));
      if (app.driverSource) app.driverDisplayAttached = 1;
    }
  }

  app.sourceReady = app.captureMode == 0 || (app.driverDisplayFound == 1 && app.driverDisplayAttached == 1);
  return 0;
}

int32_t rebuildSource(AppState& app, DisplayPlatform& platform) {
  if (app.sourceReady == 0) return -1;
  if (!app.changeList) return -1;

  if (app.captureMode == 1) {
    auto* old = dynamic_cast<DevMed_VTDRV*>(app.driverSource.get());
    if (!app.driverDisplay || !old) return -1;
    app.driverDisplay->open();
    const comsrc::Rect frame = *old->sourceRect();
    app.driverSource.reset();
    auto* made = new (std::nothrow)
        DevMed_VTDRV(*app.driverDisplay, *app.changeList, frame, platform.makeEscapeChannel(*app.driverDisplay));
    app.driverSource.reset(made);
    if (!made) {
      app.sourceReady = 0;
      return -1;
    }
    made->check();
    return 0;
  }

  auto* old = dynamic_cast<DevMed_HDC*>(app.gdiSource.get());
  if (!app.mainDisplay || !old) return -1;
  app.mainDisplay->open();
  const comsrc::Rect area = *old->captureRect();
  app.gdiSource.reset();
  app.gdiSource.reset(new (std::nothrow) DevMed_HDC(*app.mainDisplay, *app.changeList, area));
  if (!app.gdiSource) {
    app.sourceReady = 0;
    return -1;
  }
  return 0;
}

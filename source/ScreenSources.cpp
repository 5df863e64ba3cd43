#include "source/ScreenSources.h"

#include "source/DisplayPlatform.h"

ScreenSources::ScreenSources() = default;

ScreenSources::~ScreenSources() { release(); }

DeviceMediator* ScreenSources::activeSource() const {
  return mirrorsExternalMonitor() ? driverSource.get() : gdiSource.get();
}

HDCAcquirer* ScreenSources::activeDisplay() const {
  return mirrorsExternalMonitor() ? driverDisplay.get() : mainDisplay.get();
}

void ScreenSources::release() {
  driverSource.reset();
  gdiSource.reset();
  driverDisplay.reset();
  mainDisplay.reset();
  changeList.reset();
}

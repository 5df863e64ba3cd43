#include "source/ScreenSources.h"

#include "source/DisplayPlatform.h"

ScreenSources::ScreenSources() = default;

ScreenSources::~ScreenSources() { release(); }

FrameSource* ScreenSources::activeSource() const {
  return mirrorsExternalMonitor() ? driverDisplaySource.get() : mainScreenSource.get();
}

DisplayConnection* ScreenSources::activeDisplay() const {
  return mirrorsExternalMonitor() ? driverDisplay.get() : mainDisplay.get();
}

void ScreenSources::release() {
  driverDisplaySource.reset();
  mainScreenSource.reset();
  driverDisplay.reset();
  mainDisplay.reset();
  changeList.reset();
}

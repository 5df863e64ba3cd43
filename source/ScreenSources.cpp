#include "source/ScreenSources.h"

#include "comsrc/RectList.h"
#include "source/CaptureArea.h"
#include "source/DisplayPlatform.h"

ScreenSources::ScreenSources() = default;

ScreenSources::~ScreenSources() { release(); }

FrameSource* ScreenSources::activeSource() const {
  return mirrorsExternalMonitor() ? driverDisplaySource.get() : mirrorSource.get();
}

DisplayConnection* ScreenSources::activeDisplay() const {
  return mirrorsExternalMonitor() ? driverDisplay.get() : mainDisplay.get();
}

MirrorChoice ScreenSources::mirrorChoice() const {
  MirrorChoice choice;
  choice.mode = captureMode;
  if (mirrorsWindow()) {
    // The window's own image: the device positions place the panels inside it.
    choice.area = kCaptureArea;
    choice.windowTitle = options.windowTitle;
    choice.windowClass = options.windowClass;
  } else {
    choice.area = comsrc::rectAt(options.areaX, options.areaY, kCaptureArea.width(), kCaptureArea.height());
  }
  return choice;
}

void ScreenSources::dropMirror() {
  mirrorSource.reset();
  if (changeList) changeList->clear();
  sourceReady = false;
}

void ScreenSources::release() {
  driverDisplaySource.reset();
  mirrorSource.reset();
  driverDisplay.reset();
  mainDisplay.reset();
  changeList.reset();
}

#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "comsrc/RectList.h"
#include "settings/CaptureMode.h"
#include "settings/CaptureOptions.h"
#include "source/FrameSource.h"
#include "source/DisplayConnection.h"

class DisplayPlatform;

// The screens the panels can mirror: both displays with their sources, the change list the
// sources report into, the capture mode that picks one, and what discovery found.
struct ScreenSources {
  ScreenSources();
  ~ScreenSources();
  ScreenSources(const ScreenSources&) = delete;
  ScreenSources& operator=(const ScreenSources&) = delete;

  CaptureMode captureMode = CaptureMode::mainScreen;
  CaptureOptions options;
  bool sourceReady = false;
  bool driverDisplayFound = false;
  bool driverDisplayAttached = false;
  // The user refused the desktop portal's screen cast: no new session asks again until the
  // capture mode changes or the program restarts.
  bool portalRefused = false;
  // The main screen's last capture choice traced: discovery makes the same choice every second.
  std::string tracedCaptureChoice;
  std::unique_ptr<DisplayConnection> mainDisplay;
  std::unique_ptr<DisplayConnection> driverDisplay;
  std::unique_ptr<FrameSource> mainScreenSource;
  std::unique_ptr<FrameSource> driverDisplaySource;
  std::unique_ptr<comsrc::RectList> changeList;
  // Where discovery finds the displays; made on its first use.
  std::unique_ptr<DisplayPlatform> platform;

  // The source and display of the current capture mode (null when absent).
  FrameSource* activeSource() const;
  DisplayConnection* activeDisplay() const;
  bool mirrorsExternalMonitor() const { return captureMode == CaptureMode::externalMonitor; }
  // Frees the sources before the displays and the change list they use.
  void release();
};

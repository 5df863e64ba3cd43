#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "comsrc/Rect.h"
#include "comsrc/RectList.h"
#include "settings/CaptureMode.h"
#include "settings/CaptureOptions.h"
#include "source/FrameSource.h"
#include "source/DisplayConnection.h"

class DisplayPlatform;

// What a mirror source was made to show: the mode, the desktop's area or the window's, and the
// window's match.
struct MirrorChoice {
  CaptureMode mode = CaptureMode::mainScreen;
  comsrc::Rect area;
  std::string windowTitle, windowClass;
  bool operator==(const MirrorChoice&) const = default;
};

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
  // This desktop offers no capture of one window (the wlroots screen copy): the window mirror
  // says so instead of looking for the window.
  bool windowMirrorUnavailable = false;
  // The desktop portal's dialog chooses the window to mirror (as the last capture that could
  // read said): a pick on the screen would reach XWayland's windows only.
  bool portalChoosesWindow = false;
  // The main screen's last capture choice traced: discovery makes the same choice every second.
  std::string tracedCaptureChoice;
  std::unique_ptr<DisplayConnection> mainDisplay;
  std::unique_ptr<DisplayConnection> driverDisplay;
  // The main screen's area or the chosen window, as `mirrored` says; none in the
  // external-monitor mode.
  std::unique_ptr<FrameSource> mirrorSource;
  MirrorChoice mirrored;
  std::unique_ptr<FrameSource> driverDisplaySource;
  std::unique_ptr<comsrc::RectList> changeList;
  // Where discovery finds the displays; made on its first use.
  std::unique_ptr<DisplayPlatform> platform;

  // The source and display of the current capture mode (null when absent).
  FrameSource* activeSource() const;
  DisplayConnection* activeDisplay() const;
  bool mirrorsExternalMonitor() const { return captureMode == CaptureMode::externalMonitor; }
  bool mirrorsWindow() const { return captureMode == CaptureMode::window; }
  // What the mirror source should show now, from the mode and the options.
  MirrorChoice mirrorChoice() const;
  // The mirror source and what it reported go; the next discovery makes its capture anew.
  void dropMirror();
  // Frees the sources before the displays and the change list they use.
  void release();
};

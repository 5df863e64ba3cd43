#pragma once

#include <cstdint>

// What the panels mirror. The settings file keeps the number (G.MODE).
enum class CaptureMode : int32_t {
  mainScreen = 0,       // a rectangle of the desktop
  externalMonitor = 1,  // the extra display of the virtual display driver
  window = 2,           // one chosen window's own content, also where others cover it
};

// A stored number as a mode: a number the program does not know is the main screen.
constexpr CaptureMode captureModeOf(int32_t stored) {
  return stored == 1 ? CaptureMode::externalMonitor : stored == 2 ? CaptureMode::window : CaptureMode::mainScreen;
}

constexpr int32_t storedCaptureMode(CaptureMode mode) { return static_cast<int32_t>(mode); }

// The mode the window's mode row shows after `mode`, stepping `step` (+1 or -1) through all three.
constexpr CaptureMode steppedCaptureMode(CaptureMode mode, int32_t step) {
  return captureModeOf((storedCaptureMode(mode) + (step < 0 ? 2 : 1)) % 3);
}

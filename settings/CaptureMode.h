#pragma once

#include <cstdint>

// What the panels mirror. The settings file keeps the number (G.MODE).
enum class CaptureMode : int32_t {
  mainScreen = 0,       // a rectangle of the main screen
  externalMonitor = 1,  // the extra display of the virtual display driver
};

// A stored number as a mode: anything but 1 is the main screen.
constexpr CaptureMode captureModeOf(int32_t stored) {
  return stored == 1 ? CaptureMode::externalMonitor : CaptureMode::mainScreen;
}

constexpr int32_t storedCaptureMode(CaptureMode mode) { return static_cast<int32_t>(mode); }

#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "settings/DeviceSettings.h"

namespace comsrc {
class RectList;
}
class DeviceLink;
class DeviceMediator;
class HDCAcquirer;
class PrefStore;
struct FrameState;

// The state the program shares between its main-loop routines. One object per program run
// (and per test), handed to the routines that use it.
struct AppState {
  AppState();
  ~AppState();
  AppState(const AppState&) = delete;
  AppState& operator=(const AppState&) = delete;

  DeviceSlots deviceSlots = makeDefaultSlots();
  int32_t captureMode = 0;
  // The slot (0 or 1) the settings window edits; the status display places its link's area.
  int32_t currentDevice = 0;
  std::unique_ptr<PrefStore> prefStore;

  std::vector<std::unique_ptr<DeviceLink>> deviceLinks;
  int32_t anyDeviceActive = 1;
  int32_t linksOpen = 0;

  int32_t sourceReady = 0;
  int32_t driverDisplayFound = 0;
  int32_t driverDisplayAttached = 0;
  std::unique_ptr<HDCAcquirer> mainDisplay;
  std::unique_ptr<HDCAcquirer> driverDisplay;
  std::unique_ptr<DeviceMediator> gdiSource;
  std::unique_ptr<DeviceMediator> driverSource;
  std::unique_ptr<comsrc::RectList> changeList;

  std::unique_ptr<FrameState> frame;
};

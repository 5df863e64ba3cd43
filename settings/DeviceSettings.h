#pragma once

#include <cstdint>
#include <vector>

inline constexpr int32_t kPanelWidth = 400;
inline constexpr int32_t kPanelHeight = 240;
inline constexpr int32_t kDeviceSlotCount = 4;

// Everything the user sets for one device, as the settings file keeps it.
struct DeviceSettings {
  int32_t active = 0;
  int32_t port = 0;
  int32_t speed = 500000;
  int32_t cts = 0;
  int32_t dither = 1;
  double contrast = 1.0;
  double gamma = 1.0;
  int32_t offset = 0;
  int32_t rotate = 0;
  int32_t shrink = 0;
  int32_t invert = 0;
  int32_t posX = 0;
  int32_t posY = 0;
};

using DeviceSlots = std::vector<DeviceSettings>;

// Four copies of the default record, as the program starts with before loading the file.
inline DeviceSlots makeDefaultSlots() {
  const DeviceSettings defaults;
  return DeviceSlots(kDeviceSlotCount, defaults);
}

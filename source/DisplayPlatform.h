#pragma once

#include <cstdint>
#include <memory>
#include <string>

class EscapeChannel;
class DisplayConnection;

// One display adapter as the platform enumerates it (EnumDisplayDevicesA's DeviceName and
// DeviceString on Windows).
struct DisplayAdapter {
  std::string deviceName;
  std::string description;
};

// An adapter's current mode: its position on the desktop and its size in pixels.
struct DisplayMode {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// What display discovery asks of the platform: the virtual screen, the adapters, their modes,
// the screen contexts and the driver's escape channel. Tests hand discovery a fake.
class DisplayPlatform {
 public:
  virtual ~DisplayPlatform() = default;
  virtual int32_t virtualScreenWidth() = 0;
  virtual int32_t virtualScreenHeight() = 0;
  // false when there is no adapter at this index (the enumeration ends there).
  virtual bool adapter(uint32_t index, DisplayAdapter& out) = 0;
  // false when the adapter's current settings cannot be read (its display is not attached).
  virtual bool currentMode(const DisplayAdapter& adapter, DisplayMode& out) = 0;
  // One line of trace per adapter description.
  virtual void trace(const char* description) = 0;
  // A screen context owner for the named display (null: the whole desktop); null when it
  // cannot be allocated.
  virtual std::unique_ptr<DisplayConnection> makeAcquirer(const char* deviceName) = 0;
  // The escape channel to the driver behind `display`; it sends through the display's current
  // context, so reopening the display is seen by the channel.
  virtual std::unique_ptr<EscapeChannel> makeEscapeChannel(DisplayConnection& display) = 0;
};

// This platform's displays (Win32 or X11 with the stand-in drivers); null when out of memory.
std::unique_ptr<DisplayPlatform> makeDisplayPlatform();

#include <windows.h>

#include <cstring>
#include <new>
#include <string>

#include "source/DisplayPlatform.h"
#include "source/EscapeChannel.h"
#include "source/DisplayConnection.h"
#include "source/ScreenContext_Win32.h"

// The records the display calls are given carry their own size; the driver's side of these
// calls knows them by these sizes.
static_assert(sizeof(DISPLAY_DEVICEA) == 424);
static_assert(sizeof(DEVMODEA) == 156);

namespace {

// Escapes go to whatever context the display holds at the time of the call, so a reopened
// display is used at once.
class ExtEscapeChannel_Win32 : public EscapeChannel {
 public:
  explicit ExtEscapeChannel_Win32(DisplayConnection& d) : display(&d) {}
  int32_t escape(uint32_t code, int32_t inLength, const void* in, int32_t outLength, void* out) override {
    ScreenContext* context = display->screenContext();
    if (!context) return -1;
    return ExtEscape(context->dc, int(code), inLength, static_cast<LPCSTR>(in), outLength, static_cast<LPSTR>(out));
  }

 private:
  DisplayConnection* display;
};

// Copies a fixed-size, possibly unterminated character field.
std::string field(const CHAR* text, size_t size) { return std::string(text, strnlen(text, size)); }

class DisplayPlatform_Win32 : public DisplayPlatform {
 public:
  int32_t virtualScreenWidth() override { return GetSystemMetrics(SM_CXVIRTUALSCREEN); }
  int32_t virtualScreenHeight() override { return GetSystemMetrics(SM_CYVIRTUALSCREEN); }

  bool adapter(uint32_t index, DisplayAdapter& out) override {
    DISPLAY_DEVICEA device;
    std::memset(&device, 0, sizeof device);
    device.cb = sizeof device;
    if (!EnumDisplayDevicesA(nullptr, index, &device, 0)) return false;
    out.deviceName = field(device.DeviceName, sizeof device.DeviceName);
    out.description = field(device.DeviceString, sizeof device.DeviceString);
    return true;
  }

  bool currentMode(const DisplayAdapter& adapter, DisplayMode& out) override {
    DEVMODEA mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsA(adapter.deviceName.c_str(), ENUM_CURRENT_SETTINGS, &mode)) {
      GetLastError();
      return false;
    }
    out.x = mode.dmPosition.x;
    out.y = mode.dmPosition.y;
    out.width = int32_t(mode.dmPelsWidth);
    out.height = int32_t(mode.dmPelsHeight);
    return true;
  }

  void trace(const char* description) override {
    const std::string line = std::string(description) + "\n";
    OutputDebugStringA(line.c_str());
  }

  std::unique_ptr<DisplayConnection> makeAcquirer(const char* deviceName) override {
    return std::unique_ptr<DisplayConnection>(new (std::nothrow) DisplayConnection(deviceName));
  }

  std::unique_ptr<EscapeChannel> makeEscapeChannel(DisplayConnection& display) override {
    return std::unique_ptr<EscapeChannel>(new (std::nothrow) ExtEscapeChannel_Win32(display));
  }
};

}  // namespace

std::unique_ptr<DisplayPlatform> makeDisplayPlatform() {
  return std::unique_ptr<DisplayPlatform>(new (std::nothrow) DisplayPlatform_Win32);
}

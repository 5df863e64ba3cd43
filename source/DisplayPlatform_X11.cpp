// Displays on Linux: the X screen of $DISPLAY (one adapter per RandR output when the server
// has RandR, else one), then every running stand-in driver (vantela-vdisplay), found by its
// socket. A stand-in's adapter has its socket path as device name and its own description,
// which ends with the X display name it serves.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "source/DisplayPlatform.h"
#include "source/EscapeChannel_POSIX.h"
#include "source/HDCAcquirer.h"
#include "source/VDisplayProtocol.h"
#include "source/VDisplaySocket_POSIX.h"

namespace {

constexpr int kDescribeTimeoutMs = 200;

// A stand-in's description and mode, asked over its socket; false when it does not answer.
bool describeStandIn(const std::string& socket, DisplayAdapter& adapter, DisplayMode& mode) {
  const int sock = vdisplay::connectSocket(socket);
  if (sock < 0) return false;
  uint8_t reply[vdisplay::kDescribeBytes];
  int32_t result = 0;
  uint32_t bytes = 0;
  const bool ok = vdisplay::transact(sock, vdisplay::kDescribe, 0, nullptr, int32_t(sizeof reply), reply, result,
                                     bytes, nullptr, kDescribeTimeoutMs);
  close(sock);
  if (!ok || result < 1 || bytes != sizeof reply) return false;
  mode.x = int32_t(vdisplay::get32(reply));
  mode.y = int32_t(vdisplay::get32(reply + 4));
  mode.width = int32_t(vdisplay::get32(reply + 8));
  mode.height = int32_t(vdisplay::get32(reply + 12));
  if (mode.width <= 0 || mode.height <= 0) return false;
  const char* text = reinterpret_cast<const char*>(reply + 16);
  adapter.description.assign(text, strnlen(text, vdisplay::kDescriptionBytes));
  adapter.deviceName = socket;
  return true;
}

class DisplayPlatform_X11 : public DisplayPlatform {
 public:
  int32_t virtualScreenWidth() override { return screenSize().width; }
  int32_t virtualScreenHeight() override { return screenSize().height; }

  bool adapter(uint32_t index, DisplayAdapter& out) override {
    if (index == 0) enumerate();
    if (index >= entries.size()) return false;
    out = entries[index].adapter;
    return true;
  }

  bool currentMode(const DisplayAdapter& adapter, DisplayMode& out) override {
    for (const Entry& e : entries) {
      if (e.adapter.deviceName != adapter.deviceName || e.adapter.description != adapter.description) continue;
      if (!e.standIn) {
        out = e.mode;
        return true;
      }
      DisplayAdapter now;
      return describeStandIn(e.adapter.deviceName, now, out);
    }
    return false;
  }

  void trace(const char* description) override {
    if (std::getenv("VANTELINK_DEBUG")) std::fprintf(stderr, "vantelink: display adapter: %s\n", description);
  }

  std::unique_ptr<HDCAcquirer> makeAcquirer(const char* deviceName) override {
    return std::unique_ptr<HDCAcquirer>(new (std::nothrow) HDCAcquirer(deviceName));
  }

  std::unique_ptr<EscapeChannel> makeEscapeChannel(HDCAcquirer& display) override {
    return std::unique_ptr<EscapeChannel>(new (std::nothrow) EscapeChannel_POSIX(display));
  }

 private:
  struct Entry {
    DisplayAdapter adapter;
    DisplayMode mode;
    bool standIn = false;
  };

  static DisplayMode screenSize() {
    DisplayMode m;
    if (Display* d = XOpenDisplay(nullptr)) {
      m.width = DisplayWidth(d, DefaultScreen(d));
      m.height = DisplayHeight(d, DefaultScreen(d));
      XCloseDisplay(d);
    }
    return m;
  }

  void enumerate() {
    entries.clear();
    if (Display* d = XOpenDisplay(nullptr)) {
      addScreen(d);
      XCloseDisplay(d);
    }
    const std::string folder = vdisplay::socketFolder(false);
    for (int32_t n : vdisplay::socketNumbers(folder)) {
      Entry e;
      e.standIn = true;
      if (describeStandIn(vdisplay::socketPath(folder, n), e.adapter, e.mode)) entries.push_back(e);
    }
  }

  // The outputs that show part of the screen, named as RandR names them.
  void addScreen(Display* d) {
    const int screen = DefaultScreen(d);
    const std::string name = DisplayString(d);
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (XRRQueryExtension(d, &eventBase, &errorBase) && XRRQueryVersion(d, &major, &minor) &&
        (major > 1 || (major == 1 && minor >= 2))) {
      if (XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, RootWindow(d, screen))) {
        for (int i = 0; i < res->noutput; ++i) {
          XRROutputInfo* output = XRRGetOutputInfo(d, res, res->outputs[i]);
          if (!output) continue;
          XRRCrtcInfo* crtc = output->crtc ? XRRGetCrtcInfo(d, res, output->crtc) : nullptr;
          if (crtc && output->connection == RR_Connected && crtc->width > 0 && crtc->height > 0) {
            Entry e;
            e.adapter.deviceName = name;
            e.adapter.description.assign(output->name, size_t(output->nameLen));
            e.mode = DisplayMode{crtc->x, crtc->y, int32_t(crtc->width), int32_t(crtc->height)};
            entries.push_back(e);
          }
          if (crtc) XRRFreeCrtcInfo(crtc);
          XRRFreeOutputInfo(output);
        }
        XRRFreeScreenResources(res);
      }
    }
    if (!entries.empty()) return;
    Entry e;
    e.adapter.deviceName = name;
    e.adapter.description = "X screen " + name;
    e.mode = DisplayMode{0, 0, DisplayWidth(d, screen), DisplayHeight(d, screen)};
    entries.push_back(e);
  }

  std::vector<Entry> entries;
};

}  // namespace

DisplayPlatform& systemDisplayPlatform() {
  static DisplayPlatform_X11 platform;
  return platform;
}

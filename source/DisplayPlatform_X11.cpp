// Displays on Linux: the X screen of $DISPLAY (one adapter per RandR output when the server
// has RandR, else one), then every running stand-in driver (vantela-vdisplay), found by its
// socket. A stand-in's adapter has its socket path as device name and its own description,
// which ends with the X display name it serves.
#include <unistd.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "source/DisplayPlatform.h"
#include "source/EscapeChannel_POSIX.h"
#include "source/DisplayConnection.h"
#include "source/VDisplayProtocol.h"
#include "comsrc/Trace.h"
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

  void trace(const char* description) override { ::trace("display adapter", description); }

  std::unique_ptr<DisplayConnection> makeAcquirer(const char* deviceName) override {
    return std::unique_ptr<DisplayConnection>(new (std::nothrow) DisplayConnection(deviceName));
  }

  std::unique_ptr<EscapeChannel> makeEscapeChannel(DisplayConnection& display) override {
    return std::unique_ptr<EscapeChannel>(new (std::nothrow) EscapeChannel_POSIX(display));
  }

 private:
  struct Entry {
    DisplayAdapter adapter;
    DisplayMode mode;
    bool standIn = false;
  };

  // Short-lived connections, on XCB so that a server that goes away meanwhile only fails the
  // requests: then no display is found, and the program goes on.
  using Connection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;
  static Connection connect(const xcb_screen_t*& screen) {
    int number = 0;
    Connection c(xcb_connect(nullptr, &number), xcb_disconnect);
    screen = nullptr;
    if (xcb_connection_has_error(c.get())) return c;
    auto it = xcb_setup_roots_iterator(xcb_get_setup(c.get()));
    for (int i = 0; i < number && it.rem; ++i) xcb_screen_next(&it);
    if (it.rem) screen = it.data;
    return c;
  }

  static DisplayMode screenSize() {
    DisplayMode m;
    const xcb_screen_t* s = nullptr;
    Connection c = connect(s);
    if (s) {
      m.width = s->width_in_pixels;
      m.height = s->height_in_pixels;
    }
    return m;
  }

  void enumerate() {
    entries.clear();
    const xcb_screen_t* s = nullptr;
    Connection c = connect(s);
    if (s) addScreen(c.get(), *s);
    const std::string folder = vdisplay::socketFolder(false);
    for (int32_t n : vdisplay::socketNumbers(folder)) {
      Entry e;
      e.standIn = true;
      if (describeStandIn(vdisplay::socketPath(folder, n), e.adapter, e.mode)) entries.push_back(e);
    }
  }

  template <typename T>
  using Reply = std::unique_ptr<T, decltype(&std::free)>;

  // The outputs that show part of the screen, named as RandR names them.
  void addScreen(xcb_connection_t* c, const xcb_screen_t& s) {
    const char* display = std::getenv("DISPLAY");
    const std::string name = display ? display : "";
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_randr_id);
    Reply<xcb_randr_query_version_reply_t> version(
        ext && ext->present ? xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 2), nullptr) : nullptr,
        std::free);
    if (version && (version->major_version > 1 || (version->major_version == 1 && version->minor_version >= 2))) {
      Reply<xcb_randr_get_screen_resources_current_reply_t> res(
          xcb_randr_get_screen_resources_current_reply(c, xcb_randr_get_screen_resources_current(c, s.root), nullptr),
          std::free);
      const int count = res ? xcb_randr_get_screen_resources_current_outputs_length(res.get()) : 0;
      const xcb_randr_output_t* outputs = res ? xcb_randr_get_screen_resources_current_outputs(res.get()) : nullptr;
      const xcb_timestamp_t when = res ? res->config_timestamp : 0;
      for (int i = 0; i < count; ++i) {
        Reply<xcb_randr_get_output_info_reply_t> output(
            xcb_randr_get_output_info_reply(c, xcb_randr_get_output_info(c, outputs[i], when), nullptr), std::free);
        if (!output || output->connection != XCB_RANDR_CONNECTION_CONNECTED || !output->crtc) continue;
        Reply<xcb_randr_get_crtc_info_reply_t> crtc(
            xcb_randr_get_crtc_info_reply(c, xcb_randr_get_crtc_info(c, output->crtc, when), nullptr), std::free);
        if (!crtc || crtc->width == 0 || crtc->height == 0) continue;
        Entry e;
        e.adapter.deviceName = name;
        e.adapter.description.assign(reinterpret_cast<const char*>(xcb_randr_get_output_info_name(output.get())),
                                     size_t(xcb_randr_get_output_info_name_length(output.get())));
        e.mode = DisplayMode{crtc->x, crtc->y, int32_t(crtc->width), int32_t(crtc->height)};
        entries.push_back(e);
      }
    }
    // A server that went away during the questions is no display at all.
    if (xcb_connection_has_error(c)) {
      entries.clear();
      return;
    }
    if (!entries.empty()) return;
    Entry e;
    e.adapter.deviceName = name;
    e.adapter.description = "X screen " + name;
    e.mode = DisplayMode{0, 0, s.width_in_pixels, s.height_in_pixels};
    entries.push_back(e);
  }

  std::vector<Entry> entries;
};

}  // namespace

std::unique_ptr<DisplayPlatform> makeDisplayPlatform() {
  return std::unique_ptr<DisplayPlatform>(new (std::nothrow) DisplayPlatform_X11);
}

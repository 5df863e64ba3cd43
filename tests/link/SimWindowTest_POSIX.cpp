#include <gtest/gtest.h>
// After GoogleTest: Xlib defines macros (None, Bool) that clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <utility>

#include "link/PortPath_POSIX.h"
#include "link/SerialPort.h"
#include "support/HostTools_POSIX.h"
#include "support/XServer_X11.h"
#include "support/TempDir.h"
#include "SimProcess_POSIX.h"

namespace {

using namespace std::chrono_literals;

Window findWindow(Display* d, Window w, const char* title) {
  char* name = nullptr;
  if (XFetchName(d, w, &name) && name) {
    const bool match = std::string(name) == title;
    XFree(name);
    if (match) return w;
  }
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  Window found = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count && !found; ++i) found = findWindow(d, children[i], title);
    if (children) XFree(children);
  }
  return found;
}

// The simulator's window once it is on the screen, else 0.
Window shownWindow(Display* d, XWindowAttributes& attributes) {
  const Window w = findWindow(d, DefaultRootWindow(d), "vantela-sim");
  return w && XGetWindowAttributes(d, w, &attributes) && attributes.map_state == IsViewable ? w : 0;
}

// The window's top left on the screen.
std::pair<int, int> placeOf(Display* d, Window w) {
  int x = -1, y = -1;
  Window child;
  XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
  return {x, y};
}

// An Xvfb with the given screen and the simulator's window on it, its port linked as COM5.
struct SimulatorOnScreen {
  explicit SimulatorOnScreen(const char* screen) : x(screen) {
    if (!x.ok()) return;
    x.becomeDefault();
    std::filesystem::create_directories(dir.file("ports"));
    setPortLocations({dir.file("ports"), ""});
    const std::string link = dir.file("ports") + "/com5";
    started = sim.start({"--link", link, "--speed", "0", "--window"}, link, dir.file("sim.out"));
  }
  ~SimulatorOnScreen() {
    sim.stop();
    setPortLocations(defaultPortLocations());
  }
  vltest::XServer x;
  vltest::TempDir dir;
  vltest::SimProcess sim;
  bool started = false;
};

// What the window shows after a record lights the leftmost 8 pixels of panel line 3.
struct Shown {
  bool seen = false;
  int width = 0, height = 0;
  std::pair<int, int> place{-1, -1};
  unsigned long bright = 0, dark = 0, above = 0;  // panel (7, 3), (8, 3), (7, 2)
};

Shown lightAndWatch(SimulatorOnScreen& on, int scale) {
  Shown shown;
  {
    SerialPort port("COM5", 500000, 0);
    if (port.failed()) return shown;
    std::vector<uint8_t> r(57, 0);
    r[0] = r[1] = 0x80;
    r[2] = 4;  // line 3
    r[3] = 0xFF;
    if (port.write(r.data(), 57, 0) != 57) return shown;
  }
  Display* d = XOpenDisplay(on.x.name().c_str());
  if (!d) return shown;
  for (auto end = std::chrono::steady_clock::now() + 10s; !shown.seen && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(50ms);
    XWindowAttributes attributes;
    const Window w = shownWindow(d, attributes);
    if (!w) continue;
    shown.width = attributes.width;
    shown.height = attributes.height;
    shown.place = placeOf(d, w);
    XImage* image = XGetImage(d, w, 0, 0, shown.width, shown.height, AllPlanes, ZPixmap);
    if (!image) continue;
    shown.bright = XGetPixel(image, 7 * scale + scale / 2, 3 * scale + scale / 2);
    shown.dark = XGetPixel(image, 8 * scale, 3 * scale + scale / 2);
    shown.above = XGetPixel(image, 7 * scale + scale / 2, 2 * scale + scale / 2);
    XDestroyImage(image);
    shown.seen = shown.bright != shown.dark;
  }
  XCloseDisplay(d);
  return shown;
}

}  // namespace

// Doubled where that fits beside the captured 640 x 480 (below it on a narrow screen, right of
// it under the settings window's room on a wide one), else at 1:1, always on the screen.
TEST(SimulatorWindow, ShowsThePanelBesideTheCapturedAreaAsLargeAsFits) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  struct Case {
    const char* screen;
    int scale;
    std::pair<int, int> place;
  };
  const Case cases[] = {
      {"1024x960x24", 2, {0, 480}},
      {"1600x900x24", 2, {640, 400}},
      {"1280x800x24", 1, {640, 400}},  // doubled, 320 of its rows fell off this screen
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.screen);
    SimulatorOnScreen on(c.screen);
    ASSERT_TRUE(on.x.ok()) << "Xvfb did not start";
    ASSERT_TRUE(on.started);
    const Shown shown = lightAndWatch(on, c.scale);
    EXPECT_TRUE(shown.seen);
    EXPECT_EQ(shown.width, 400 * c.scale);
    EXPECT_EQ(shown.height, 240 * c.scale);
    EXPECT_EQ(shown.place, c.place);
    EXPECT_EQ(shown.above, shown.dark);
    EXPECT_GT(shown.bright & 0xFF00, shown.dark & 0xFF00);
  }
}

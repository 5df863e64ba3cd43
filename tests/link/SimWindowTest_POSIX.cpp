#include <gtest/gtest.h>
// After GoogleTest: Xlib defines macros (None, Bool) that clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <utility>

#include "link/PortPath_POSIX.h"
#include "link/SioIF.h"
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

}  // namespace

TEST(SimulatorWindow, ShowsThePanelDoubled) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  // Narrower than the captured 640 columns and the window side by side: it opens below them.
  SimulatorOnScreen on("1024x960x24");
  ASSERT_TRUE(on.x.ok()) << "Xvfb did not start";
  ASSERT_TRUE(on.started);
  {
    // Line 3 (address 4): the leftmost 8 pixels bright, the rest dark.
    SioIF port("COM5", 500000, 0);
    ASSERT_FALSE(port.failed());
    std::vector<uint8_t> r(57, 0);
    r[0] = r[1] = 0x80;
    r[2] = 4;
    r[3] = 0xFF;
    ASSERT_EQ(port.write(r.data(), 57, 0), 57);
  }
  Display* d = XOpenDisplay(on.x.name().c_str());
  ASSERT_NE(d, nullptr);
  bool seen = false;
  unsigned long brightPixel = 0, darkPixel = 0, above = 0;
  int width = 0, height = 0;
  std::pair<int, int> place;
  for (auto end = std::chrono::steady_clock::now() + 10s; !seen && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(50ms);
    XWindowAttributes attributes;
    const Window w = shownWindow(d, attributes);
    if (!w) continue;
    width = attributes.width;
    height = attributes.height;
    place = placeOf(d, w);
    XImage* image = XGetImage(d, w, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!image) continue;
    brightPixel = XGetPixel(image, 15, 7);  // panel (7, 3)
    darkPixel = XGetPixel(image, 16, 7);    // panel (8, 3)
    above = XGetPixel(image, 15, 5);        // panel (7, 2)
    XDestroyImage(image);
    seen = brightPixel != darkPixel;
  }
  XCloseDisplay(d);
  EXPECT_TRUE(seen);
  EXPECT_EQ(width, 800);
  EXPECT_EQ(height, 480);
  EXPECT_EQ(place, std::make_pair(0, 480));
  EXPECT_EQ(above, darkPixel);
  EXPECT_GT(brightPixel & 0xFF00, darkPixel & 0xFF00);
}

TEST(SimulatorWindow, OpensRightOfTheCapturedAreaOnAWideScreen) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  SimulatorOnScreen on("1600x900x24");
  ASSERT_TRUE(on.x.ok()) << "Xvfb did not start";
  ASSERT_TRUE(on.started);
  Display* d = XOpenDisplay(on.x.name().c_str());
  ASSERT_NE(d, nullptr);
  Window w = 0;
  XWindowAttributes attributes;
  for (auto end = std::chrono::steady_clock::now() + 10s; !w && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(50ms);
    w = shownWindow(d, attributes);
  }
  const std::pair<int, int> place = w ? placeOf(d, w) : std::make_pair(-1, -1);
  XCloseDisplay(d);
  EXPECT_EQ(place, std::make_pair(640, 0));
}

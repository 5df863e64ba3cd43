#include <gtest/gtest.h>
#include <spawn.h>
// After GoogleTest: Xlib defines macros (None, Bool) that clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "link/PortPath_POSIX.h"
#include "link/SioIF.h"
#include "support/HostTools_POSIX.h"
#include "support/TempDir.h"
#include "SimProcess_POSIX.h"

namespace {

using namespace std::chrono_literals;

// An X server of the test's own; the display number comes back through -displayfd.
class OwnXvfb {
 public:
  OwnXvfb() {
    int fds[2];
    if (pipe(fds) != 0) return;
    std::string fd = std::to_string(fds[1]);
    std::vector<std::string> args{"Xvfb", "-displayfd", fd, "-screen", "0", "1024x768x24", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid, "Xvfb", nullptr, nullptr, argv.data(), environ) != 0) pid = -1;
    close(fds[1]);
    char buf[32] = {};
    const ssize_t n = pid > 0 ? read(fds[0], buf, sizeof buf - 1) : -1;
    close(fds[0]);
    if (n > 0) name = ":" + std::to_string(std::atoi(buf));
  }
  ~OwnXvfb() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
  pid_t pid = -1;
  std::string name;
};

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

}  // namespace

TEST(SimulatorWindow, ShowsThePanelDoubled) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  OwnXvfb x;
  ASSERT_FALSE(x.name.empty()) << "Xvfb did not start";
  vltest::TempDir dir;
  std::filesystem::create_directories(dir.file("ports"));
  setPortLocations({dir.file("ports"), ""});
  const char* old = std::getenv("DISPLAY");
  const std::string saved = old ? old : "";
  setenv("DISPLAY", x.name.c_str(), 1);
  vltest::SimProcess sim;
  const std::string link = dir.file("ports") + "/com5";
  const bool started = sim.start({"--link", link, "--speed", "0", "--window"}, link, dir.file("sim.out"));
  if (old)
    setenv("DISPLAY", saved.c_str(), 1);
  else
    unsetenv("DISPLAY");
  ASSERT_TRUE(started);
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
  Display* d = XOpenDisplay(x.name.c_str());
  ASSERT_NE(d, nullptr);
  bool seen = false;
  unsigned long brightPixel = 0, darkPixel = 0, above = 0;
  int width = 0, height = 0;
  for (auto end = std::chrono::steady_clock::now() + 10s; !seen && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(50ms);
    const Window w = findWindow(d, DefaultRootWindow(d), "vantela-sim");
    XWindowAttributes attributes;
    if (!w || !XGetWindowAttributes(d, w, &attributes) || attributes.map_state != IsViewable) continue;
    width = attributes.width;
    height = attributes.height;
    XImage* image = XGetImage(d, w, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!image) continue;
    brightPixel = XGetPixel(image, 15, 7);  // panel (7, 3)
    darkPixel = XGetPixel(image, 16, 7);    // panel (8, 3)
    above = XGetPixel(image, 15, 5);        // panel (7, 2)
    XDestroyImage(image);
    seen = brightPixel != darkPixel;
  }
  XCloseDisplay(d);
  sim.stop();
  setPortLocations(defaultPortLocations());
  EXPECT_TRUE(seen);
  EXPECT_EQ(width, 800);
  EXPECT_EQ(height, 480);
  EXPECT_EQ(above, darkPixel);
  EXPECT_GT(brightPixel & 0xFF00, darkPixel & 0xFF00);
}

// The external monitor on Linux from discovery to the device: a running vantela-vdisplay is
// found as the driver's adapter, DriverDisplaySource reads what an X client draws on it, and the
// frames it makes reach vantela-sim as vantela-preview shows the same picture.
#include <gtest/gtest.h>
// (Xlib after GoogleTest)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "EndToEnd_X11.h"
#include "support/XServer_X11.h"
#include "app/AppState.h"
#include "comsrc/DIBitmap.h"
#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "link/LinkOpening.h"
#include "link/PortPath_POSIX.h"
#include "link/SimProcess_POSIX.h"
#include "pipeline/ProduceFrame.h"
#include "settings/ScopedEnv.h"
#include "source/DriverDisplaySource.h"
#include "source/DisplayDiscovery.h"
#include "source/DisplayConnection.h"
#include "support/TempDir.h"
#include "support/VDisplayProcess_POSIX.h"

namespace {

using namespace std::chrono_literals;
using comsrc::Rect;

void fill(Display* d, const Rect& r, unsigned long rgb) {
  GC gc = XCreateGC(d, DefaultRootWindow(d), 0, nullptr);
  XSetForeground(d, gc, rgb);
  XFillRectangle(d, DefaultRootWindow(d), gc, r.left, r.top, unsigned(r.width()), unsigned(r.height()));
  XFreeGC(d, gc);
  XSync(d, False);
}

// Pixels of the source's image that differ from the display's root.
long differingPixels(Display* d, comsrc::DIBitmap& image) {
  const int width = image.getWidth(), height = image.getHeight();
  XImage* shot = XGetImage(d, DefaultRootWindow(d), 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
  if (!shot) return -1;
  const uint8_t* pixels = image.lockPixels();
  const ptrdiff_t stride = image.getStride();
  long differing = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const unsigned long p = XGetPixel(shot, x, y);
      const uint8_t* q = pixels + y * stride + x * 4;
      differing += q[0] != uint8_t(p) || q[1] != uint8_t(p >> 8) || q[2] != uint8_t(p >> 16);
    }
  image.unlockPixels();
  XDestroyImage(shot);
  return differing;
}

bool changeListCovers(comsrc::RectList& list, const Rect& want) {
  for (int32_t y = want.top; y < want.bottom; ++y)
    for (int32_t x = want.left; x < want.right; ++x) {
      bool in = false;
      for (uint32_t i = 0; i < list.count() && !in; ++i) {
        const Rect* r = list.at(i);
        in = r && x >= r->left && x < r->right && y >= r->top && y < r->bottom;
      }
      if (!in) return false;
    }
  return true;
}

// Refreshes until the source has reported something (the stand-in learns of drawing
// asynchronously); the last refresh's result.
int32_t refreshUntilReported(AppState& app) {
  int32_t result = 0;
  for (int i = 0; i < 100 && app.sources.changeList->count() == 0; ++i) {
    result = app.sources.driverDisplaySource->refresh();
    if (app.sources.changeList->count() == 0) std::this_thread::sleep_for(10ms);
  }
  return result;
}

// A main screen and a socket folder of the test's own.
class VDisplaySource : public testing::Test {
 protected:
  void SetUp() override {
    if (!vltest::VDisplayProcess::xvfbInstalled()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(mainScreen.ok());
  }
  vltest::TempDir runtime;
  vltest::ScopedEnv socketFolder{"XDG_RUNTIME_DIR", runtime.path().c_str()};
  vltest::XServer mainScreen{"800x600x24"};
  vltest::ScopedEnv display{"DISPLAY", mainScreen.name().c_str()};
};

TEST_F(VDisplaySource, DiscoveryFindsTheStandInAndItsSourceFollowsWhatIsDrawnUntilItGoes) {
  vltest::VDisplayProcess stand;
  ASSERT_TRUE(stand.start({"--size", "320x240", "--position", "800,16"}));
  Display* painter = XOpenDisplay(stand.display().c_str());
  ASSERT_NE(painter, nullptr);

  // The main screen's adapters come first; the stand-in is the driver's display.
  std::unique_ptr<DisplayPlatform> made = makeDisplayPlatform();
  DisplayPlatform& platform = *made;
  DisplayAdapter first, second, none;
  ASSERT_TRUE(platform.adapter(0, first));
  EXPECT_EQ(first.description.rfind("Vantela", 0), std::string::npos) << first.description;
  ASSERT_TRUE(platform.adapter(1, second));
  EXPECT_EQ(second.description.rfind("Vantela", 0), 0u) << second.description;
  EXPECT_FALSE(platform.adapter(2, none));
  EXPECT_EQ(platform.virtualScreenWidth(), 800);

  AppState app;
  app.sources.captureMode = CaptureMode::externalMonitor;
  ASSERT_EQ(discoverDisplays(app.sources), 0);
  EXPECT_EQ(app.sources.driverDisplayFound, 1);
  EXPECT_EQ(app.sources.driverDisplayAttached, 1);
  EXPECT_EQ(app.sources.sourceReady, 1);
  ASSERT_NE(app.sources.driverDisplay, nullptr);
  EXPECT_EQ(*app.sources.driverDisplay->rect(), (Rect{800, 16, 1120, 256}));
  auto* source = dynamic_cast<DriverDisplaySource*>(app.sources.driverDisplaySource.get());
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(*source->sourceRect(), (Rect{0, 0, 320, 240}));
  EXPECT_EQ(source->check(), 0);

  // The first refresh copies the whole frame; later ones report and copy what was drawn.
  fill(painter, Rect{0, 0, 320, 240}, 0x404040);
  EXPECT_EQ(source->refresh(), 1);
  ASSERT_NE(source->bitmap(), nullptr);
  EXPECT_EQ(differingPixels(painter, *source->bitmap()), 0);
  app.sources.changeList->clear();
  const Rect a{20, 30, 70, 90}, b{200, 100, 301, 171};
  fill(painter, a, 0xFF2010);
  fill(painter, b, 0x10E0F0);
  EXPECT_EQ(refreshUntilReported(app), 1);
  EXPECT_TRUE(changeListCovers(*app.sources.changeList, a));
  EXPECT_TRUE(changeListCovers(*app.sources.changeList, b));
  EXPECT_FALSE(changeListCovers(*app.sources.changeList, Rect{100, 200, 110, 210})) << "only what was drawn";
  EXPECT_EQ(differingPixels(painter, *source->bitmap()), 0);
  XCloseDisplay(painter);

  // Killed outright: its socket stays behind but answers nobody, so it is no adapter.
  stand.stop(SIGKILL);
  EXPECT_EQ(source->check(), failure(SourceFailure::unavailable));
  ASSERT_EQ(discoverDisplays(app.sources), 0);
  EXPECT_EQ(app.sources.driverDisplayFound, 0);
  EXPECT_EQ(app.sources.sourceReady, 0);

  // Started again, it is found and attached as before, and the frame buffer the killed one
  // left behind is removed.
  const std::string folder = runtime.file("vantela");
  auto frameFolders = [&] {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) n += e.path().filename().string().rfind("frame-", 0) == 0;
    return n;
  };
  EXPECT_EQ(frameFolders(), 1);
  ASSERT_TRUE(stand.start({"--size", "320x240", "--position", "800,16"}));
  EXPECT_EQ(frameFolders(), 1);
  ASSERT_EQ(discoverDisplays(app.sources), 0);
  EXPECT_EQ(app.sources.driverDisplayFound, 1);
  EXPECT_EQ(app.sources.driverDisplayAttached, 1);
  EXPECT_EQ(app.sources.sourceReady, 1);
  ASSERT_NE(app.sources.driverDisplaySource, nullptr);
  painter = XOpenDisplay(stand.display().c_str());
  ASSERT_NE(painter, nullptr);
  fill(painter, Rect{0, 0, 320, 240}, 0x808080);
  EXPECT_EQ(app.sources.driverDisplaySource->refresh(), 1);
  ASSERT_NE(app.sources.driverDisplaySource->bitmap(), nullptr);
  EXPECT_EQ(differingPixels(painter, *static_cast<comsrc::DIBitmap*>(app.sources.driverDisplaySource->bitmap())), 0);
  EXPECT_EQ(rebuildSource(app.sources), 0);
  XCloseDisplay(painter);
}

// With the default Floyd–Steinberg dithering (1) and with the two-level threshold (0).
class VDisplayEndToEnd : public VDisplaySource, public testing::WithParamInterface<int> {};

TEST_P(VDisplayEndToEnd, SimulatorPanelMatchesThePreviewOfTheExternalMonitor) {
  const int dither = GetParam();
  vltest::VDisplayProcess stand;
  ASSERT_TRUE(stand.start({"--size", "640x480"}));
  Display* painter = XOpenDisplay(stand.display().c_str());
  ASSERT_NE(painter, nullptr);

  vltest::TempDir dir;
  vltest::SimProcess sim;
  const std::string panel = vltest::startSimulatorAsCom5(dir, sim, dither);
  ASSERT_FALSE(panel.empty()) << "vantela-sim did not start";

  vltest::Comparison first, second;
  {
    AppState app;
    app.sources.captureMode = CaptureMode::externalMonitor;
    app.devices.slots[0].settings.active = 1;
    app.devices.slots[0].settings.port = 5;
    app.devices.slots[0].settings.dither = dither;
    ASSERT_EQ(openLinks(app.devices), 0);
    ASSERT_EQ(discoverDisplays(app.sources), 0);
    ASSERT_EQ(app.sources.sourceReady, 1);
    DeviceLink& link = *app.devices.slots[0].link;
    const uint32_t empty = link.freeSpace();

    // The program shows the still display; then a picture is drawn on it.
    const auto frame = [&] { produceFrame(app.frame, app.sources, app.devices); };
    frame();
    vltest::waitUntilSent(link, empty, frame);
    vltest::drawPicture(painter);
    for (int frame = 0; frame < 5; ++frame) {
      std::this_thread::sleep_for(45ms);
      produceFrame(app.frame, app.sources, app.devices);
    }
    EXPECT_EQ(app.sources.sourceReady, 1);
    vltest::waitUntilSent(link, empty, frame);
    sim.signal(SIGUSR1);
    std::this_thread::sleep_for(300ms);
    first = vltest::compareWithPreview(painter, dir, panel, "1");

    // A change: only its lines travel, and the panel again shows the display.
    fill(painter, Rect{90, 100, 240, 170}, 0xF0F0F0);
    for (int frame = 0; frame < 5; ++frame) {
      std::this_thread::sleep_for(45ms);
      produceFrame(app.frame, app.sources, app.devices);
    }
    vltest::waitUntilSent(link, empty, frame);
    app.devices.closeLinks();
  }
  const std::string counts = sim.stop();
  setPortLocations(defaultPortLocations());
  // Error diffusion spreads the change's error right and down over pixels that are not sent
  // again, so there only the lines above the changed band can match a fresh preview.
  second = vltest::compareWithPreview(painter, dir, panel, "2", dither == 1 ? 96 : 240);
  XCloseDisplay(painter);

  // All 240 lines of the still display at the start, all of the picture, then only the lines
  // of the changed band.
  vltest::expectTwoPanels(first, second, counts, 480);
}

INSTANTIATE_TEST_SUITE_P(Dither, VDisplayEndToEnd, testing::Values(1, 0),
                         [](const testing::TestParamInfo<int>& i) { return i.param ? "Diffusion" : "Threshold"; });

}  // namespace

// The main-screen mirror from end to end: an X client draws a picture, ScreenMirrorSource captures
// it, produceFrame sends it over a DeviceLink to vantela-sim on a pseudo-terminal, and the
// simulator's panel must be what vantela-preview makes of a screenshot of the same screen.
#include <gtest/gtest.h>
// (Xlib after GoogleTest)
#include <X11/Xlib.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "EndToEnd_X11.h"
#include "support/XServer_X11.h"
#include "app/AppState.h"
#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "link/LinkOpening.h"
#include "link/PortPath_POSIX.h"
#include "link/SimProcess_POSIX.h"
#include "pipeline/ProduceFrame.h"
#include "source/ScreenMirrorSource.h"
#include "source/DisplayConnection.h"
#include "support/HostTools_POSIX.h"
#include "support/TempDir.h"

namespace {

using namespace std::chrono_literals;
using vltest::compareWithPreview;
using vltest::Comparison;
using vltest::drawPicture;
using vltest::waitUntilSent;

}  // namespace

// With the default Floyd–Steinberg dithering (1) and with the two-level threshold (0).
class EndToEndX11 : public testing::TestWithParam<int> {};

TEST_P(EndToEndX11, SimulatorPanelMatchesThePreviewOfAScreenshot) {
  const int dither = GetParam();
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  vltest::XServer server("800x600x24");
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  Display* painter = XOpenDisplay(server.name().c_str());
  ASSERT_NE(painter, nullptr);
  drawPicture(painter);

  vltest::TempDir dir;
  vltest::SimProcess sim;
  const std::string panel = vltest::startSimulatorAsCom5(dir, sim, dither);
  ASSERT_FALSE(panel.empty()) << "vantela-sim did not start";

  Comparison first, second;
  {
    AppState app;
    app.devices.slots[0].settings.active = 1;
    app.devices.slots[0].settings.port = 5;
    app.devices.slots[0].settings.dither = dither;
    ASSERT_EQ(openLinks(app.devices), 0);
    app.sources.changeList = std::make_unique<comsrc::RectList>();
    app.sources.mainDisplay = std::make_unique<DisplayConnection>(server.name().c_str());
    ASSERT_EQ(app.sources.mainDisplay->open(), 0);
    *app.sources.mainDisplay->rect() = comsrc::Rect{0, 0, 800, 600};
    app.sources.mirrorSource = std::make_unique<ScreenMirrorSource>(*app.sources.mainDisplay, *app.sources.changeList, comsrc::Rect{0, 0, 640, 480});
    app.sources.sourceReady = 1;
    DeviceLink& link = *app.devices.slots[0].link;
    const uint32_t empty = link.freeSpace();

    // The first capture: the whole picture.
    produceFrame(app.frame, app.sources, app.devices);
    EXPECT_EQ(app.sources.sourceReady, 1);
    ASSERT_NE(app.sources.mirrorSource->bitmap(), nullptr);
    waitUntilSent(link, empty, [&] { produceFrame(app.frame, app.sources, app.devices); });
    sim.signal(SIGUSR1);
    std::this_thread::sleep_for(300ms);
    first = compareWithPreview(painter, dir, panel, "1");

    // A change: only its tiles travel, and the panel again shows the screen.
    XSetForeground(painter, DefaultGC(painter, DefaultScreen(painter)), 0xF0F0F0);
    XFillRectangle(painter, DefaultRootWindow(painter), DefaultGC(painter, DefaultScreen(painter)), 90, 100, 150, 70);
    XSync(painter, False);
    for (int frame = 0; frame < 3; ++frame) {
      std::this_thread::sleep_for(45ms);
      produceFrame(app.frame, app.sources, app.devices);
    }
    waitUntilSent(link, empty, [&] { produceFrame(app.frame, app.sources, app.devices); });
    app.devices.closeLinks();
  }
  const std::string counts = sim.stop();
  setPortLocations(defaultPortLocations());
  // Error diffusion spreads the change's error right and down over pixels that are not sent
  // again, so there only the lines above the changed band can match a fresh preview.
  second = compareWithPreview(painter, dir, panel, "2", dither == 1 ? 96 : 240);
  XCloseDisplay(painter);

  // All 240 lines first, then only the lines of the changed band.
  vltest::expectTwoPanels(first, second, counts, 240);
}

INSTANTIATE_TEST_SUITE_P(Dither, EndToEndX11, testing::Values(1, 0),
                         [](const testing::TestParamInfo<int>& i) { return i.param ? "Diffusion" : "Threshold"; });

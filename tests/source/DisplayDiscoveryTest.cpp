#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "SourceFakes.h"
#include "VtdrvFakes.h"
#include "app/AppState.h"
#include "source/ScreenSources.h"
#include "comsrc/RectList.h"
#include "source/ScreenMirrorSource.h"
#include "source/DriverDisplaySource.h"
#include "source/DisplayDiscovery.h"

using comsrc::Rect;
using vltest::FakeAcquirer;
using vltest::FakeDriver;
using vltest::FakeEscapeChannel;

namespace {

class NamedAcquirer : public FakeAcquirer {
 public:
  NamedAcquirer(const char* name, bool canOpen) {
    hasDeviceName = name != nullptr;
    deviceName = name ? name : "";
    openable = canOpen;
  }
  std::string name() const { return hasDeviceName ? deviceName : "(desktop)"; }
};

// Adapters, modes and contexts as a test sets them up.
class FakePlatform : public DisplayPlatform {
 public:
  int32_t virtualScreenWidth() override { return desktopWidth; }
  int32_t virtualScreenHeight() override { return 1080; }
  bool adapter(uint32_t index, DisplayAdapter& out) override {
    ++adapterQueries;
    if (index >= adapters.size()) return false;
    out = adapters[index];
    return true;
  }
  bool currentMode(const DisplayAdapter& a, DisplayMode& out) override {
    modeAsked.push_back(a.deviceName);
    auto it = modes.find(a.deviceName);
    if (it == modes.end()) return false;
    out = it->second;
    return true;
  }
  void trace(const char* description) override { traced.emplace_back(description); }
  std::unique_ptr<DisplayConnection> makeAcquirer(const char* name) override {
    const std::string key = name ? name : "(desktop)";
    acquirersMade.push_back(key);
    if (key == unallocatable) return nullptr;
    return std::make_unique<NamedAcquirer>(name, key != unopenable);
  }
  std::unique_ptr<EscapeChannel> makeEscapeChannel(DisplayConnection& display) override {
    channelDisplays.push_back(&display);
    driver = std::make_shared<FakeDriver>(8, 8);
    if (!identifyReply.empty()) driver->identifyReply = identifyReply;
    return std::make_unique<FakeEscapeChannel>(driver);
  }

  void addAdapter(const char* device, const char* description) { adapters.push_back({device, description}); }

  std::vector<DisplayAdapter> adapters;
  std::map<std::string, DisplayMode> modes;
  std::string unopenable, unallocatable, identifyReply;
  std::vector<std::string> traced, acquirersMade, modeAsked;
  std::vector<DisplayConnection*> channelDisplays;
  std::shared_ptr<FakeDriver> driver;  // behind the newest channel
  int adapterQueries = 0;
  int32_t desktopWidth = 1920;
};

NamedAcquirer* named(const std::unique_ptr<DisplayConnection>& a) { return static_cast<NamedAcquirer*>(a.get()); }

}  // namespace

TEST(DisplayDiscovery, FlagsAndObjectsInBothModes) {
  enum Setup { kNoDriver, kAttached, kDetached, kNoContext, kNoAcquirer };
  struct Expect {
    int32_t result, found, attached;
    int32_t ready[2];  // by capture mode
  };
  const std::map<Setup, Expect> table{
      {kNoDriver, {0, 0, 0, {1, 0}}},  {kAttached, {0, 1, 1, {1, 1}}},   {kDetached, {0, 1, 0, {1, 0}}},
      {kNoContext, {-1, 1, 0, {0, 0}}}, {kNoAcquirer, {-1, 1, 0, {0, 0}}},
  };
  for (const auto& [setup, expect] : table) {
    for (int32_t mode = 0; mode < 2; ++mode) {
      SCOPED_TRACE(testing::Message() << "setup " << setup << " mode " << mode);
      FakePlatform platform;
      platform.addAdapter("\\\\.\\DISPLAY1", "Some Graphics Adapter");
      if (setup != kNoDriver) platform.addAdapter("\\\\.\\DISPLAY2", "Vantela Virtual Display");
      if (setup != kDetached) platform.modes["\\\\.\\DISPLAY2"] = DisplayMode{0, 0, 640, 480};
      if (setup == kNoContext) platform.unopenable = "Vantela Virtual Display";
      if (setup == kNoAcquirer) platform.unallocatable = "Vantela Virtual Display";

      AppState app;
      app.sources.captureMode = captureModeOf(mode);
      // Leftovers of an earlier discovery are replaced.
      app.sources.changeList = std::make_unique<comsrc::RectList>();
      app.sources.changeList->add(Rect{0, 0, 16, 16});
      app.sources.sourceReady = 1;
      app.sources.driverDisplayFound = 1;

      EXPECT_EQ(discoverDisplays(app.sources, platform), expect.result);
      EXPECT_EQ(app.sources.driverDisplayFound, expect.found);
      EXPECT_EQ(app.sources.driverDisplayAttached, expect.attached);
      EXPECT_EQ(app.sources.sourceReady, expect.ready[mode]);

      ASSERT_NE(app.sources.changeList, nullptr);
      EXPECT_EQ(app.sources.changeList->count(), 0u);
      ASSERT_NE(app.sources.mainDisplay, nullptr);
      EXPECT_EQ(named(app.sources.mainDisplay)->name(), "(desktop)");
      EXPECT_EQ(named(app.sources.mainDisplay)->opens, 1);
      EXPECT_EQ(*app.sources.mainDisplay->rect(), (Rect{0, 0, 1920, 1080}));
      // Mirroring the external monitor makes no capture of the main screen.
      auto* gdi = dynamic_cast<ScreenMirrorSource*>(app.sources.mirrorSource.get());
      ASSERT_EQ(gdi != nullptr, mode == 0);
      if (gdi) {
        EXPECT_EQ(*gdi->captureRect(), (Rect{0, 0, 640, 480}));
      }
      EXPECT_EQ(app.sources.driverDisplay != nullptr, setup != kNoDriver && setup != kNoAcquirer);
      EXPECT_EQ(app.sources.driverDisplaySource != nullptr, setup == kAttached);
      if (app.sources.driverDisplaySource) {
        ASSERT_EQ(platform.channelDisplays.size(), 1u);
        EXPECT_EQ(platform.channelDisplays[0], app.sources.driverDisplay.get());
      }
      // Enumeration stops at the driver's adapter, or at the first index with none.
      EXPECT_EQ(platform.adapterQueries, 2);
    }
  }
}

TEST(DisplayDiscovery, FirstAdapterBeginningWithTheNameIsTaken) {
  FakePlatform platform;
  platform.addAdapter("\\\\.\\DISPLAY1", "Basic Display");
  platform.addAdapter("\\\\.\\DISPLAY2", "My Vantela Display");
  platform.addAdapter("\\\\.\\DISPLAY3", "Vantela Display A");
  platform.addAdapter("\\\\.\\DISPLAY4", "Vantela Display B");
  platform.modes["\\\\.\\DISPLAY2"] = DisplayMode{0, 0, 320, 200};
  platform.modes["\\\\.\\DISPLAY3"] = DisplayMode{100, 50, 800, 600};
  platform.modes["\\\\.\\DISPLAY4"] = DisplayMode{0, 0, 1024, 768};

  AppState app;
  app.sources.captureMode = CaptureMode::externalMonitor;
  EXPECT_EQ(discoverDisplays(app.sources, platform), 0);
  EXPECT_EQ(platform.traced, (std::vector<std::string>{"Basic Display", "My Vantela Display", "Vantela Display A"}));
  // The context is made for the description, the mode read for the device name.
  EXPECT_EQ(named(app.sources.driverDisplay)->name(), "Vantela Display A");
  EXPECT_EQ(named(app.sources.driverDisplay)->opens, 1);
  EXPECT_EQ(platform.modeAsked, (std::vector<std::string>{"\\\\.\\DISPLAY3"}));
  EXPECT_EQ(*app.sources.driverDisplay->rect(), (Rect{100, 50, 900, 650}));
  auto* driver = dynamic_cast<DriverDisplaySource*>(app.sources.driverDisplaySource.get());
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(*driver->sourceRect(), (Rect{0, 0, 800, 600}));
  EXPECT_EQ(app.sources.sourceReady, 1);
}

// The main screen's source, its display and what it reported outlive a discovery that finds the
// same desktop; a new desktop size, a lost source or the other mode replace them.
TEST(DisplayDiscovery, MainScreenSourceIsKeptWhileTheDesktopStays) {
  FakePlatform platform;
  ScreenSources sources;
  ASSERT_EQ(discoverDisplays(sources, platform), 0);
  FrameSource* first = sources.mirrorSource.get();
  sources.changeList->add(Rect{0, 0, 32, 32});
  ASSERT_EQ(discoverDisplays(sources, platform), 0);
  EXPECT_EQ(sources.mirrorSource.get(), first);
  EXPECT_EQ(sources.changeList->count(), 1u);
  EXPECT_EQ(named(sources.mainDisplay)->opens, 1);
  EXPECT_EQ(sources.sourceReady, 1);

  platform.desktopWidth = 2560;
  ASSERT_EQ(discoverDisplays(sources, platform), 0);
  EXPECT_EQ(*sources.mainDisplay->rect(), (Rect{0, 0, 2560, 1080}));
  EXPECT_EQ(sources.changeList->count(), 0u);
  FrameSource* second = sources.mirrorSource.get();
  ASSERT_NE(second, nullptr);

  sources.captureMode = CaptureMode::externalMonitor;
  ASSERT_EQ(discoverDisplays(sources, platform), 0);
  EXPECT_EQ(sources.mirrorSource, nullptr);
}

TEST(DisplayDiscovery, RebuildKeepsTheRectangleOfTheSourceItReplaces) {
  FakePlatform platform;
  platform.addAdapter("\\\\.\\DISPLAY2", "Vantela Display");
  platform.modes["\\\\.\\DISPLAY2"] = DisplayMode{-800, 0, 800, 600};

  AppState app;
  EXPECT_EQ(rebuildSource(app.sources, platform), -1);  // nothing discovered yet
  ASSERT_EQ(discoverDisplays(app.sources, platform), 0);

  // Not ready: nothing is touched.
  app.sources.sourceReady = 0;
  FrameSource* before = app.sources.mirrorSource.get();
  EXPECT_EQ(rebuildSource(app.sources, platform), -1);
  EXPECT_EQ(app.sources.mirrorSource.get(), before);
  app.sources.sourceReady = 1;

  // Mode 0: the main display is opened again and the capture rectangle carried over.
  *static_cast<ScreenMirrorSource*>(app.sources.mirrorSource.get())->captureRect() = Rect{10, 20, 330, 260};
  app.sources.changeList->add(Rect{0, 0, 32, 32});
  EXPECT_EQ(rebuildSource(app.sources, platform), 0);
  auto* gdi = dynamic_cast<ScreenMirrorSource*>(app.sources.mirrorSource.get());
  ASSERT_NE(gdi, nullptr);
  EXPECT_EQ(*gdi->captureRect(), (Rect{10, 20, 330, 260}));
  EXPECT_EQ(named(app.sources.mainDisplay)->opens, 2);
  EXPECT_EQ(app.sources.changeList->count(), 1u);

  // Mode 1: the driver display is opened again, the frame size carried over and the new source
  // checked at once through a channel of its own.
  app.sources.captureMode = CaptureMode::externalMonitor;
  const size_t channels = platform.channelDisplays.size();
  EXPECT_EQ(rebuildSource(app.sources, platform), 0);
  auto* driver = dynamic_cast<DriverDisplaySource*>(app.sources.driverDisplaySource.get());
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(*driver->sourceRect(), (Rect{0, 0, 800, 600}));
  EXPECT_EQ(named(app.sources.driverDisplay)->opens, 2);
  EXPECT_EQ(platform.channelDisplays.size(), channels + 1);
  EXPECT_EQ(platform.driver->count(vtdrv::kEscIdentify), 1);

  // What a rebuild needs must be there.
  app.sources.driverDisplaySource.reset();
  EXPECT_EQ(rebuildSource(app.sources, platform), -1);
  app.sources.captureMode = CaptureMode::mainScreen;
  app.sources.mainDisplay.reset();
  EXPECT_EQ(rebuildSource(app.sources, platform), -1);
}

TEST(DisplayDiscovery, ADriverDisplayThatDoesNotAnswerAsTheDriverShowsAsMissing) {
  FakePlatform platform;
  platform.addAdapter("\\\\.\\DISPLAY2", "Vantela Display");
  platform.modes["\\\\.\\DISPLAY2"] = DisplayMode{0, 0, 640, 480};
  platform.identifyReply = "SOMETHING ELSE";
  ScreenSources sources;
  sources.captureMode = CaptureMode::externalMonitor;
  EXPECT_EQ(discoverDisplays(sources, platform), 0);
  EXPECT_EQ(sources.driverDisplayFound | sources.driverDisplayAttached | sources.sourceReady, 0);
  EXPECT_EQ(sources.driverDisplaySource, nullptr);

  platform.identifyReply.clear();
  ASSERT_EQ(discoverDisplays(sources, platform), 0);
  EXPECT_EQ(sources.driverDisplayFound & sources.driverDisplayAttached & sources.sourceReady, 1);
  EXPECT_EQ(checkDriver(sources), 0);
  // The driver stops answering while mirrored: the flags say so at once.
  platform.driver->identifyReply = "SOMETHING ELSE";
  EXPECT_LT(checkDriver(sources), 0);
  EXPECT_EQ(sources.driverDisplayFound | sources.driverDisplayAttached | sources.sourceReady, 0);
}

// The driver's source outlives a discovery that finds its display unchanged in the same mode; a
// new mode, a moved display, one that stopped answering or one gone replaces or drops it.
TEST(DisplayDiscovery, DriverSourceIsKeptWhileItsDisplayStays) {
  FakePlatform platform;
  platform.addAdapter("\\\\.\\DISPLAY2", "Vantela Display");
  platform.modes["\\\\.\\DISPLAY2"] = DisplayMode{0, 0, 640, 480};
  ScreenSources sources;
  ASSERT_EQ(discoverDisplays(sources, platform), 0);
  FrameSource* first = sources.driverDisplaySource.get();
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(discoverDisplays(sources, platform), 0);
  EXPECT_EQ(sources.driverDisplaySource.get(), first);
  EXPECT_EQ(platform.channelDisplays.size(), 1u);
  EXPECT_TRUE(sources.driverDisplayFound && sources.driverDisplayAttached && sources.sourceReady);

  // The desktop changes under the kept driver: the old main source's reports go, the list stays.
  sources.changeList->add(Rect{0, 0, 32, 32});
  platform.desktopWidth = 2560;
  ASSERT_EQ(discoverDisplays(sources, platform), 0);
  EXPECT_EQ(sources.driverDisplaySource.get(), first);
  EXPECT_EQ(sources.changeList->count(), 0u);

  // Into the other mode: a fresh source; then its reports survive the next discovery.
  sources.captureMode = CaptureMode::externalMonitor;
  ASSERT_EQ(discoverDisplays(sources, platform), 0);
  EXPECT_EQ(platform.channelDisplays.size(), 2u);
  first = sources.driverDisplaySource.get();
  sources.changeList->add(Rect{0, 0, 32, 32});
  ASSERT_EQ(discoverDisplays(sources, platform), 0);
  EXPECT_EQ(sources.driverDisplaySource.get(), first);
  EXPECT_EQ(sources.changeList->count(), 1u);
  EXPECT_TRUE(sources.sourceReady);

  platform.modes["\\\\.\\DISPLAY2"] = DisplayMode{0, 0, 800, 600};
  ASSERT_EQ(discoverDisplays(sources, platform), 0);
  EXPECT_EQ(platform.channelDisplays.size(), 3u);
  EXPECT_EQ(*sources.driverDisplay->rect(), (Rect{0, 0, 800, 600}));

  platform.driver->identifyReply = "SOMETHING ELSE";
  ASSERT_EQ(discoverDisplays(sources, platform), 0);
  EXPECT_EQ(platform.channelDisplays.size(), 4u);
  EXPECT_TRUE(sources.sourceReady);

  // Silent at a check, back before the next discovery: still a new source, with the flags set.
  const std::string answer = platform.driver->identifyReply;
  platform.driver->identifyReply = "SOMETHING ELSE";
  EXPECT_LT(checkDriver(sources), 0);
  platform.driver->identifyReply = answer;
  ASSERT_EQ(discoverDisplays(sources, platform), 0);
  EXPECT_EQ(platform.channelDisplays.size(), 5u);
  EXPECT_TRUE(sources.driverDisplayFound && sources.driverDisplayAttached && sources.sourceReady);

  platform.adapters.clear();
  ASSERT_EQ(discoverDisplays(sources, platform), 0);
  EXPECT_EQ(sources.driverDisplaySource, nullptr);
  EXPECT_FALSE(sources.driverDisplayFound || sources.driverDisplayAttached || sources.sourceReady);
}

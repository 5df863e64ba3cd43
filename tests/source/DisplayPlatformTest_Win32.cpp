// Display discovery and the driver's escape channel against Wine's displays, where no driver
// of ours is installed.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "app/AppState.h"
#include "comsrc/RectList.h"
#include "source/DriverDisplaySource.h"
#include "source/DisplayDiscovery.h"
#include "source/DisplayPlatform.h"
#include "source/EscapeChannel.h"
#include "source/DisplayConnection.h"
#include "source/VtdrvEscapes.h"

TEST(DisplayPlatformWin32, EnumeratesWinesAdaptersAndModes) {
  std::unique_ptr<DisplayPlatform> made = makeDisplayPlatform();
  DisplayPlatform& platform = *made;
  EXPECT_EQ(platform.virtualScreenWidth(), GetSystemMetrics(SM_CXVIRTUALSCREEN));
  EXPECT_GT(platform.virtualScreenWidth(), 0);
  EXPECT_GT(platform.virtualScreenHeight(), 0);

  DisplayAdapter adapter;
  uint32_t count = 0;
  bool anyMode = false;
  for (; count < 64 && platform.adapter(count, adapter); ++count) {
    EXPECT_FALSE(adapter.deviceName.empty());
    EXPECT_NE(adapter.description.rfind("Vantela", 0), 0u) << adapter.description;
    platform.trace(adapter.description.c_str());
    DisplayMode mode;
    if (platform.currentMode(adapter, mode)) {
      anyMode = true;
      EXPECT_GT(mode.width, 0);
      EXPECT_GT(mode.height, 0);
    }
  }
  EXPECT_GE(count, 1u);
  EXPECT_LT(count, 64u);
  EXPECT_TRUE(anyMode);
  DisplayMode unused;
  EXPECT_FALSE(platform.currentMode(DisplayAdapter{"\\\\.\\NOSUCHDISPLAY9", "none"}, unused));
}

TEST(DisplayPlatformWin32, DiscoveryWithoutTheDriver) {
  for (int32_t mode = 0; mode < 2; ++mode) {
    SCOPED_TRACE(mode);
    AppState app;
    app.sources.captureMode = captureModeOf(mode);
    EXPECT_EQ(discoverDisplays(app.sources), 0);
    EXPECT_EQ(app.sources.driverDisplayFound, 0);
    EXPECT_EQ(app.sources.driverDisplayAttached, 0);
    EXPECT_EQ(app.sources.sourceReady, mode == 0 ? 1 : 0);
    ASSERT_NE(app.sources.mainDisplay, nullptr);
    EXPECT_NE(app.sources.mainDisplay->screenContext(), nullptr);
    EXPECT_EQ(*app.sources.mainDisplay->rect(), (comsrc::Rect{0, 0, GetSystemMetrics(SM_CXVIRTUALSCREEN),
                                                      GetSystemMetrics(SM_CYVIRTUALSCREEN)}));
    EXPECT_EQ(app.sources.driverDisplaySource, nullptr);
    EXPECT_EQ(rebuildSource(app.sources), mode == 0 ? 0 : -1);
  }
}

TEST(DisplayPlatformWin32, EscapesToADisplayWithoutTheDriver) {
  DisplayConnection screen;
  comsrc::RectList list;
  std::unique_ptr<EscapeChannel> channel = makeDisplayPlatform()->makeEscapeChannel(screen);
  ASSERT_NE(channel, nullptr);
  // No context yet: nothing is sent.
  char reply[vtdrv::kIdentifyReplyBytes] = {};
  EXPECT_EQ(channel->escape(vtdrv::kEscIdentify, 0, nullptr, sizeof reply, reply), -1);

  ASSERT_EQ(screen.open(), 0);
  const int32_t answer = channel->escape(vtdrv::kEscIdentify, 0, nullptr, sizeof reply, reply);
  EXPECT_TRUE(answer < 1 || answer > 32 || std::memcmp(reply, "VTDRV", 5) != 0) << answer;

  // The source over the real channel: not the driver, no change records, no mapping.
  DriverDisplaySource source(screen, list, comsrc::Rect{0, 0, 64, 64}, std::move(channel));
  const int32_t identified = source.check();
  EXPECT_TRUE(identified == -1 || identified == -2) << identified;
  EXPECT_NE(screen.screenContext(), nullptr);
  EXPECT_EQ(source.refresh(), 0);
  EXPECT_EQ(source.mappedFrame(), nullptr);
  EXPECT_EQ(list.count(), 0u);
}

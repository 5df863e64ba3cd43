#include <gtest/gtest.h>

#include "app/AppState.h"

TEST(AppState, StartsWithFourDefaultSlotsAndTheStartFlags) {
  AppState app;
  for (const DeviceSlot& each : app.devices.slots) {
    const DeviceSettings& slot = each.settings;
    EXPECT_EQ(slot.speed, 500000);
    EXPECT_EQ(slot.dither, 1);
    EXPECT_EQ(slot.contrast, 1.0);
    EXPECT_EQ(slot.gamma, 1.0);
    EXPECT_EQ(slot.active | slot.port | slot.cts | slot.offset | slot.rotate | slot.shrink | slot.invert, 0);
    EXPECT_EQ(slot.posX | slot.posY, 0);
    EXPECT_EQ(each.work.portOk | each.work.workStride, 0);
    EXPECT_EQ(each.work.workPixels.size(), 96000u);
  }
  EXPECT_EQ(app.sources.captureMode, CaptureMode::mainScreen);
  EXPECT_TRUE(app.devices.anyDeviceActive);
  EXPECT_EQ(app.devices.linksOpen | app.sources.sourceReady | app.sources.driverDisplayFound | app.sources.driverDisplayAttached, 0);
  EXPECT_FALSE(app.devices.anyLink());
}

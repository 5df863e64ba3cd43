#include <gtest/gtest.h>

#include "app/AppState.h"

TEST(AppState, StartsWithFourDefaultSlotsAndTheStartFlags) {
  AppState app;
  ASSERT_EQ(app.deviceSlots.size(), 4u);
  for (const DeviceSettings& slot : app.deviceSlots) {
    EXPECT_EQ(slot.speed, 500000);
    EXPECT_EQ(slot.dither, 1);
    EXPECT_EQ(slot.contrast, 1.0);
    EXPECT_EQ(slot.gamma, 1.0);
    EXPECT_EQ(slot.active | slot.port | slot.cts | slot.offset | slot.rotate | slot.shrink | slot.invert, 0);
    EXPECT_EQ(slot.posX | slot.posY | slot.portOk | slot.workStride, 0);
    EXPECT_EQ(slot.workPixels.size(), 96000u);
  }
  EXPECT_EQ(app.captureMode, 0);
  EXPECT_EQ(app.anyDeviceActive, 1);
  EXPECT_EQ(app.linksOpen | app.sourceReady | app.driverDisplayFound | app.driverDisplayAttached, 0);
  EXPECT_TRUE(app.deviceLinks.empty());
}

#include <gtest/gtest.h>

#include <filesystem>

#include "link/DeviceLink.h"
#include "link/Devices.h"
#include "link/LinkOpening.h"
#include "link/PortPath_POSIX.h"
#include "support/TempDir.h"
#include "support/TestPty_POSIX.h"

namespace {

class LinkOpening : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(ports());
    std::filesystem::create_directories(dir.file("dev"));
    setPortLocations({ports(), dir.file("dev")});
  }
  void TearDown() override { setPortLocations(defaultPortLocations()); }
  std::string ports() const { return dir.file("ports"); }
  void plug(vltest::TestPty& pty, int port) {
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(pty.linkAs(ports() + "/com" + std::to_string(port)));
  }

  vltest::TempDir dir;
};

}  // namespace

TEST_F(LinkOpening, FindPortWrapsAroundInTheDirectionOfTheStep) {
  vltest::TestPty com3, com12;
  plug(com3, 3);
  plug(com12, 12);
  EXPECT_EQ(findPort(3, +1), 12);
  EXPECT_EQ(findPort(12, +1), 3);
  EXPECT_EQ(findPort(3, -1), 12);
  EXPECT_EQ(findPort(12, -1), 3);
  EXPECT_EQ(findPort(0, +1), 3);
  EXPECT_EQ(findPort(-5, -1), 12);  // start 1, then 63, 62, ...
  EXPECT_EQ(findPort(5, +1), 12);
  EXPECT_EQ(findPort(70, +1), 3);  // out of range: from 63 on, where any other start would spin
  EXPECT_EQ(findPort(3, +5), 12);  // steps are taken one port at a time
}

TEST_F(LinkOpening, FindPortReturnsTheStartPortLastAndMinusOneWhenNothingOpens) {
  EXPECT_EQ(findPort(0, +1), -1);
  EXPECT_EQ(findPort(40, -1), -1);
  vltest::TestPty com5;
  plug(com5, 5);
  EXPECT_EQ(findPort(5, +1), 5);
  EXPECT_EQ(findPort(5, -1), 5);
}

TEST_F(LinkOpening, OpenLinksBuildsOneLinkPerActiveSlot) {
  vltest::TestPty com4;
  plug(com4, 4);
  Devices app;
  app.deviceSlots[0].active = 1;
  app.deviceSlots[0].port = 4;
  app.deviceSlots[0].posX = 10;
  app.deviceSlots[0].posY = 20;
  app.deviceSlots[0].rotate = 2;
  app.deviceSlots[0].invert = 5;
  app.deviceSlots[2].active = 1;
  app.deviceSlots[2].port = 9;  // no such port
  app.deviceWork[2].portOk = true;
  EXPECT_EQ(openLinks(app), 0);
  EXPECT_TRUE(app.linksOpen);
  EXPECT_TRUE(app.anyDeviceActive);
  ASSERT_EQ(app.deviceLinks.size(), 4u);
  ASSERT_TRUE(app.deviceLinks[0]);
  EXPECT_FALSE(app.deviceLinks[1]);
  ASSERT_TRUE(app.deviceLinks[2]);
  EXPECT_FALSE(app.deviceLinks[3]);
  EXPECT_TRUE(app.deviceWork[0].portOk);
  EXPECT_FALSE(app.deviceWork[2].portOk);
  EXPECT_EQ(app.deviceWork[0].workStride, 400);
  EXPECT_EQ(app.deviceWork[2].workStride, 400);
  const DeviceLink& link = *app.deviceLinks[0];
  EXPECT_EQ(link.area, (comsrc::Rect{10, 20, 410, 260}));
  EXPECT_EQ(link.rotate, 2);
  EXPECT_EQ(link.invert, 1);
  EXPECT_EQ(app.deviceLinks[0]->freeSpace(), 16383u);
  EXPECT_TRUE(app.deviceLinks[2]->serial()->failed());

  // The links hold their ports; a second opening releases them first and opens them again.
  EXPECT_EQ(openLinks(app), 0);
  EXPECT_TRUE(app.deviceWork[0].portOk);
}

TEST_F(LinkOpening, WithoutAnOpenPortOrAnActiveSlotOpenLinksFails) {
  Devices app;
  app.deviceSlots[1].active = 1;
  app.deviceSlots[1].port = -1;
  app.deviceWork[1].portOk = true;
  app.deviceSlots[1].posX = INT32_MAX;  // positions from a hostile file: the area stops at the range's end
  app.deviceSlots[1].posY = INT32_MIN;
  app.linksOpen = true;
  EXPECT_EQ(openLinks(app), -1);
  EXPECT_FALSE(app.linksOpen);
  EXPECT_TRUE(app.anyDeviceActive);
  EXPECT_FALSE(app.deviceWork[1].portOk);
  ASSERT_EQ(app.deviceLinks.size(), 4u);
  ASSERT_TRUE(app.deviceLinks[1]);
  EXPECT_EQ(app.deviceLinks[1]->area, (comsrc::Rect{INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN + 240}));

  app.deviceSlots[1].active = 0;
  EXPECT_EQ(openLinks(app), -1);
  EXPECT_FALSE(app.anyDeviceActive);
  for (const auto& link : app.deviceLinks) EXPECT_FALSE(link);
}

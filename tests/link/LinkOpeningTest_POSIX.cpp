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
  app.slots[0].settings.active = 1;
  app.slots[0].settings.port = 4;
  app.slots[0].settings.posX = 10;
  app.slots[0].settings.posY = 20;
  app.slots[0].settings.rotate = 2;
  app.slots[0].settings.invert = 5;
  app.slots[2].settings.active = 1;
  app.slots[2].settings.port = 9;  // no such port
  app.slots[2].work.portOk = true;
  EXPECT_EQ(openLinks(app), 0);
  EXPECT_TRUE(app.linksOpen);
  EXPECT_TRUE(app.anyDeviceActive);
  ASSERT_TRUE(app.slots[0].link);
  EXPECT_FALSE(app.slots[1].link);
  ASSERT_TRUE(app.slots[2].link);
  EXPECT_FALSE(app.slots[3].link);
  EXPECT_TRUE(app.slots[0].work.portOk);
  EXPECT_FALSE(app.slots[2].work.portOk);
  EXPECT_EQ(app.slots[0].work.workStride, 400);
  EXPECT_EQ(app.slots[2].work.workStride, 400);
  const DeviceLink& link = *app.slots[0].link;
  EXPECT_EQ(link.area, (comsrc::Rect{10, 20, 410, 260}));
  EXPECT_EQ(link.rotate, 2);
  EXPECT_EQ(link.invert, 1);
  EXPECT_EQ(app.slots[0].link->freeSpace(), 16383u);
  EXPECT_TRUE(app.slots[2].link->serial()->failed());

  // The links hold their ports; a second opening releases them first and opens them again.
  EXPECT_EQ(openLinks(app), 0);
  EXPECT_TRUE(app.slots[0].work.portOk);
}

TEST_F(LinkOpening, WithoutAnOpenPortOrAnActiveSlotOpenLinksFails) {
  Devices app;
  app.slots[1].settings.active = 1;
  app.slots[1].settings.port = -1;
  app.slots[1].work.portOk = true;
  app.slots[1].settings.posX = INT32_MAX;  // positions from a hostile file: the area stops at the range's end
  app.slots[1].settings.posY = INT32_MIN;
  app.linksOpen = true;
  EXPECT_EQ(openLinks(app), -1);
  EXPECT_FALSE(app.linksOpen);
  EXPECT_TRUE(app.anyDeviceActive);
  EXPECT_FALSE(app.slots[1].work.portOk);
  ASSERT_TRUE(app.slots[1].link);
  EXPECT_EQ(app.slots[1].link->area, (comsrc::Rect{INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN + 240}));

  app.slots[1].settings.active = 0;
  EXPECT_EQ(openLinks(app), -1);
  EXPECT_FALSE(app.anyDeviceActive);
  EXPECT_FALSE(app.anyLink());
}

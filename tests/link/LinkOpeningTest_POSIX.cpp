#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "link/DeviceLink.h"
#include "link/Devices.h"
#include "link/LinkOpening.h"
#include "link/PortPath_POSIX.h"
#include "support/TempDir.h"
#include "support/TestPty_POSIX.h"
#include "PortsFolderTest_POSIX.h"

namespace {

class LinkOpening : public PortsFolderTest {
 protected:
  void plug(vltest::TestPty& pty, int port) {
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(pty.linkAs(ports() + "/com" + std::to_string(port)));
  }
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

// While the panel preview is open, a slot whose port does not open still gets a link: it drops
// what it is sent, keeps what it showed across the retries of the ports, and still reads as a
// failed port to the window and to housekeeping.
TEST_F(LinkOpening, StandInsRunForMissingDevicesOnlyWhileWanted) {
  vltest::TestPty com4;
  plug(com4, 4);
  Devices app;
  app.slots[0].settings.active = 1;
  app.slots[0].settings.port = 4;
  app.slots[1].settings.active = 1;
  app.slots[1].settings.port = 9;  // no such port
  app.standInsWanted = true;
  EXPECT_EQ(openLinks(app), 0);
  EXPECT_FALSE(app.slots[0].work.standIn);
  EXPECT_TRUE(app.slots[1].work.standIn);
  EXPECT_FALSE(app.slots[1].work.portOk);
  ASSERT_TRUE(app.slots[1].link);
  EXPECT_TRUE(app.slots[1].link->serial()->failed());
  EXPECT_TRUE(app.feeds(0) && app.feeds(1));
  EXPECT_FALSE(app.feeds(2));

  // The stand-in drains whatever it is given.
  const uint32_t empty = app.slots[1].link->freeSpace();
  std::vector<uint8_t> block(57 * 240, 0x80);
  ASSERT_EQ(app.slots[1].link->enqueue(block.data(), static_cast<uint32_t>(block.size())), 0);
  for (int i = 0; i < 200 && app.slots[1].link->freeSpace() != empty; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(app.slots[1].link->freeSpace(), empty);

  uint8_t line[ShownLines::kBytes] = {};
  line[0] = 0x5A;
  app.slots[0].link->shown.remember(7, line);
  app.slots[1].link->shown.remember(7, line);
  const uint32_t changes = app.slots[1].link->shown.changes();
  EXPECT_EQ(openLinks(app), 0);
  EXPECT_EQ(app.slots[0].link->shown.line(7), nullptr) << "a device's link opened anew knows nothing";
  ASSERT_NE(app.slots[1].link->shown.line(7), nullptr) << "the stand-in made again forgot what it showed";
  EXPECT_EQ(app.slots[1].link->shown.line(7)[0], 0x5A);
  app.slots[1].link->shown.remember(7, line);
  EXPECT_EQ(app.slots[1].link->shown.changes(), changes) << "the same line again is no change";

  // With no device at all, frames still flow for the stand-in; no longer once it is not wanted.
  app.slots[0].settings.active = 0;
  EXPECT_EQ(openLinks(app), -1);
  EXPECT_FALSE(app.linksOpen);
  EXPECT_TRUE(app.framesFlow());
  app.standInsWanted = false;
  EXPECT_EQ(openLinks(app), -1);
  EXPECT_FALSE(app.slots[1].work.standIn);
  EXPECT_FALSE(app.feeds(1));
  EXPECT_FALSE(app.framesFlow());
}

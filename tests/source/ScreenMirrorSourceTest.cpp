#include <gtest/gtest.h>

#include "SourceFakes.h"
#include "comsrc/TickClock.h"
#include "source/ScreenMirrorSource.h"

using comsrc::Rect;
using vltest::FakeAcquirer;
using vltest::FakeCounter;
using vltest::FakeScreen;
using vltest::RecordingList;

namespace {

struct Rig {
  explicit Rig(int32_t w = 128, int32_t h = 96, Rect area = {}) : shared(std::make_shared<FakeScreen::Shared>()) {
    shared->width = w;
    shared->height = h;
    shared->pixels.assign(size_t(w) * size_t(h), 0x00102030);
    if (area.isEmpty()) area = Rect{0, 0, w, h};
    source = std::make_unique<ScreenMirrorSource>(acquirer, list, area, std::make_unique<FakeScreen>(shared), counter);
  }
  // The next refresh 40 ms on.
  int32_t refreshLater() {
    counter.advanceMs(40);
    list.added.clear();
    return source->refresh();
  }
  // The copies taken so far, after a refresh `ms` on that reports nothing.
  int blitsAfter(int64_t ms) {
    counter.advanceMs(ms);
    EXPECT_EQ(source->refresh(), 0);
    return shared->blits;
  }
  uint32_t pixel(int32_t x, int32_t y) { return vltest::pixelAt(*source->bitmap(), x, y); }

  std::shared_ptr<FakeScreen::Shared> shared;
  FakeCounter counter;
  FakeAcquirer acquirer;
  RecordingList list;
  std::unique_ptr<ScreenMirrorSource> source;
};

}  // namespace

TEST(TickClock, MillisecondsFromTheCounter) {
  FakeCounter counter;
  comsrc::TickClock clock(1000.0, counter);
  EXPECT_EQ(clock.frequency, 1000000);
  EXPECT_DOUBLE_EQ(clock.ticksPerUnit, 1000.0);
  counter.count = 2500999;  // truncated toward zero
  EXPECT_EQ(clock.read(), 2500u);
  counter.count = ((int64_t{1} << 32) + 7) * 1000;  // the low 32 bits of the milliseconds
  EXPECT_EQ(clock.read(), 7u);
}

TEST(TickClock, UnreadableCounterReadsZero) {
  FakeCounter counter;
  counter.readable = false;
  comsrc::TickClock clock(1000.0, counter);
  EXPECT_EQ(clock.frequency, 0x7FFFFFFF);
  counter.readable = true;  // a counter that comes back later still cannot be converted
  EXPECT_EQ(clock.read(), 0u);
}

TEST(TickClock, SystemCounterAdvances) {
  comsrc::TickClock clock(1000.0);
  ASSERT_GT(clock.frequency, 0);
  ASSERT_NE(clock.frequency, 0x7FFFFFFF);
  const uint32_t a = clock.read();
  uint32_t b = a;
  for (int i = 0; i < 200000000 && b == a; ++i) b = clock.read();
  // Milliseconds: the first change is one step, unless the thread was descheduled meanwhile.
  EXPECT_GE(b - a, 1u);
  EXPECT_LT(b - a, 1000u);
}

TEST(ScreenMirrorSource, ConstructionAndFirstRefreshReportsTheWholeImage) {
  Rig rig(128, 96);
  EXPECT_EQ(*rig.source->captureRect(), (Rect{0, 0, 128, 96}));
  EXPECT_EQ(rig.source->bitmap(), nullptr);
  rig.shared->at(5, 7) = 0x00ABCDEF;

  EXPECT_EQ(rig.source->refresh(), 1);
  ASSERT_EQ(rig.list.added.size(), 1u);
  EXPECT_EQ(rig.list.added[0], (Rect{0, 0, 128, 96}));
  EXPECT_EQ(rig.acquirer.opens, 1);
  ASSERT_NE(rig.source->bitmap(), nullptr);
  EXPECT_EQ(rig.source->bitmap()->getWidth(), 128);
  EXPECT_EQ(rig.source->bitmap()->getHeight(), 96);
  EXPECT_EQ(rig.pixel(5, 7), 0x00ABCDEFu);
  EXPECT_EQ(rig.pixel(6, 7), 0x00102030u);
}

TEST(ScreenMirrorSource, CaptureRectangleOriginReachesTheBlit) {
  Rig rig(128, 96, Rect{32, 16, 96, 80});
  rig.shared->at(32, 16) = 0x00000001;
  rig.shared->at(95, 79) = 0x00000002;
  EXPECT_EQ(rig.source->refresh(), 1);
  EXPECT_EQ(rig.list.added[0], (Rect{0, 0, 64, 64}));
  EXPECT_EQ(rig.pixel(0, 0), 1u);
  EXPECT_EQ(rig.pixel(63, 63), 2u);
}

TEST(ScreenMirrorSource, CapturesAreAtLeast40msApart) {
  Rig rig;
  ASSERT_EQ(rig.source->refresh(), 1);
  rig.shared->at(0, 0) = 0x00FFFFFF;
  rig.shared->at(1, 1) = 0x00FFFFFF;
  EXPECT_EQ(rig.blitsAfter(39), 1);
  EXPECT_TRUE(rig.list.added.size() == 1);
  rig.counter.advanceMs(1);
  EXPECT_EQ(rig.source->refresh(), 1);
  EXPECT_EQ(rig.shared->blits, 2);
}

TEST(ScreenMirrorSource, CapturesThatTakeTimeAreSpacedFromStartToStartSoEveryFrameCaptures) {
  Rig rig;
  rig.shared->clock = &rig.counter;
  rig.shared->blitMs = 3;
  ASSERT_EQ(rig.source->refresh(), 1);
  for (int frame = 0; frame < 5; ++frame) {
    EXPECT_EQ(rig.blitsAfter(37), 2 + frame);  // 40 ms after the last capture began
  }
  EXPECT_EQ(rig.shared->blits, 6);
  EXPECT_EQ(rig.blitsAfter(36), 6);
}

TEST(ScreenMirrorSource, AStillScreenIsNotCapturedOnceTwoCapturesFollowedNoDrawing) {
  Rig rig;
  rig.shared->tracksDrawing = true;
  ASSERT_EQ(rig.source->refresh(), 1);
  EXPECT_EQ(rig.source->changePending(), Drawing::drawn);
  EXPECT_EQ(rig.refreshLater(), 0);  // the second capture compares the other half of the pairs
  EXPECT_EQ(rig.shared->blits, 2);
  EXPECT_EQ(rig.source->changePending(), Drawing::nothing);  // the main loop may wait for a drawing now
  EXPECT_EQ(rig.refreshLater(), 0);
  EXPECT_EQ(rig.refreshLater(), 0);
  EXPECT_EQ(rig.shared->blits, 2);

  // One pixel drawn where the next comparison does not look: the capture after it finds it.
  const int32_t pair = int32_t(rig.source->parity());  // the next comparison skips this pair in row 0
  rig.shared->at(2 * pair, 0) = 0x00FFFFFF;
  rig.shared->drawn = true;
  EXPECT_EQ(rig.source->changePending(), Drawing::drawn);
  EXPECT_EQ(rig.refreshLater(), 0);
  EXPECT_EQ(rig.refreshLater(), 1);
  EXPECT_EQ(rig.list.added, (std::vector<Rect>{Rect{0, 0, 32, 32}}));
  EXPECT_EQ(rig.refreshLater(), 0);
  EXPECT_EQ(rig.shared->blits, 4);
}

TEST(ScreenMirrorSource, TheDamagedAreaLimitsTheComparisonTwiceAndALostCaptureFailsTheRefresh) {
  Rig rig;
  rig.shared->tracksDrawing = rig.shared->tracksDamage = true;
  rig.shared->damage = Rect{0, 0, 128, 96};
  ASSERT_EQ(rig.source->refresh(), 1);
  rig.shared->damage = Rect{};
  EXPECT_EQ(rig.refreshLater(), 0);

  // Drawn in two tiles, damage reported around one: only that one is compared.
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) rig.shared->at(x, y) = rig.shared->at(100 + x, 70 + y) = 0x00FFFFFF;
  rig.shared->drawn = true;
  rig.shared->damage = Rect{98, 66, 110, 80};
  EXPECT_EQ(rig.refreshLater(), 1);
  EXPECT_EQ(rig.list.added, (std::vector<Rect>{Rect{96, 64, 128, 96}}));

  // A pixel the comparison skips in the damaged area: the capture after it, with nothing new
  // damaged, looks there again and finds it.
  const int32_t pair = int32_t(rig.source->parity());
  rig.shared->at(64 + 2 * pair, 32) = 0x00FFFFFF;
  rig.shared->drawn = true;
  rig.shared->damage = Rect{64, 32, 66, 33};
  EXPECT_EQ(rig.refreshLater(), 0);
  rig.shared->damage = Rect{};
  EXPECT_EQ(rig.refreshLater(), 1);
  EXPECT_EQ(rig.list.added, (std::vector<Rect>{Rect{64, 32, 96, 64}}));

  rig.shared->drawn = true;
  rig.shared->lost = true;
  EXPECT_EQ(rig.refreshLater(), failure(SourceFailure::captureLost));
}

TEST(ScreenMirrorSource, GateSurvivesTheMillisecondWrap) {
  Rig rig;
  rig.counter.setMs((int64_t{1} << 32) - 10);
  ASSERT_EQ(rig.source->refresh(), 1);
  EXPECT_EQ(rig.blitsAfter(20), 1);  // the reading is now 10
  EXPECT_EQ(rig.blitsAfter(20), 2);
}

TEST(ScreenMirrorSource, UnreadableCounterNeverCaptures) {
  Rig rig;
  rig.counter.readable = false;
  Rig broken;
  broken.counter.readable = false;
  broken.source = std::make_unique<ScreenMirrorSource>(broken.acquirer, broken.list, Rect{0, 0, 64, 64},
                                               std::make_unique<FakeScreen>(broken.shared), broken.counter);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(broken.refreshLater(), 0);
  EXPECT_EQ(broken.shared->blits, 0);
  EXPECT_EQ(broken.source->bitmap(), nullptr);
}

TEST(ScreenMirrorSource, UnchangedScreenReportsNothing) {
  Rig rig;
  ASSERT_EQ(rig.source->refresh(), 1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rig.refreshLater(), 0);
    EXPECT_TRUE(rig.list.added.empty());
  }
}

TEST(ScreenMirrorSource, SinglePixelFoundByTheFirstOrSecondRefreshAsItsPairAndRowSay) {
  const int32_t positions[][2] = {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {31, 31}, {30, 2}, {64, 33}, {77, 50}, {100, 95}};
  for (const auto& pos : positions) {
    for (int extra = 0; extra < 2; ++extra) {  // start from either parity
      Rig rig(128, 96);
      ASSERT_EQ(rig.source->refresh(), 1);
      for (int i = 0; i < extra; ++i) ASSERT_EQ(rig.refreshLater(), 0);
      const int32_t x = pos[0], y = pos[1];
      rig.shared->at(x, y) = 0x01102030;  // only the unused byte differs: still a change
      const uint32_t nextParity = rig.source->parity() ^ 1;
      const bool firstSees = ((x % 32) / 2) % 2 == int32_t((nextParity + uint32_t(y % 32)) % 2);
      const Rect tile{x / 32 * 32, y / 32 * 32, x / 32 * 32 + 32, y / 32 * 32 + 32};
      const int32_t first = rig.refreshLater();
      SCOPED_TRACE(testing::Message() << "pixel " << x << "," << y << " parity " << nextParity);
      if (firstSees) {
        EXPECT_EQ(first, 1);
        ASSERT_EQ(rig.list.added.size(), 1u);
        EXPECT_EQ(rig.list.added[0], tile);
        // The change lasts, but both images now hold it.
        EXPECT_EQ(rig.refreshLater(), 0);
      } else {
        EXPECT_EQ(first, 0);
        EXPECT_EQ(rig.refreshLater(), 1);
        ASSERT_EQ(rig.list.added.size(), 1u);
        EXPECT_EQ(rig.list.added[0], tile);
      }
    }
  }
}

TEST(ScreenMirrorSource, LastColumnOfAnOddWidthTileIsNeverCompared) {
  Rig rig(45, 40);
  ASSERT_EQ(rig.source->refresh(), 1);
  rig.shared->at(44, 3) = 0x00FFFFFF;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(rig.refreshLater(), 0);
  rig.shared->at(43, 3) = 0x00FFFFFF;  // its neighbour is in a pair
  rig.shared->at(43, 4) = 0x00FFFFFF;
  EXPECT_EQ(rig.refreshLater(), 1);
  EXPECT_EQ(rig.list.added[0], (Rect{32, 0, 64, 32}));
}

TEST(ScreenMirrorSource, RunsOfChangedTilesBecomeOneRectangleEach) {
  Rig rig(160, 96);
  ASSERT_EQ(rig.source->refresh(), 1);
  // A 2 × 2 block is seen whatever the parity.
  for (int32_t tileX : {0, 32, 96})
    for (int32_t dy = 0; dy < 2; ++dy)
      for (int32_t dx = 0; dx < 2; ++dx) rig.shared->at(tileX + 10 + dx, 40 + dy) = 0x00FFFFFF;
  EXPECT_EQ(rig.refreshLater(), 2);
  ASSERT_EQ(rig.list.added.size(), 2u);
  EXPECT_EQ(rig.list.added[0], (Rect{0, 32, 64, 64}));
  EXPECT_EQ(rig.list.added[1], (Rect{96, 32, 128, 64}));
}

TEST(ScreenMirrorSource, RunAtTheRightEdgeEndsAtTheNextMultipleOf32) {
  Rig rig(100, 70);
  ASSERT_EQ(rig.source->refresh(), 1);
  for (int32_t dy = 0; dy < 2; ++dy)
    for (int32_t dx = 0; dx < 2; ++dx) rig.shared->at(96 + dx, 66 + dy) = 0;
  EXPECT_EQ(rig.refreshLater(), 1);
  ASSERT_EQ(rig.list.added.size(), 1u);
  EXPECT_EQ(rig.list.added[0], (Rect{96, 64, 128, 96}));
}

TEST(ScreenMirrorSource, EveryChangedTileOfAFullChangeIsOneRunPerBand) {
  Rig rig(128, 80);
  ASSERT_EQ(rig.source->refresh(), 1);
  for (auto& p : rig.shared->pixels) p = 0x00FFFFFF;
  EXPECT_EQ(rig.refreshLater(), 3);
  EXPECT_EQ(rig.list.added[2], (Rect{0, 64, 128, 96}));
  EXPECT_EQ(rig.pixel(127, 79), 0x00FFFFFFu);
}

TEST(ScreenMirrorSource, NoScreenContextEvenAfterReopenGivesMinus2) {
  Rig rig;
  rig.acquirer.openable = false;
  EXPECT_EQ(rig.source->refresh(), failure(SourceFailure::noScreenContext));
  EXPECT_EQ(rig.acquirer.opens, 1);
  EXPECT_EQ(rig.shared->blits, 0);
  EXPECT_TRUE(rig.list.added.empty());
  rig.acquirer.openable = true;  // the source stays usable
  EXPECT_EQ(rig.source->refresh(), 1);
}

TEST(ScreenMirrorSource, FailedBitmapCreationLeavesNoneAndTheNextRefreshRetries) {
  for (int failing : {0, 1}) {
    Rig rig;
    rig.shared->failCreationAt = failing;
    EXPECT_EQ(rig.source->refresh(), failure(SourceFailure::unavailable));
    EXPECT_EQ(rig.source->bitmap(), nullptr);
    EXPECT_EQ(rig.shared->blits, 0);
    EXPECT_EQ(rig.source->refresh(), 1);
    EXPECT_NE(rig.source->bitmap(), nullptr);
  }
  Rig empty(64, 64);
  empty.source = std::make_unique<ScreenMirrorSource>(empty.acquirer, empty.list, Rect{10, 10, 10, 50},
                                              std::make_unique<FakeScreen>(empty.shared), empty.counter);
  EXPECT_EQ(empty.source->refresh(), failure(SourceFailure::unavailable));
}

TEST(ScreenMirrorSource, PixelsLentOutDuringACompareReportTheWholeImage) {
  Rig rig(64, 64);
  ASSERT_EQ(rig.source->refresh(), 1);
  comsrc::DIBitmap* held = rig.source->bitmap();
  ASSERT_NE(held->lockPixels(), nullptr);
  EXPECT_EQ(rig.refreshLater(), 0);  // the held image is not written yet
  EXPECT_EQ(rig.refreshLater(), 1);  // now it would receive the capture
  EXPECT_EQ(rig.list.added[0], (Rect{0, 0, 64, 64}));
  EXPECT_EQ(held->unlockPixels(), 0);
  EXPECT_EQ(rig.refreshLater(), 0);
}

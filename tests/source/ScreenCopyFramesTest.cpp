// The screen copy's frame account through one request: a first frame that does not come, a
// frame with its damage, new buffers mid-stream, a frame without damage.
#include <gtest/gtest.h>

#include "source/ScreenCopyFrames.h"

namespace {

TEST(ScreenCopyFrames, FirstFrameWaitedForOnceAndNewBuffersWhollyChanged) {
  const comsrc::Rect all{0, 0, 800, 600}, square{10, 20, 40, 50};
  ScreenCopyFrames frames;
  frames.restart();
  // The first copy is due and waits once; while no frame comes, nothing more is drawn.
  EXPECT_EQ(frames.drawing(), Drawing::drawn);
  EXPECT_TRUE(frames.waitForFirst());
  EXPECT_FALSE(frames.waitForFirst());
  EXPECT_EQ(frames.drawing(), Drawing::nothing);

  EXPECT_EQ(frames.arrived(square, all, false), all) << "the first frame is wholly new";
  EXPECT_EQ(frames.drawing(), Drawing::drawn);
  EXPECT_EQ(frames.take(), all);
  EXPECT_EQ(frames.drawing(), Drawing::nothing);
  EXPECT_EQ(frames.arrived(square, all, false), square);
  EXPECT_EQ(frames.arrived(comsrc::Rect{0, 0, 1, 1}, all, false), (comsrc::Rect{0, 0, 1, 1}));
  EXPECT_EQ(frames.take(), (comsrc::Rect{0, 0, 40, 50})) << "both frames since the last copy";

  // New buffers (a new stride or format at the same size): their first frame is wholly new.
  frames.buffersRemade();
  EXPECT_EQ(frames.arrived(square, all, false), all);
  EXPECT_EQ(frames.arrived(square, all, false), square);
  EXPECT_EQ(frames.arrived(comsrc::Rect{}, all, false), all) << "no damage reported";
  EXPECT_EQ(frames.arrived(square, all, true), all) << "a turned frame";

  // Another area: the first frame is waited for again.
  frames.restart();
  EXPECT_TRUE(frames.waitForFirst());
  EXPECT_EQ(frames.take(), comsrc::Rect{});
}

}  // namespace

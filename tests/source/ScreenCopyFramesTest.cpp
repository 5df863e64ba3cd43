// The screen copy's account of one request's frames: a first frame that does not come, frames
// with their damage, new buffers mid-stream.
#include <gtest/gtest.h>

#include "source/ScreenCopyFrames.h"

TEST(ScreenCopyFrames, FirstFrameWaitedForOnceAndNewBuffersWhollyChanged) {
  const comsrc::Rect all{0, 0, 800, 600}, square{10, 20, 40, 50}, dot{0, 0, 1, 1};
  ScreenCopyFrames frames;
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
  EXPECT_EQ(frames.arrived(dot, all, false), dot);
  EXPECT_EQ(frames.take(), (comsrc::Rect{0, 0, 40, 50})) << "both frames since the last copy";
  // New buffers (a new stride or format at the same size): their first frame is wholly new.
  frames.buffersRemade();
  EXPECT_EQ(frames.arrived(square, all, false), all);
  EXPECT_EQ(frames.arrived(square, all, false), square);
  EXPECT_EQ(frames.arrived(comsrc::Rect{}, all, false), all) << "no damage reported";
}

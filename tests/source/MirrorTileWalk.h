#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "SourceFakes.h"
#include "comsrc/Rect.h"
#include "source/ScreenMirrorSource.h"

namespace vltest {

// What every platform's mirror must find after its whole first capture, 40 ms apart: nothing on
// a still screen, a solid rectangle (`fillWhite` of 70 × 40 at 100, 50) at once in every pair of
// its tiles, and a pixel (`pointBlue`) in a pair the next comparison skips one comparison later.
inline void walkDrawnTiles(ScreenMirrorSource& source, RecordingList& list, FakeCounter& counter,
                           const std::function<void()>& fillWhite, const std::function<void(int, int)>& pointBlue) {
  const auto later = [&] {
    counter.advanceMs(40);
    list.added.clear();
    return source.refresh();
  };
  const auto rgbAt = [&](int x, int y) { return pixelAt(*source.bitmap(), x, y) & 0xFFFFFF; };
  EXPECT_EQ(later(), 0);
  EXPECT_EQ(later(), 0);
  EXPECT_TRUE(list.added.empty());

  fillWhite();
  EXPECT_EQ(later(), 2);
  ASSERT_EQ(list.added.size(), 2u);
  EXPECT_EQ(list.added[0], (comsrc::Rect{96, 32, 192, 64}));
  EXPECT_EQ(list.added[1], (comsrc::Rect{96, 64, 192, 96}));
  EXPECT_EQ(rgbAt(169, 89), 0xFFFFFFu);
  EXPECT_EQ(later(), 0);

  const uint32_t next = source.parity() ^ 1;
  const int y = 200 + int(next);  // row 8 or 9 of its tile: starts at pair (next + row) mod 2
  const int x = 322;              // pair 1 of its tile: skipped when the row starts at pair 0
  pointBlue(x, y);
  EXPECT_EQ(later(), 0);
  EXPECT_EQ(later(), 1);
  ASSERT_EQ(list.added.size(), 1u);
  EXPECT_EQ(list.added[0], (comsrc::Rect{320, 192, 352, 224}));
  EXPECT_EQ(rgbAt(x, y), 0x0000FFu);
  EXPECT_EQ(later(), 0);
}

}  // namespace vltest

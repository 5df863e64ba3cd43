#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "comsrc/RectList.h"

using comsrc::Rect;
using comsrc::RectList;

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

std::vector<Rect> entries(RectList& list) {
  std::vector<Rect> out;
  for (uint32_t i = 0; i < list.count(); ++i) out.push_back(*list.at(i));
  return out;
}

// Counts chunk allocations and can refuse them, as an exhausted heap would.
class ProbedList : public RectList {
 public:
  int chunksMade = 0;
  bool refuse = false;
  int collapses = 0;

  int32_t collapseToBounds() override {
    ++collapses;
    return RectList::collapseToBounds();
  }

 protected:
  Chunk* newChunk() override {
    if (refuse) return nullptr;
    ++chunksMade;
    return RectList::newChunk();
  }
};

bool overlaps(const Rect& a, const Rect& b) {
  return std::min<int64_t>(a.right, b.right) > std::max<int64_t>(a.left, b.left) &&
         std::min<int64_t>(a.bottom, b.bottom) > std::max<int64_t>(a.top, b.top);
}

}  // namespace

TEST(RectListAdd, AlignsToTheSixteenPixelGrid) {
  RectList list;
  EXPECT_EQ(list.add({3, 5, 20, 17}), 0);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 32, 32}}));
  EXPECT_EQ(*list.bounds(), (Rect{0, 0, 32, 32}));
}

TEST(RectListAdd, EmptyOrCoveredRectanglesStoreNothing) {
  RectList list;
  EXPECT_EQ(list.add({10, 10, 10, 20}), 0);
  EXPECT_EQ(list.add({30, 10, 20, 20}), 0);
  EXPECT_EQ(list.count(), 0u);
  ASSERT_EQ(list.add({0, 0, 64, 64}), 0);
  EXPECT_EQ(list.add({17, 17, 40, 40}), 0);
  EXPECT_EQ(list.add({0, 0, 64, 64}), 0);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 64, 64}}));
}

TEST(RectListAdd, ARectangleContainingAnEntryEmptiesItInPlace) {
  RectList list;
  ASSERT_EQ(list.add({16, 16, 32, 32}), 0);
  ASSERT_EQ(list.add({0, 0, 64, 64}), 0);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 0, 0}, {0, 0, 64, 64}}));
  list.compact();
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 64, 64}}));
}

TEST(RectListAdd, PartialOverlapStoresOnlyTheUncoveredPieces) {
  RectList list;
  ASSERT_EQ(list.add({0, 0, 32, 16}), 0);
  ASSERT_EQ(list.add({16, 0, 48, 16}), 0);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 32, 16}, {32, 0, 48, 16}}));

  // A bar across another: the right and the left piece remain.
  RectList bars;
  ASSERT_EQ(bars.add({32, 0, 64, 96}), 0);
  ASSERT_EQ(bars.add({0, 32, 96, 64}), 0);
  EXPECT_EQ(entries(bars), (std::vector<Rect>{{32, 0, 64, 96}, {64, 32, 96, 64}, {0, 32, 32, 64}}));

  // Pieces that overlap each other are cut again, in top, right, bottom, left order.
  RectList pieces;
  ASSERT_EQ(pieces.add({32, 32, 64, 64}), 0);
  ASSERT_EQ(pieces.add({0, 0, 96, 48}), 0);
  EXPECT_EQ(entries(pieces), (std::vector<Rect>{{32, 32, 64, 64}, {0, 0, 96, 32}, {64, 32, 96, 48}, {0, 32, 32, 48}}));
}

TEST(RectListAdd, RectanglesReachingIntoNegativeCoordinatesFinish) {
  RectList list;
  ASSERT_EQ(list.add({0, 0, 640, 480}), 0);
  EXPECT_EQ(list.add({-20, 0, 380, 240}), 0);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 640, 480}}));

  EXPECT_EQ(list.add({-20, -20, 700, 100}), 0);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 640, 480}, {640, 0, 704, 112}}));

  // Wholly in negative coordinates: no pixel, nothing stored.
  EXPECT_EQ(list.add({-100, -100, -1, -1}), 0);
  EXPECT_EQ(list.add({-100, 10, 0, 20}), 0);
  EXPECT_EQ(list.count(), 2u);

  RectList fresh;
  ASSERT_EQ(fresh.add({-20, -5, 5, 17}), 0);
  EXPECT_EQ(entries(fresh), (std::vector<Rect>{{0, 0, 16, 32}}));
}

TEST(RectListAdd, CoordinatesAtTheThirtyTwoBitLimitsNeitherOverflowNorLoop) {
  RectList list;
  ASSERT_EQ(list.add({0, 0, 640, 480}), 0);
  ASSERT_EQ(list.add({kMin, kMin, kMax, kMax}), 0);
  for (const Rect& e : entries(list)) {
    if (e.isEmpty()) continue;
    EXPECT_GE(e.left, 0);
    EXPECT_EQ(e.right % 16, 0);
    EXPECT_EQ(e.bottom % 16, 0);
  }
  EXPECT_EQ(list.intersects({kMax - 100, kMax - 100, kMax, kMax}), 1);
  EXPECT_EQ(list.add({kMax - 5, 0, kMax, 10}), 0);
  EXPECT_EQ(list.add({kMax - 40, kMax - 40, kMax, kMax}), 0);

  RectList far;
  ASSERT_EQ(far.append({kMin, kMin, kMax, kMax}), 0);
  far.acceptAppended();
  EXPECT_EQ(far.add({kMax - 40, 5, kMax - 1, 30}), 0);
  EXPECT_EQ(far.count(), 1u);
  EXPECT_EQ(far.scrollCopy({kMin, kMin, kMax, kMax}, kMax, kMax), 0);
  EXPECT_EQ(far.mergeRepeatedly(UINT32_MAX), 0);
}

TEST(RectListAdd, EntriesWrittenOffTheGridDoNotMakeItRecurseForever) {
  RectList list;
  ASSERT_EQ(list.append({0, 0, 16, 16}), 0);
  *list.at(0) = Rect{5, 0, 40, 16};
  EXPECT_EQ(list.add({0, 0, 32, 16}), 0);
  bool covered = false;
  for (const Rect& e : entries(list)) covered |= e.left <= 0 && e.right >= 5;
  EXPECT_TRUE(covered);
}

TEST(RectListAdd, MoreThanTheLimitCollapsesToTheBoundingBox) {
  RectList list;
  for (int32_t i = 0; i < 257; ++i) ASSERT_EQ(list.add({(i % 40) * 32, (i / 40) * 32, (i % 40) * 32 + 16, (i / 40) * 32 + 16}), 0);
  ASSERT_EQ(list.count(), 257u);
  const Rect box = *list.bounds();
  EXPECT_EQ(box, (Rect{0, 0, 40 * 32 - 16, 6 * 32 + 16}));
  ASSERT_EQ(list.add({16, 16, 32, 32}), 0);
  EXPECT_EQ(entries(list), (std::vector<Rect>{box}));

  // Emptied entries count toward the limit too.
  RectList emptied;
  for (int32_t i = 0; i < 256; ++i) ASSERT_EQ(emptied.add({i * 16, 0, i * 16 + 16, 16}), 0);
  ASSERT_EQ(emptied.add({0, 0, 4096, 16}), 0);  // empties all 256, stores one more
  ASSERT_EQ(emptied.count(), 257u);
  ASSERT_EQ(emptied.add({0, 32, 16, 48}), 0);
  EXPECT_EQ(entries(emptied), (std::vector<Rect>{{0, 0, 4096, 16}, {0, 32, 16, 48}}));
}

TEST(RectListAppend, StoresAsGivenAndHoldsOffMergingUntilAccepted) {
  RectList list;
  ASSERT_EQ(list.append({0, 0, 16, 16}), 0);
  ASSERT_EQ(list.append({3, 3, 20, 20}), 0);
  ASSERT_EQ(list.append({48, 48, 32, 64}), 0);  // empty: left beyond right
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 16, 16}, {0, 0, 32, 32}, {48, 48, 32, 64}}));
  EXPECT_EQ(*list.bounds(), (Rect{0, 0, 32, 32}));
  EXPECT_EQ(list.mergeOnce(), -1);
  EXPECT_EQ(list.splitToTiles(16), -1);
  list.acceptAppended();
  EXPECT_EQ(list.mergeOnce(), 0);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 16, 16}, {0, 0, 32, 32}}));

  // An add that appends internally leaves the count of outside appends alone.
  RectList added;
  ASSERT_EQ(added.add({0, 0, 16, 16}), 0);
  EXPECT_EQ(added.mergeOnce(), 0);
  ASSERT_EQ(added.append({64, 0, 80, 16}), 0);
  EXPECT_EQ(added.mergeOnce(), -1);
  added.clear();
  EXPECT_EQ(added.mergeOnce(), 0);
}

TEST(RectListMerge, JoinsEdgeNeighboursOnePairAtATime) {
  RectList list;
  ASSERT_EQ(list.add({0, 0, 16, 16}), 0);
  ASSERT_EQ(list.add({16, 0, 32, 16}), 0);
  EXPECT_EQ(list.mergeOnce(), 1);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 32, 16}}));
  EXPECT_EQ(list.mergeOnce(), 0);

  RectList column;
  for (int32_t y : {32, 0, 16, 64}) ASSERT_EQ(column.add({0, y, 16, y + 16}), 0);
  EXPECT_EQ(column.mergeRepeatedly(0), 0);
  EXPECT_EQ(column.count(), 4u);
  EXPECT_EQ(column.mergeRepeatedly(1), 1);
  EXPECT_EQ(column.count(), 3u);
  EXPECT_EQ(column.mergeRepeatedly(UINT32_MAX), 0);
  EXPECT_EQ(entries(column), (std::vector<Rect>{{0, 64, 16, 80}, {0, 0, 16, 48}}));
}

TEST(RectListMerge, EmptiedEntriesAreDroppedNotJoined) {
  RectList list;
  ASSERT_EQ(list.add({0, 0, 16, 16}), 0);
  ASSERT_EQ(list.add({32, 0, 48, 16}), 0);
  ASSERT_EQ(list.add({0, 0, 64, 16}), 0);
  ASSERT_EQ(list.count(), 3u);
  EXPECT_EQ(list.mergeOnce(), 0);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 64, 16}}));
}

TEST(RectListSplit, CutsLargeEntriesIntoTilesInRowOrder) {
  RectList list;
  ASSERT_EQ(list.add({0, 0, 48, 48}), 0);
  EXPECT_EQ(list.splitToTiles(32), 0);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 32, 32}, {32, 0, 48, 32}, {0, 32, 32, 48}, {32, 32, 48, 48}}));

  // A size off the grid still finishes with tiles that do not overlap.
  RectList odd;
  ASSERT_EQ(odd.add({0, 0, 64, 64}), 0);
  EXPECT_EQ(odd.splitToTiles(20), 0);
  EXPECT_EQ(odd.count(), 4u);
  EXPECT_EQ(odd.splitToTiles(0), -1);
}

TEST(RectListIndex, RemoveClearAndCompactKeepTheOrder) {
  RectList list;
  for (int32_t i = 0; i < 5; ++i) ASSERT_EQ(list.add({i * 32, 0, i * 32 + 16, 16}), 0);
  EXPECT_EQ(list.removeAt(1), 0);
  EXPECT_EQ(list.clearAt(2), 0);
  EXPECT_EQ(list.removeAt(4), -1);
  EXPECT_EQ(list.clearAt(4), -1);
  EXPECT_EQ(list.at(4), nullptr);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 16, 16}, {64, 0, 80, 16}, {0, 0, 0, 0}, {128, 0, 144, 16}}));
  EXPECT_EQ(list.compact(), 0);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 16, 16}, {64, 0, 80, 16}, {128, 0, 144, 16}}));
  EXPECT_EQ(*list.bounds(), (Rect{0, 0, 144, 16}));
}

TEST(RectListIndex, ChunksHoldAThousandTwentyFourEntriesThatNeverMove) {
  ProbedList list;
  ASSERT_EQ(list.append({0, 0, 16, 16}), 0);
  const Rect* first = list.at(0);
  for (int32_t i = 1; i < 1024; ++i) ASSERT_EQ(list.append({i * 16, 0, i * 16 + 16, 16}), 0);
  EXPECT_EQ(list.chunksMade, 1);
  ASSERT_EQ(list.append({0, 16, 16, 32}), 0);
  EXPECT_EQ(list.chunksMade, 2);
  ASSERT_NE(list.at(1024), nullptr);
  EXPECT_EQ(*list.at(1024), (Rect{0, 16, 16, 32}));
  EXPECT_EQ(list.at(0), first);
  EXPECT_EQ(list.at(1025), nullptr);

  // Entries removed from the first chunk shift the numbering into the second.
  ASSERT_EQ(list.removeAt(0), 0);
  EXPECT_EQ(*list.at(1023), (Rect{0, 16, 16, 32}));
  EXPECT_EQ(*list.at(0), (Rect{16, 0, 32, 16}));

  // A first chunk that was emptied is given back before the next store.
  for (int32_t i = 0; i < 1023; ++i) ASSERT_EQ(list.removeAt(0), 0);
  ASSERT_EQ(list.append({0, 32, 16, 48}), 0);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 16, 16, 32}, {0, 32, 16, 48}}));
  EXPECT_EQ(list.chunksMade, 2);

  EXPECT_EQ(list.clear(), 0);
  EXPECT_EQ(list.count(), 0u);
  EXPECT_EQ(list.at(0), nullptr);
  EXPECT_EQ(*list.bounds(), (Rect{}));
  ASSERT_EQ(list.append({32, 32, 48, 48}), 0);
  EXPECT_EQ(list.chunksMade, 2);  // a cleared list keeps one chunk for the next frame
  EXPECT_EQ(entries(list), (std::vector<Rect>{{32, 32, 48, 48}}));
  EXPECT_EQ(*list.bounds(), (Rect{32, 32, 48, 48}));
}

TEST(RectListIndex, BoundsRestartOnlyWhenTheListHeldNoEntries) {
  RectList list;
  ASSERT_EQ(list.add({0, 0, 16, 16}), 0);
  ASSERT_EQ(list.add({64, 64, 80, 80}), 0);
  ASSERT_EQ(list.removeAt(1), 0);
  EXPECT_EQ(*list.bounds(), (Rect{0, 0, 80, 80}));
  ASSERT_EQ(list.removeAt(0), 0);
  ASSERT_EQ(list.add({32, 32, 48, 48}), 0);
  EXPECT_EQ(*list.bounds(), (Rect{32, 32, 48, 48}));
  EXPECT_EQ(list.collapseToBounds(), 0);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{32, 32, 48, 48}}));
}

TEST(RectListOutOfMemory, FailsWithoutChangingTheList) {
  ProbedList list;
  list.refuse = true;
  EXPECT_EQ(list.append({0, 0, 16, 16}), -1);
  EXPECT_EQ(list.add({0, 0, 16, 16}), -1);
  EXPECT_EQ(list.count(), 0u);
  EXPECT_EQ(list.mergeOnce(), 0);  // the failed stores did not count as outside appends

  // A merge that needs a new chunk keeps both halves when none is to be had.
  list.refuse = false;
  ASSERT_EQ(list.append({0, 0, 16, 16}), 0);
  ASSERT_EQ(list.append({16, 0, 32, 16}), 0);
  for (int32_t i = 2; i < 1024; ++i) ASSERT_EQ(list.append({i * 64, 64, i * 64 + 16, 80}), 0);
  list.acceptAppended();
  list.refuse = true;
  EXPECT_EQ(list.mergeOnce(), -1);
  EXPECT_EQ(list.count(), 1024u);
  EXPECT_EQ(*list.at(0), (Rect{0, 0, 16, 16}));
  EXPECT_EQ(*list.at(1), (Rect{16, 0, 32, 16}));
  EXPECT_EQ(list.splitToTiles(16), -1);
  list.refuse = false;
  EXPECT_EQ(list.mergeOnce(), 1);
  EXPECT_EQ(list.count(), 1023u);
}

TEST(RectListQuery, IntersectsNeedsPositiveOverlap) {
  RectList list;
  ASSERT_EQ(list.add({16, 16, 32, 32}), 0);
  EXPECT_EQ(list.intersects({31, 31, 40, 40}), 1);
  EXPECT_EQ(list.intersects({32, 16, 48, 32}), 0);
  EXPECT_EQ(list.intersects({0, 0, 16, 16}), 0);
  EXPECT_EQ(list.intersects({20, 20, 20, 30}), 0);
}

TEST(RectListQuery, ScrollCopyAlsoVisitsWhatItAdds) {
  RectList list;
  ASSERT_EQ(list.add({0, 0, 16, 16}), 0);
  EXPECT_EQ(list.scrollCopy({0, 0, 64, 16}, 16, 0), 0);
  EXPECT_EQ(entries(list), (std::vector<Rect>{{0, 0, 16, 16}, {16, 0, 32, 16}, {32, 0, 48, 16}, {48, 0, 64, 16}, {64, 0, 80, 16}}));

  RectList still;
  ASSERT_EQ(still.add({0, 0, 64, 64}), 0);
  EXPECT_EQ(still.scrollCopy({0, 0, 640, 480}, 0, 0), 0);
  EXPECT_EQ(still.count(), 1u);
  EXPECT_EQ(still.scrollCopy({0, 0, 640, 480}, -1000, 0), 0);
  EXPECT_EQ(still.count(), 1u);
}

// After any sequence of adds: entries lie on the grid, never overlap, and cover every added
// pixel at a non-negative coordinate; while the list never collapsed, they cover nothing else.
TEST(RectListProperty, AddsKeepEntriesDisjointAlignedAndCovering) {
  constexpr int kCells = 64;  // 16-pixel cells; added rectangles stay below 1024
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int32_t> pos(-60, 660), size(0, seed % 3 == 0 ? 300 : 60);
    ProbedList list;
    std::vector<uint8_t> added(kCells * kCells, 0);
    const int adds = 20 + static_cast<int>(seed % 5) * 40;
    for (int n = 0; n < adds; ++n) {
      const int32_t l = pos(rng), t = pos(rng);
      const Rect r{l, t, l + size(rng), t + size(rng)};
      ASSERT_EQ(list.add(r), 0);
      if (!r.isEmpty() && r.right > 0 && r.bottom > 0) {
        for (int32_t cy = std::max(r.top, 0) / 16; cy <= (r.bottom - 1) / 16; ++cy)
          for (int32_t cx = std::max(r.left, 0) / 16; cx <= (r.right - 1) / 16; ++cx) added[cy * kCells + cx] = 1;
      }

      std::vector<uint8_t> covered(kCells * kCells, 0);
      for (const Rect& e : entries(list)) {
        if (e.isEmpty()) continue;
        ASSERT_TRUE(e.left % 16 == 0 && e.top % 16 == 0 && e.right % 16 == 0 && e.bottom % 16 == 0)
            << "seed " << seed << " entry " << e.left << "," << e.top << "," << e.right << "," << e.bottom;
        ASSERT_GE(e.left, 0);
        ASSERT_GE(e.top, 0);
        ASSERT_LE(e.right, kCells * 16);
        ASSERT_LE(e.bottom, kCells * 16);
        for (int32_t cy = e.top / 16; cy < e.bottom / 16; ++cy)
          for (int32_t cx = e.left / 16; cx < e.right / 16; ++cx) {
            ASSERT_EQ(covered[cy * kCells + cx], 0) << "seed " << seed << ": entries overlap at cell " << cx << "," << cy;
            covered[cy * kCells + cx] = 1;
          }
      }
      for (int c = 0; c < kCells * kCells; ++c) {
        ASSERT_TRUE(!added[c] || covered[c]) << "seed " << seed << ": added cell " << c << " lost";
        ASSERT_TRUE(list.collapses > 0 || !covered[c] || added[c]) << "seed " << seed << ": cell " << c << " invented";
      }
    }
  }
}

TEST(RectListProperty, ExtremeRectanglesKeepTheInvariants) {
  std::mt19937 rng(7);
  const int32_t edges[] = {kMin, kMin + 1, -17, -1, 0, 1, 15, 16, 17, 640, kMax - 16, kMax - 15, kMax - 1, kMax};
  std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(edges)) - 1);
  RectList list;
  for (int n = 0; n < 400; ++n) {
    const Rect r{edges[pick(rng)], edges[pick(rng)], edges[pick(rng)], edges[pick(rng)]};
    ASSERT_EQ(list.add(r), 0);
    const std::vector<Rect> all = entries(list);
    for (size_t i = 0; i < all.size(); ++i) {
      if (all[i].isEmpty()) continue;
      ASSERT_GE(all[i].left, 0);
      ASSERT_EQ(all[i].right % 16, 0);
      for (size_t j = i + 1; j < all.size(); ++j) ASSERT_FALSE(!all[j].isEmpty() && overlaps(all[i], all[j]));
    }
  }
}

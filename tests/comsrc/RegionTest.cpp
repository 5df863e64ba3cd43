// Runs against the platform's region: pixman natively, GDI in the Windows build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "comsrc/Region.h"

using comsrc::Rect;
using comsrc::Region;

namespace {

std::vector<Rect> rectsOf(const Region& r) {
  std::vector<Rect> buf(4096);
  const int32_t n = r.rectangles(buf.data(), static_cast<uint32_t>(buf.size() * sizeof(Rect)));
  EXPECT_GE(n, 0);
  buf.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return buf;
}

Region regionOf(std::initializer_list<Rect> rects) {
  Region r;
  for (const Rect& rect : rects) r.unite(rect);
  return r;
}

int64_t area(const std::vector<Rect>& rects) {
  int64_t sum = 0;
  for (const Rect& r : rects) sum += int64_t{r.width()} * r.height();
  return sum;
}

// n separate 1 x 1 squares on a diagonal-free grid, one per band and column.
Region scattered(int n) {
  Region r;
  for (int i = 0; i < n; ++i) r.unite(Rect{(i % 16) * 4, (i / 16) * 4, (i % 16) * 4 + 2, (i / 16) * 4 + 2});
  return r;
}

}  // namespace

TEST(Region, ANewRegionIsEmptyAndHasNoHandle) {
  Region r;
  EXPECT_TRUE(r.isEmpty());
  EXPECT_EQ(r.handle(), nullptr);
  EXPECT_EQ(r.rectangles(nullptr, 0), 0);
  EXPECT_EQ(*r.boundingBox(), (Rect{}));
}

TEST(Region, UnionOfNeighboursIsOneRectangle) {
  Region r;
  r.unite(Rect{0, 0, 10, 10});
  EXPECT_NE(r.handle(), nullptr);
  EXPECT_EQ(r.uniteRect({10, 0, 20, 10}), Region::kSimpleRegion);
  EXPECT_EQ(*r.boundingBox(), (Rect{0, 0, 20, 10}));
  EXPECT_EQ(rectsOf(r), (std::vector<Rect>{{0, 0, 20, 10}}));
  EXPECT_FALSE(r.isEmpty());
  EXPECT_EQ(r.uniteRect({40, 40, 50, 50}), Region::kComplexRegion);
  EXPECT_EQ(*r.boundingBox(), (Rect{0, 0, 50, 50}));
}

TEST(Region, RectanglesComeInBandsFromTopToBottom) {
  Region r = regionOf({{0, 0, 20, 10}, {10, 5, 30, 15}});
  EXPECT_EQ(rectsOf(r), (std::vector<Rect>{{0, 0, 20, 5}, {0, 5, 30, 10}, {10, 10, 30, 15}}));
  r.subtract(Rect{5, 0, 25, 15});
  EXPECT_EQ(rectsOf(r), (std::vector<Rect>{{0, 0, 5, 5}, {0, 5, 5, 10}, {25, 5, 30, 10}, {25, 10, 30, 15}}));
}

TEST(Region, ExclusiveOrWithItselfEmptiesButKeepsTheHandle) {
  Region r = regionOf({{0, 0, 10, 10}, {20, 20, 30, 40}});
  EXPECT_EQ(r.xorRegion(r), Region::kNullRegion);
  EXPECT_NE(r.handle(), nullptr);
  EXPECT_TRUE(r.isEmpty());
  EXPECT_EQ(r.rectangles(nullptr, 0), -1);  // a handle needs room for the header
  uint8_t header[32];
  EXPECT_EQ(r.rectangles(header, sizeof(header)), 0);
  EXPECT_EQ(r.rectangles(header, sizeof(header) - 1), -1);
  EXPECT_EQ(*r.boundingBox(), (Rect{}));

  Region a = regionOf({{0, 0, 20, 20}});
  a.xorWith(Rect{10, 10, 30, 30});
  EXPECT_EQ(rectsOf(a), (std::vector<Rect>{{0, 0, 20, 10}, {0, 10, 10, 20}, {20, 10, 30, 20}, {10, 20, 30, 30}}));
  Region none;
  EXPECT_EQ(none.xorRegion(a), Region::kComplexRegion);
  EXPECT_TRUE(none.equals(a));
}

TEST(Region, HandlelessOperandsClearOrLeaveAlone) {
  Region r = regionOf({{0, 0, 10, 10}});
  Region none;
  EXPECT_EQ(r.intersectRegion(none), 0);
  EXPECT_EQ(r.handle(), nullptr);

  Region s;
  s.subtract(Rect{0, 0, 10, 10});
  EXPECT_EQ(s.handle(), nullptr);
  s.subtract(regionOf({{0, 0, 5, 5}}));
  EXPECT_EQ(s.handle(), nullptr);

  Region t = regionOf({{0, 0, 10, 10}});
  t.subtract(none).unite(none).xorWith(none);
  EXPECT_EQ(rectsOf(t), (std::vector<Rect>{{0, 0, 10, 10}}));
  EXPECT_EQ(t.copyFrom(none), 0);
  EXPECT_EQ(t.handle(), nullptr);

  // An empty rectangle still makes a handle; intersecting with it empties the region.
  Region u = regionOf({{0, 0, 10, 10}});
  EXPECT_EQ(u.intersectRect({5, 5, 5, 9}), Region::kNullRegion);
  EXPECT_NE(u.handle(), nullptr);
  EXPECT_TRUE(u.isEmpty());
}

TEST(Region, EqualityIsEqualityOfPixelSets) {
  Region a, b;
  EXPECT_TRUE(a.equals(b));
  b.unite(Rect{0, 0, 4, 4});
  EXPECT_FALSE(a.equals(b));
  EXPECT_FALSE(b.equals(a));
  EXPECT_TRUE(b.equals(Rect{0, 0, 4, 4}));
  EXPECT_FALSE(b.equals(Rect{0, 0, 4, 5}));
  EXPECT_TRUE(regionOf({{0, 0, 4, 2}, {0, 2, 4, 4}}).equals(b));

  // An emptied region (with a handle) and one without a handle hold the same pixels: none.
  Region emptied = regionOf({{0, 0, 4, 4}});
  emptied.subtract(Rect{0, 0, 4, 4});
  EXPECT_TRUE(emptied.equals(a));
  EXPECT_TRUE(a.equals(emptied));
  EXPECT_TRUE(a.equals(Rect{3, 3, 3, 3}));
}

TEST(Region, SetRectPutsEdgesInOrder) {
  Region r;
  r.setRect(10, 20, 0, 5);
  EXPECT_EQ(rectsOf(r), (std::vector<Rect>{{0, 5, 10, 20}}));
  r.setRect(Rect{3, 3, 3, 9});
  EXPECT_NE(r.handle(), nullptr);
  EXPECT_TRUE(r.isEmpty());
  r.assign(Rect{1, 2, 3, 4});
  EXPECT_EQ(*r.boundingBox(), (Rect{1, 2, 3, 4}));
}

TEST(Region, NewRegionFormsLeaveTheOriginalAlone) {
  const Region base = regionOf({{0, 0, 10, 10}});
  EXPECT_EQ(rectsOf(base.united(Rect{10, 0, 20, 10})), (std::vector<Rect>{{0, 0, 20, 10}}));
  EXPECT_EQ(rectsOf(base.subtracted(Rect{5, 0, 10, 10})), (std::vector<Rect>{{0, 0, 5, 10}}));
  EXPECT_EQ(rectsOf(base.intersected(Rect{5, 5, 20, 20})), (std::vector<Rect>{{5, 5, 10, 10}}));
  EXPECT_EQ(rectsOf(base.xored(Rect{0, 0, 10, 5})), (std::vector<Rect>{{0, 5, 10, 10}}));
  EXPECT_EQ(rectsOf(base.united(regionOf({{0, 10, 10, 20}}))), (std::vector<Rect>{{0, 0, 10, 20}}));
  EXPECT_EQ(rectsOf(base.subtracted(regionOf({{0, 0, 10, 5}}))), (std::vector<Rect>{{0, 5, 10, 10}}));
  EXPECT_EQ(rectsOf(base.intersected(regionOf({{0, 0, 3, 3}}))), (std::vector<Rect>{{0, 0, 3, 3}}));
  EXPECT_TRUE(base.xored(base).equals(Region()));
  EXPECT_EQ(rectsOf(base), (std::vector<Rect>{{0, 0, 10, 10}}));

  const Region none;
  EXPECT_EQ(none.subtracted(Rect{0, 0, 5, 5}).handle(), nullptr);
  EXPECT_EQ(none.intersected(Rect{0, 0, 5, 5}).handle(), nullptr);
  EXPECT_EQ(rectsOf(none.united(Rect{0, 0, 5, 5})), (std::vector<Rect>{{0, 0, 5, 5}}));

  Region copy(base);
  copy.offset(5, -5);
  EXPECT_EQ(*copy.boundingBox(), (Rect{5, -5, 15, 5}));
  EXPECT_EQ(rectsOf(base), (std::vector<Rect>{{0, 0, 10, 10}}));
  Region moved(std::move(copy));
  EXPECT_EQ(copy.handle(), nullptr);
  EXPECT_EQ(*moved.boundingBox(), (Rect{5, -5, 15, 5}));
  copy = base;
  EXPECT_TRUE(copy.equals(base));
  EXPECT_NE(copy.handle(), base.handle());
}

TEST(Region, ScaleTruncatesAndGrows) {
  Region r = regionOf({{10, 10, 21, 21}});
  EXPECT_EQ(r.scale(0.5, 1), 0);
  EXPECT_EQ(rectsOf(r), (std::vector<Rect>{{4, 4, 11, 11}}));

  Region two = regionOf({{0, 0, 10, 10}, {20, 0, 30, 10}});
  EXPECT_EQ(two.scale(1.0, 1), 0);
  EXPECT_EQ(rectsOf(two), (std::vector<Rect>{{0, 0, 10, 10}, {20, 0, 30, 10}}));
  EXPECT_EQ(two.scale(2.0, 0), 0);
  EXPECT_EQ(rectsOf(two), (std::vector<Rect>{{0, 0, 20, 20}, {40, 0, 60, 20}}));

  Region none;
  EXPECT_EQ(none.scale(3.0, 1), 0);
  EXPECT_EQ(none.handle(), nullptr);

  // Past 510 rectangles the bounding box is scaled instead.
  Region many = scattered(511);
  ASSERT_EQ(rectsOf(many).size(), 511u);
  const Rect box = *many.boundingBox();
  EXPECT_EQ(many.scale(0.5, 1), -1);
  EXPECT_EQ(rectsOf(many), (std::vector<Rect>{{box.left / 2 - 1, box.top / 2 - 1, box.right / 2 + 1, box.bottom / 2 + 1}}));
  Region fits = scattered(510);
  EXPECT_EQ(fits.scale(2.0, 0), 0);
  EXPECT_EQ(rectsOf(fits).size(), 510u);
}

TEST(Region, RectanglesNeedRoomForTheHeaderAndEveryRectangle) {
  Region r = scattered(127);
  std::vector<uint8_t> buf(4096);
  EXPECT_EQ(r.rectangles(buf.data(), 2048), -1);
  EXPECT_EQ(r.rectangles(buf.data(), 32 + 16 * 127 - 1), -1);
  EXPECT_EQ(r.rectangles(buf.data(), 32 + 16 * 127), 127);
  Rect first;
  std::memcpy(&first, buf.data(), sizeof(first));
  EXPECT_EQ(first, (Rect{0, 0, 2, 2}));

  Region fits = scattered(126);
  EXPECT_EQ(fits.rectangles(buf.data(), 2048), 126);
  EXPECT_EQ(fits.rectangles(nullptr, 2048), -1);
}

// Random operations checked against a pixel model: results match it exactly, rectangles never
// overlap, unions and differences conserve area.
TEST(RegionProperty, OperationsAgreeWithAPixelModel) {
  static constexpr int kSide = 48;
  using Pixels = std::vector<uint8_t>;
  auto paint = [](Pixels& p, const Rect& r, int mode) {
    for (int y = std::max(r.top, 0); y < std::min(r.bottom, kSide); ++y)
      for (int x = std::max(r.left, 0); x < std::min(r.right, kSide); ++x) {
        uint8_t& v = p[y * kSide + x];
        v = mode == 0 ? 1 : mode == 1 ? 0 : uint8_t(v ^ 1);
      }
  };
  auto check = [](const Region& region, const Pixels& model, uint32_t seed) {
    const std::vector<Rect> rects = rectsOf(region);
    Pixels seen(kSide * kSide, 0);
    for (const Rect& r : rects) {
      ASSERT_FALSE(r.isEmpty()) << "seed " << seed;
      ASSERT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= kSide && r.bottom <= kSide) << "seed " << seed;
      for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
          ASSERT_EQ(seen[y * kSide + x], 0) << "seed " << seed << ": rectangles overlap";
          seen[y * kSide + x] = 1;
        }
    }
    ASSERT_EQ(seen, model) << "seed " << seed;
  };

  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> coord(0, kSide), op(0, 5);
    auto randomRect = [&] {
      const int l = coord(rng), t = coord(rng);
      return Rect{l, t, std::min(l + 1 + coord(rng) / 3, kSide), std::min(t + 1 + coord(rng) / 3, kSide)};
    };
    Region a, b;
    Pixels ma(kSide * kSide, 0), mb(kSide * kSide, 0);
    for (int n = 0; n < 40; ++n) {
      const Rect r = randomRect();
      const bool toB = n % 3 == 2;
      Region& target = toB ? b : a;
      Pixels& model = toB ? mb : ma;
      switch (op(rng)) {
        case 0: case 1: target.unite(r); paint(model, r, 0); break;
        case 2: target.subtract(r); paint(model, r, 1); break;
        case 3: target.xorWith(r); paint(model, r, 2); break;
        case 4: {
          Pixels clipped(kSide * kSide, 0);
          paint(clipped, r, 0);
          for (size_t i = 0; i < model.size(); ++i) model[i] &= clipped[i];
          target.intersect(r);
          break;
        }
        default: {
          const int64_t au = area(rectsOf(a)), bu = area(rectsOf(b));
          const int64_t common = area(rectsOf(a.intersected(b)));
          EXPECT_EQ(area(rectsOf(a.united(b))), au + bu - common) << "seed " << seed;
          EXPECT_EQ(area(rectsOf(a.subtracted(b))), au - common) << "seed " << seed;
          EXPECT_EQ(area(rectsOf(a.xored(b))), au + bu - 2 * common) << "seed " << seed;
          Pixels mx = ma;
          for (size_t i = 0; i < mx.size(); ++i) mx[i] ^= mb[i];
          ASSERT_NO_FATAL_FAILURE(check(a.xored(b), mx, seed));
          a.unite(b);
          for (size_t i = 0; i < ma.size(); ++i) ma[i] |= mb[i];
          break;
        }
      }
      ASSERT_NO_FATAL_FAILURE(check(a, ma, seed));
      ASSERT_NO_FATAL_FAILURE(check(b, mb, seed));
      const bool modelEmpty = std::find(ma.begin(), ma.end(), 1) == ma.end();
      EXPECT_EQ(a.isEmpty(), modelEmpty) << "seed " << seed;
    }
  }
}

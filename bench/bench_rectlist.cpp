// Cost of RectList::add as the change list grows. "per_add" is the time of one add.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "comsrc/RectList.h"

namespace {

using comsrc::Rect;
using comsrc::RectList;

// The 300 tiles of 32 x 32 pixels of a 640 x 480 capture, in a scattered fixed order, as the
// screen source reports changed tiles.
std::vector<Rect> scatteredTiles() {
  std::vector<Rect> tiles;
  for (int32_t y = 0; y < 15; ++y)
    for (int32_t x = 0; x < 20; ++x) tiles.push_back({x * 32, y * 32, x * 32 + 32, y * 32 + 32});
  std::shuffle(tiles.begin(), tiles.end(), std::mt19937(1));
  return tiles;
}

// Rectangles of 16 to 160 pixels anywhere in the capture, overlapping each other often.
std::vector<Rect> overlappingRects(size_t n) {
  std::mt19937 rng(2);
  std::uniform_int_distribution<int32_t> x(0, 600), y(0, 440), size(16, 160);
  std::vector<Rect> rects;
  for (size_t i = 0; i < n; ++i) {
    const int32_t l = x(rng), t = y(rng);
    rects.push_back({l, t, std::min(l + size(rng), 640), std::min(t + size(rng), 480)});
  }
  return rects;
}

void perAdd(benchmark::State& state, int64_t adds) {
  state.counters["per_add"] =
      benchmark::Counter(static_cast<double>(adds), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// One frame: an empty list receives N disjoint tiles (past 256 it collapses to its box).
void BM_FrameOfDisjointTiles(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const std::vector<Rect> tiles = scatteredTiles();
  RectList list;
  for (auto _ : state) {
    for (size_t i = 0; i < n; ++i) list.add(tiles[i]);
    benchmark::DoNotOptimize(list.count());
    list.clear();
  }
  perAdd(state, state.range(0));
}

// One frame: an empty list receives N rectangles that overlap and get cut.
void BM_FrameOfOverlappingRects(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const std::vector<Rect> rects = overlappingRects(n);
  RectList list;
  for (auto _ : state) {
    for (const Rect& r : rects) list.add(r);
    benchmark::DoNotOptimize(list.count());
    list.clear();
  }
  perAdd(state, state.range(0));
}

// One add into a list already holding N entries: a rectangle covered by the last entry, which
// walks the whole list and stores nothing.
void BM_AddCoveredIntoListOf(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const std::vector<Rect> tiles = scatteredTiles();
  RectList list;
  for (size_t i = 0; i < n; ++i) list.add(tiles[i]);
  const Rect& last = tiles[n - 1];
  const Rect probe{last.left + 4, last.top + 4, last.right - 4, last.bottom - 4};
  for (auto _ : state) benchmark::DoNotOptimize(list.add(probe));
  state.counters["entries"] = static_cast<double>(list.count());
  perAdd(state, 1);
}

void sizes(benchmark::internal::Benchmark* b) {
  for (int64_t n : {1, 2, 4, 8, 16, 32, 64, 128, 256, 300}) b->Arg(n);
}

}  // namespace

BENCHMARK(BM_FrameOfDisjointTiles)->Apply(sizes);
BENCHMARK(BM_FrameOfOverlappingRects)->Apply(sizes);
BENCHMARK(BM_AddCoveredIntoListOf)->Apply(sizes);

// The external monitor's copy of changed areas out of a 640 × 480 frame buffer (held in memory
// behind a fake escape channel), beside one memcpy of the same number of bytes. "vs_memcpy" is
// the time of the copy divided by that of the memcpy (measured once in this process),
// "vs_row_memcpy" the same against a memcpy per row of each rectangle;
// "share_of_40ms" is its part of the 40 ms frame period. The Refresh case is a whole round:
// size query, fetch, record walk, change list and copy; with many small rectangles the change
// list's de-overlapping add is most of it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "SourceFakes.h"
#include "VtdrvFakes.h"
#include "comsrc/Region.h"
#include "source/DriverDisplaySource.h"

namespace {

using comsrc::Rect;

constexpr int32_t kW = 640, kH = 480;
constexpr double kPeriod = 0.040;

// Seconds per call of f: the best of several batches, so that a batch disturbed by the other
// work on a shared machine does not count.
template <class F>
double secondsPerCall(F&& f, int calls = 100, int batches = 9) {
  f();
  double best = 1e9;
  for (int b = 0; b < batches; ++b) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) f();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / calls);
  }
  return best;
}

// Changed areas: the whole frame, eight windows of 160 × 120, or 120 small spots of 32 × 16.
std::vector<Rect> areas(int which) {
  std::vector<Rect> r;
  if (which == 0) r.push_back({0, 0, kW, kH});
  if (which == 1)
    for (int32_t i = 0; i < 8; ++i) r.push_back({(i % 4) * 160, (i / 4) * 240 + 40, (i % 4) * 160 + 160, (i / 4) * 240 + 160});
  if (which == 2)
    for (int32_t i = 0; i < 120; ++i) r.push_back({(i % 12) * 52 + 4, (i / 12) * 46 + 8, (i % 12) * 52 + 36, (i / 12) * 46 + 24});
  return r;
}

int64_t bytesOf(const std::vector<Rect>& rects) {
  int64_t n = 0;
  for (const Rect& r : rects) n += int64_t{r.width()} * r.height() * 4;
  return n;
}

struct Rig {
  Rig() : driver(std::make_shared<vltest::FakeDriver>(kW, kH)) {
    for (size_t i = 0; i < driver->frame.size(); ++i) driver->frame[i] = uint32_t(i * 2654435761u);
    source = std::make_unique<DriverDisplaySource>(acquirer, list, Rect{0, 0, kW, kH},
                                            std::make_unique<vltest::FakeEscapeChannel>(driver), calendar);
    driver->queueSize(0, 0);
    source->refresh();  // makes the image and maps the frame
  }
  std::shared_ptr<vltest::FakeDriver> driver;
  vltest::FakeAcquirer acquirer;
  comsrc::RectList list;
  vltest::FakeCalendar calendar;
  std::unique_ptr<DriverDisplaySource> source;
};

double memcpySeconds(int64_t bytes) {
  static std::vector<uint8_t> from(size_t(kW) * kH * 4, 1), to(from.size());
  return secondsPerCall([&] {
    std::memcpy(to.data(), from.data(), size_t(bytes));
    benchmark::ClobberMemory();
  });
}

// The same spans copied row by row with memcpy between buffers of the frame's layout: what
// any copy out of a frame buffer into an image of its own must at least do.
double rowMemcpySeconds(const std::vector<Rect>& rects) {
  static std::vector<uint8_t> from(size_t(kW) * kH * 4, 1), to(from.size());
  return secondsPerCall([&] {
    for (const Rect& r : rects)
      for (int32_t y = r.top; y < r.bottom; ++y)
        std::memcpy(to.data() + (size_t(y) * kW + size_t(r.left)) * 4, from.data() + (size_t(y) * kW + size_t(r.left)) * 4,
                    size_t(r.width()) * 4);
    benchmark::ClobberMemory();
  });
}

void setRatios(benchmark::State& state, double seconds, const std::vector<Rect>& rects) {
  const int64_t bytes = bytesOf(rects);
  state.counters["share_of_40ms"] = seconds / kPeriod;
  state.counters["vs_memcpy"] = seconds / memcpySeconds(bytes);
  state.counters["vs_row_memcpy"] = seconds / rowMemcpySeconds(rects);
  state.counters["bytes"] = double(bytes);
}

void BM_CopyRegion(benchmark::State& state) {
  Rig rig;
  const std::vector<Rect> rects = areas(int(state.range(0)));
  comsrc::Region changed, work;
  for (const Rect& r : rects) changed.uniteRect(r);
  auto once = [&] {
    work.copyFrom(changed);
    rig.source->copyRegion(work);
  };
  for (auto _ : state) once();
  setRatios(state, secondsPerCall(once), rects);
}

void BM_Refresh(benchmark::State& state) {
  Rig rig;
  const std::vector<Rect> rects = areas(int(state.range(0)));
  vltest::RecordList records;
  records.rects(rects).end();
  auto once = [&] {
    rig.driver->queueSize(0, uint32_t(records.bytes.size()));
    rig.driver->records = records.bytes;
    rig.source->refresh();
    rig.list.clear();
    rig.driver->calls.clear();
  };
  for (auto _ : state) once();
  setRatios(state, secondsPerCall(once), rects);
}

BENCHMARK(BM_CopyRegion)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Refresh)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace

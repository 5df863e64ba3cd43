// The costs of the main-screen mirror at 640 × 480: one capture from an X server of its own
// (XShm and plain XGetImage), and the tile comparison of an unchanged and of a fully changed
// image beside a plain memcmp of the same two images. "share_of_40ms" is the time of one
// operation as a part of the 40 ms capture period; "vs_memcmp" is the time divided by that of
// memcmp on the same images (goal for the unchanged image: 1 or less), for the unchanged image
// the median over rounds that alternate between the two.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "support/XServer_X11.h"
#include "comsrc/DIBitmap_X11.h"
#include "comsrc/RectList.h"
#include "source/DisplayConnection.h"
#include "source/TileCompare.h"

namespace {

constexpr int32_t kW = 640, kH = 480, kStride = kW * 4;
constexpr double kPeriod = 0.040;

std::vector<uint8_t> noise(uint32_t seed) {
  std::vector<uint8_t> v(size_t(kStride) * kH);
  std::mt19937 rng(seed);
  for (auto& b : v) b = uint8_t(rng());
  return v;
}

double threadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Seconds per call of f, measured outside Google Benchmark for the ratios: processor time of
// this thread for work done here (steadier on a shared machine), wall time for work the X
// server does.
template <class F>
double secondsPerCall(F&& f, int calls = 400, bool wall = false) {
  const auto t0 = std::chrono::steady_clock::now();
  const double c0 = threadSeconds();
  for (int i = 0; i < calls; ++i) f();
  if (!wall) return (threadSeconds() - c0) / calls;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / calls;
}

void setRatios(benchmark::State& state, double seconds, double memcmpSeconds) {
  state.counters["share_of_40ms"] = seconds / kPeriod;
  if (memcmpSeconds > 0) state.counters["vs_memcmp"] = seconds / memcmpSeconds;
}

struct Images {
  std::vector<uint8_t> a = noise(1), same = a, other = noise(2);
};
Images& images() {
  static Images i;
  return i;
}

double memcmpSeconds(const std::vector<uint8_t>& x, const std::vector<uint8_t>& y) {
  return secondsPerCall([&] { benchmark::DoNotOptimize(std::memcmp(x.data(), y.data(), x.size())); });
}

void BM_MemcmpUnchanged(benchmark::State& state) {
  Images& im = images();
  for (auto _ : state) benchmark::DoNotOptimize(std::memcmp(im.a.data(), im.same.data(), im.a.size()));
  setRatios(state, memcmpSeconds(im.a, im.same), 0);
}

// The ratio of two operations' times as the median of rounds that alternate between them, so
// that load which comes and goes on a shared machine weighs on both alike.
template <class F, class G>
double alternatingRatio(F&& f, G&& g) {
  std::vector<double> ratios;
  for (int round = 0; round < 9; ++round) ratios.push_back(secondsPerCall(f, 50) / secondsPerCall(g, 50));
  std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
  return ratios[ratios.size() / 2];
}

void BM_CompareUnchanged(benchmark::State& state) {
  Images& im = images();
  comsrc::RectList list;
  uint32_t parity = 0;
  auto once = [&] {
    parity ^= 1;
    benchmark::DoNotOptimize(compareTiles(im.a.data(), kStride, im.same.data(), kStride, kW, kH, parity, list));
  };
  for (auto _ : state) once();
  setRatios(state, secondsPerCall(once), 0);
  state.counters["vs_memcmp"] = alternatingRatio(
      once, [&] { benchmark::DoNotOptimize(std::memcmp(im.a.data(), im.same.data(), im.a.size())); });
}

void BM_MemcmpFullyChanged(benchmark::State& state) {
  Images& im = images();
  for (auto _ : state) benchmark::DoNotOptimize(std::memcmp(im.a.data(), im.other.data(), im.a.size()));
  setRatios(state, memcmpSeconds(im.a, im.other), 0);
}

// Every tile differs; the baseline then takes the whole new image, so the images alternate to
// keep every comparison a full change.
void BM_CompareFullyChanged(benchmark::State& state) {
  Images& im = images();
  std::vector<uint8_t> baseline = im.a;
  comsrc::RectList list;
  uint32_t parity = 0;
  bool flip = false;
  auto once = [&] {
    parity ^= 1;
    flip = !flip;
    const std::vector<uint8_t>& next = flip ? im.other : im.a;
    benchmark::DoNotOptimize(compareTiles(baseline.data(), kStride, next.data(), kStride, kW, kH, parity, list));
    list.clear();
  };
  for (auto _ : state) once();
  setRatios(state, secondsPerCall(once), memcmpSeconds(im.a, im.other));
}

// Memcmp of a full change ends at the first byte; the comparison's own floor is one row of
// each tile, and the rest of its time is the baseline taking the new pixels (a copy of the image).
void BM_CopyOfOneImage(benchmark::State& state) {
  Images& im = images();
  std::vector<uint8_t> to(im.a.size());
  auto once = [&] {
    std::memcpy(to.data(), im.other.data(), to.size());
    benchmark::ClobberMemory();
  };
  for (auto _ : state) once();
  setRatios(state, secondsPerCall(once), memcmpSeconds(im.a, im.same));
}

vltest::XServer& server() {
  static vltest::XServer s("1024x768x24");
  return s;
}

void capture(benchmark::State& state, bool shm) {
  if (!server().ok()) {
    state.SkipWithError("Xvfb did not start");
    return;
  }
  DisplayConnection acquirer(server().name().c_str());
  if (acquirer.open() != 0) {
    state.SkipWithError("cannot open the X display");
    return;
  }
  comsrc::DIBitmap_X11 bitmap(acquirer.screenContext(), shm);
  if (bitmap.create(kW, kH) != 0 || bitmap.usesSharedMemory() != shm) {
    state.SkipWithError("no capture bitmap of that kind");
    return;
  }
  auto once = [&] { benchmark::DoNotOptimize(bitmap.capture(0, 0)); };
  for (auto _ : state) once();
  Images& im = images();
  setRatios(state, secondsPerCall(once, 100, true), memcmpSeconds(im.a, im.same));
}

void BM_CaptureXShm(benchmark::State& state) { capture(state, true); }
void BM_CaptureXGetImage(benchmark::State& state) { capture(state, false); }

}  // namespace

BENCHMARK(BM_MemcmpUnchanged);
BENCHMARK(BM_CompareUnchanged);
BENCHMARK(BM_MemcmpFullyChanged);
BENCHMARK(BM_CompareFullyChanged);
BENCHMARK(BM_CopyOfOneImage);
BENCHMARK(BM_CaptureXShm);
BENCHMARK(BM_CaptureXGetImage);

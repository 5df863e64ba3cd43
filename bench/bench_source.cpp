// The costs of the main-screen mirror at 640 × 480: one capture from an X server of its own
// (XShm and plain XGetImage), and the tile comparison of an unchanged and of a fully changed
// image beside a plain memcmp of the same two images. "share_of_40ms" is the time of one
// operation as a part of the 40 ms capture period; "vs_memcmp" is the time divided by that of
// memcmp on the same images (goal for the unchanged image: 1 or less), for the unchanged image
// the median over rounds that alternate between the two. The window mirror's capture of a
// covered 640 × 480 window beside the root's capture of as much: "vs_root" is its processor
// time, of this process and of the X server, over the root's (goal 1.5 or less).
#include <benchmark/benchmark.h>

#include <time.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

#include "support/XServer_X11.h"
#include "comsrc/DIBitmap_X11.h"
#include "comsrc/RectList.h"
#include "settings/CaptureOptions.h"
#include "source/DisplayConnection.h"
#include "source/ScreenCapture_X11.h"
#include "source/WindowCapture_X11.h"
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

// Processor seconds of every thread of a process, from the scheduler's accounting.
double processSeconds(pid_t pid) {
  double ns = 0;
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    double n = 0;
    std::ifstream(task.path() / "schedstat") >> n;
    ns += n;
  }
  return ns * 1e-9;
}

// A mapped 640 × 480 window titled `title`, its right half covered by another window; the
// connection that made them keeps them.
std::shared_ptr<xcb_connection_t> showWindow(const char* title) {
  std::shared_ptr<xcb_connection_t> c(xcb_connect(server().name().c_str(), nullptr), xcb_disconnect);
  if (xcb_connection_has_error(c.get())) return nullptr;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c.get())).data;
  const uint32_t white = screen->white_pixel;
  const xcb_window_t w = xcb_generate_id(c.get()), cover = xcb_generate_id(c.get());
  xcb_create_window(c.get(), XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, kW, kH, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    screen->root_visual, XCB_CW_BACK_PIXEL, &white);
  xcb_change_property(c.get(), XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                      uint32_t(std::strlen(title)), title);
  xcb_create_window(c.get(), XCB_COPY_FROM_PARENT, cover, screen->root, kW / 2, 0, kW / 2, kH, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
  xcb_map_window(c.get(), w);
  xcb_map_window(c.get(), cover);
  std::free(xcb_get_input_focus_reply(c.get(), xcb_get_input_focus(c.get()), nullptr));
  return c;
}

// Processor seconds, of this process and of the X server, per copy of a 640 × 480 frame.
template <class F>
double readerAndServerSeconds(F&& copy, int calls) {
  timespec t0{}, t1{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t0);
  const double s0 = processSeconds(server().pid());
  for (int i = 0; i < calls; ++i) copy();
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t1);
  const double reader = double(t1.tv_sec - t0.tv_sec) + double(t1.tv_nsec - t0.tv_nsec) * 1e-9;
  return (reader + processSeconds(server().pid()) - s0) / calls;
}

void BM_CaptureWindowVsRoot(benchmark::State& state) {
  auto client = server().ok() ? showWindow("bench window") : nullptr;
  DisplayConnection acquirer(server().name().c_str());
  if (!client || acquirer.open() != 0) {
    state.SkipWithError("no X display");
    return;
  }
  ScreenContext* screen = acquirer.screenContext();
  CaptureOptions options;
  options.windowTitle = "bench window";
  std::unique_ptr<ScreenCapture> window = makeWindowCapture_X11(&options, nullptr);
  std::unique_ptr<ScreenCapture> root = makeScreenCapture_X11(true);
  auto windowImage = window->createCaptureBitmap(screen, kW, kH);
  auto rootImage = root->createCaptureBitmap(screen, kW, kH);
  root->drawing(screen);  // both forget their DAMAGE reports at each copy, as in the program
  if (!windowImage || !rootImage || !window->blitFromScreen(*windowImage, screen, 0, 0)) {
    state.SkipWithError("the window cannot be captured");
    return;
  }
  auto once = [&] { benchmark::DoNotOptimize(window->blitFromScreen(*windowImage, screen, 0, 0)); };
  for (auto _ : state) once();
  // Rounds that alternate between the two, the median of their ratios.
  std::vector<double> ratios;
  double windowSeconds = 0;
  for (int round = 0; round < 5; ++round) {
    const double r = readerAndServerSeconds([&] { root->blitFromScreen(*rootImage, screen, 0, 0); }, 100);
    windowSeconds = readerAndServerSeconds(once, 100);
    ratios.push_back(windowSeconds / r);
  }
  std::sort(ratios.begin(), ratios.end());
  state.counters["share_of_40ms"] = windowSeconds / kPeriod;
  state.counters["vs_root"] = ratios[ratios.size() / 2];
}

}  // namespace

BENCHMARK(BM_MemcmpUnchanged);
BENCHMARK(BM_CompareUnchanged);
BENCHMARK(BM_MemcmpFullyChanged);
BENCHMARK(BM_CompareFullyChanged);
BENCHMARK(BM_CopyOfOneImage);
BENCHMARK(BM_CaptureXShm);
BENCHMARK(BM_CaptureXGetImage);
BENCHMARK(BM_CaptureWindowVsRoot);

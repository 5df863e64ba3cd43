// The frame pipeline's cost: whole frames through produceFrame (as share of the 40 ms frame
// period; goal for a fully changed 640 × 480 frame and two Floyd–Steinberg devices: 1 % or
// less) and the Floyd–Steinberg step per pixel. Beside the wall-clock share, cpu_pct_of_40ms
// is the thread's processor time, which other load on a shared machine does not inflate. VL_BENCH_PICTURE may name a PNG to use as
// the screen; otherwise a fixed synthetic picture is used.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include <time.h>

#include "app/AppState.h"
#include "comsrc/DIBitmap.h"
#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "pipeline/LumaConversion.h"
#include "pipeline/Dither.h"
#include "pipeline/FrameState.h"
#include "pipeline/ProduceFrame.h"
#include "source/FrameSource.h"
#include "source/DisplayConnection.h"
#include "tools/common/PngFile.h"

namespace {

constexpr double kFramePeriodSeconds = 0.040;

// The picture the benchmarks see: VL_BENCH_PICTURE, or gradients with noise, which keep
// every dithering mode busy with real decisions.
vltools::PngPicture benchPicture(int32_t width, int32_t height) {
  vltools::PngPicture p;
  std::string error;
  if (const char* path = std::getenv("VL_BENCH_PICTURE"); path && vltools::readPng(path, p, error)) return p;
  p.width = width;
  p.height = height;
  p.bgrx.resize(size_t(width) * height * 4);
  uint32_t seed = 12345;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int32_t noise = int32_t(seed >> 27) - 16;
      uint8_t* px = &p.bgrx[(size_t(y) * width + x) * 4];
      px[0] = uint8_t(std::clamp(x * 255 / width + noise, 0, 255));
      px[1] = uint8_t(std::clamp(y * 255 / height + noise, 0, 255));
      px[2] = uint8_t(std::clamp((x + y) * 255 / (width + height) + noise, 0, 255));
      px[3] = 0;
    }
  return p;
}

// A screen source over a fixed picture that reports the same change in every refresh.
class StillSource : public FrameSource {
 public:
  StillSource(comsrc::RectList& list, const vltools::PngPicture& picture, comsrc::Rect change)
      : changes(list), changed(change) {
    image.create(picture.width, picture.height);
    std::memcpy(image.getPixels(), picture.bgrx.data(), picture.bgrx.size());
  }
  int32_t refresh() override {
    if (!changed.isEmpty()) changes.add(changed);
    return changed.isEmpty() ? 0 : 1;
  }
  comsrc::DIBitmap* bitmap() override { return &image; }

 private:
  comsrc::RectList& changes;
  comsrc::Rect changed;
  comsrc::DIBitmap image;
};

// An application with `devices` connected devices that drain into a bottomless stream.
std::unique_ptr<AppState> makeApp(int32_t mode, int32_t devices, comsrc::Rect change) {
  auto app = std::make_unique<AppState>();
  ScreenSources& sources = app->sources;
  sources.changeList = std::make_unique<comsrc::RectList>();
  sources.mainDisplay = std::make_unique<DisplayConnection>();
  *sources.mainDisplay->rect() = comsrc::Rect{0, 0, 1920, 1080};
  sources.mirrorSource = std::make_unique<StillSource>(*sources.changeList, benchPicture(640, 480), change);
  for (int32_t i = 0; i < devices; ++i) {
    DeviceSettings& slot = app->devices.slots[size_t(i)].settings;
    slot.active = 1;
    slot.dither = mode;
    slot.posX = 240 * i;
    slot.posY = 240 * i;
    app->devices.slots[size_t(i)].work.portOk = true;
    app->devices.slots[size_t(i)].work.workStride = kPanelWidth;
    auto link = std::make_unique<DeviceLink>(std::make_unique<multio::Stream>());
    link->sizeRing(16384);
    app->devices.slots[size_t(i)].link = std::move(link);
    app->devices.applySettings(size_t(i));
  }
  app->devices.anyDeviceActive = app->devices.linksOpen = sources.sourceReady = true;
  return app;
}

struct FrameTimes {
  double wall = 0;
  double processor = 0;
};

double threadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Times one frame on the wall clock (the figure that counts against the main loop's 40 ms)
// and in processor time, and adds both to the totals that reportShareOfPeriod turns into
// percentages.
template <class Frame>
void timedFrame(FrameTimes& total, Frame frame) {
  const double cpuStart = threadSeconds();
  const auto start = std::chrono::steady_clock::now();
  frame();
  total.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  total.processor += threadSeconds() - cpuStart;
}

void reportShareOfPeriod(benchmark::State& state, const FrameTimes& total) {
  const double frames = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["frame_us"] = total.wall / frames * 1e6;
  state.counters["pct_of_40ms"] = total.wall / frames / kFramePeriodSeconds * 100;
  state.counters["cpu_pct_of_40ms"] = total.processor / frames / kFramePeriodSeconds * 100;
}

// Waits, outside the timing, until the writer threads have emptied the rings, so that each
// frame finds the room a device that keeps up would leave and the figures are the main
// thread's own work, not its wait for a writer thread to be scheduled.
void drainLinks(benchmark::State& state, AppState& app) {
  state.PauseTiming();
  for (const DeviceSlot& slot : app.devices.slots)
    while (slot.link && slot.link->freeSpace() < 16383) std::this_thread::yield();
  state.ResumeTiming();
}

void BM_FrameWholeAreaChanged(benchmark::State& state) {
  auto app = makeApp(int32_t(state.range(0)), int32_t(state.range(1)), comsrc::Rect{0, 0, 640, 480});
  FrameTimes total;
  for (auto _ : state) {
    timedFrame(total, [&] { produceFrame(app->frame, app->sources, app->devices); });
    drainLinks(state, *app);
  }
  reportShareOfPeriod(state, total);
  state.SetLabel(state.range(0) == 0 ? "threshold" : state.range(0) == 1 ? "floyd-steinberg" : "halftone");
}
BENCHMARK(BM_FrameWholeAreaChanged)
    ->ArgNames({"mode", "devices"})
    ->ArgsProduct({{0, 1, 2}, {1, 2}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

void BM_FrameNothingChanged(benchmark::State& state) {
  auto app = makeApp(0, 2, comsrc::Rect{});
  FrameTimes total;
  for (auto _ : state) timedFrame(total, [&] { produceFrame(app->frame, app->sources, app->devices); });
  reportShareOfPeriod(state, total);
}
BENCHMARK(BM_FrameNothingChanged)->Unit(benchmark::kNanosecond)->UseRealTime();

// Tone pass and error diffusion over one panel of luma, per pixel.
void BM_FloydSteinbergPerPixel(benchmark::State& state) {
  const vltools::PngPicture picture = benchPicture(400, 240);
  FrameState frame;
  buildLumaTables(frame);
  const int32_t w = std::min(picture.width, kMaxCaptureWidth), h = std::min(picture.height, kMaxCaptureHeight);
  convertToLuma(frame, picture.bgrx.data(), picture.stride(), w, h);
  std::vector<int32_t> work(size_t(kPanelWidth) * kPanelHeight);
  const comsrc::Rect area{0, 0, std::min(w, kPanelWidth), std::min(h, kPanelHeight)};
  const ToneCurve tone;
  for (auto _ : state) {
    ditherChanged(1, LumaImage{frame.lumaBuffer.data(), w}, tone, area, WorkArea{work.data(), kPanelWidth, area}, 0);
    benchmark::DoNotOptimize(work.data());
  }
  state.counters["pixels"] = double(area.width()) * area.height();
  state.SetItemsProcessed(state.iterations() * area.width() * area.height());
}
BENCHMARK(BM_FloydSteinbergPerPixel)->Unit(benchmark::kMicrosecond);

}  // namespace

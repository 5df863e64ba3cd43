// The costs of the external monitor on Linux at 640 × 480, against a running vantela-vdisplay:
// one refresh of DriverDisplaySource while the display stands still (one round trip over the socket),
// and a change of the whole display from the drawing to the records fetched and the pixels
// copied. "share_of_40ms" is the wall time of one operation as a part of the 40 ms frame period.
#include <benchmark/benchmark.h>
// (Xlib after Google Benchmark)
#include <X11/Xlib.h>
#include <stdlib.h>

#include <chrono>
#include <memory>
#include <string>

#include "comsrc/RectList.h"
#include "source/DriverDisplaySource.h"
#include "source/EscapeChannel_POSIX.h"
#include "source/DisplayConnection.h"
#include "support/TempDir.h"
#include "support/VDisplayProcess_POSIX.h"

namespace {

constexpr double kPeriod = 0.040;
constexpr int32_t kW = 640, kH = 480;

// One stand-in for the whole run, with a socket folder of its own.
struct StandIn {
  StandIn() {
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    if (!getenv("VL_BINARY_DIR")) setenv("VL_BINARY_DIR", VL_BINARY_DIR, 1);
    ok = vltest::VDisplayProcess::xvfbInstalled() && process.start({"--size", "640x480"});
    if (!ok) return;
    painter = XOpenDisplay(process.display().c_str());
    display = std::make_unique<DisplayConnection>(("Vantela stand-in display " + process.display()).c_str());
    ok = painter && display->open() == 0;
    if (!ok) return;
    source = std::make_unique<DriverDisplaySource>(*display, changes, comsrc::Rect{0, 0, kW, kH},
                                            std::make_unique<EscapeChannel_POSIX>(*display));
    source->refresh();  // the first refresh maps the frame and copies all of it
    changes.clear();
  }
  vltest::TempDir runtime;
  vltest::VDisplayProcess process;
  Display* painter = nullptr;
  std::unique_ptr<DisplayConnection> display;
  comsrc::RectList changes;
  std::unique_ptr<DriverDisplaySource> source;
  bool ok = false;
};

StandIn& standIn() {
  static StandIn s;
  return s;
}

template <class F>
double wallSecondsPerCall(F&& f, int calls) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < calls; ++i) f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / calls;
}

void BM_StillDisplayRefresh(benchmark::State& state) {
  StandIn& s = standIn();
  if (!s.ok) {
    state.SkipWithError("no stand-in display (Xvfb missing?)");
    return;
  }
  auto once = [&] { benchmark::DoNotOptimize(s.source->refresh()); };
  for (auto _ : state) once();
  state.counters["share_of_40ms"] = wallSecondsPerCall(once, 2000) / kPeriod;
}

// The whole display filled, alternately dark and light, then refreshed until the records of
// that drawing have been fetched and the pixels copied.
void BM_FullChangeDrawToCopied(benchmark::State& state) {
  StandIn& s = standIn();
  if (!s.ok) {
    state.SkipWithError("no stand-in display (Xvfb missing?)");
    return;
  }
  GC gc = XCreateGC(s.painter, DefaultRootWindow(s.painter), 0, nullptr);
  unsigned long colour = 0;
  auto once = [&] {
    colour ^= 0xA0A0A0;
    XSetForeground(s.painter, gc, colour);
    XFillRectangle(s.painter, DefaultRootWindow(s.painter), gc, 0, 0, kW, kH);
    XSync(s.painter, False);
    while (s.source->refresh() != 1) {
    }
    s.changes.clear();
  };
  for (auto _ : state) once();
  state.counters["share_of_40ms"] = wallSecondsPerCall(once, 200) / kPeriod;
  XFreeGC(s.painter, gc);
}

}  // namespace

BENCHMARK(BM_StillDisplayRefresh);
BENCHMARK(BM_FullChangeDrawToCopied);

// How much of the serial line a continuously changing picture keeps busy: a full panel
// (240 line records) is offered every 40 ms, as frames of a changing screen are, through a
// DeviceLink into vantela-sim reading at the pace of the line speed.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "link/DeviceLink.h"
#include "link/PortPath_POSIX.h"
#include "support/TempDir.h"
#include "tests/link/SimProcess_POSIX.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kRing = 16384;
constexpr int kRecord = 57;
constexpr int kLines = 240;

std::string buildDir() {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return ".";
  self[n] = 0;
  return std::filesystem::path(self).parent_path().parent_path().string();  // build/<preset>
}

// The simulator runs for a fixed time at the line's pace and counts what the line carried;
// the link is fed from the moment the simulator's port appears until it goes.
void LineShare(benchmark::State& state) {
  const int64_t speed = state.range(0);
  constexpr double kSeconds = 5.0;
  std::vector<uint8_t> frame(kLines * kRecord, 0);
  for (int l = 0; l < kLines; ++l) {
    frame[l * kRecord] = frame[l * kRecord + 1] = 0x80;
    frame[l * kRecord + 2] = static_cast<uint8_t>(l + 1);
  }
  double share = 0, seconds = 0;
  int frames = 0, drops = 0;
  unsigned long long records = 0, bytes = 0, skipped = 0;
  for (auto _ : state) {
    vltest::TempDir dir;
    std::filesystem::create_directories(dir.file("ports"));
    setPortLocations({dir.file("ports"), ""});
    setenv("VL_BINARY_DIR", buildDir().c_str(), 1);
    vltest::SimProcess sim;
    const std::string link = dir.file("ports") + "/com5";
    if (!sim.start({"--link", link, "--speed", std::to_string(speed), "--seconds", std::to_string(kSeconds)}, link,
                   dir.file("sim.out"))) {
      state.SkipWithError("vantela-sim did not start");
      return;
    }
    DeviceLink device("COM5", static_cast<int32_t>(speed), 0);
    device.sizeRing(kRing);
    // The line time is counted from the first frame to the moment the simulator is seen to
    // have ended: an upper bound of the time it read, so the share is a lower bound.
    const auto first = Clock::now();
    auto next = first;
    auto ended = first;
    for (bool running = true; running;) {
      // A changing picture: every frame differs, and every line changes.
      for (int l = 0; l < kLines; ++l) frame[l * kRecord + 3 + (frames % 50)] ^= 0xFF;
      // The frame pipeline's bounded wait for room, then all of the block or nothing.
      for (int i = 0; i < 2000 && device.freeSpace() < frame.size(); ++i) std::this_thread::yield();
      if (device.enqueue(frame.data(), static_cast<uint32_t>(frame.size())) < 0) ++drops;
      ++frames;
      next += std::chrono::milliseconds(40);
      while (running && Clock::now() < next) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (sim.exited()) {
          ended = Clock::now();
          running = false;
        }
      }
    }
    device.shutdown();
    std::sscanf(sim.stop().c_str(), "records %llu bytes %llu skipped %llu", &records, &bytes, &skipped);
    seconds = std::chrono::duration<double>(ended - first).count();
    share = static_cast<double>(bytes) * 10.0 / (static_cast<double>(speed) * seconds);
    setPortLocations(defaultPortLocations());
    state.SetIterationTime(seconds);
  }
  state.counters["line_share_%"] = share * 100.0;
  state.counters["frames_offered"] = frames;
  state.counters["frames_dropped"] = drops;
  state.counters["skipped_bytes"] = static_cast<double>(skipped);
  std::printf("%lld bit/s: line busy %.1f %% of %.2f s (target >= 95 %%): %llu bytes, %llu records decoded, %llu "
              "skipped; %d of %d frames dropped whole for want of room\n",
              static_cast<long long>(speed), share * 100.0, seconds, bytes, records, skipped, drops, frames);
}

}  // namespace

BENCHMARK(LineShare)->Arg(500000)->Arg(1000000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

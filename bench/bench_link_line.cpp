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

void LineShare(benchmark::State& state) {
  const int64_t speed = state.range(0);
  vltest::TempDir dir;
  std::filesystem::create_directories(dir.file("ports"));
  setPortLocations({dir.file("ports"), ""});
  setenv("VL_BINARY_DIR", buildDir().c_str(), 1);
  vltest::SimProcess sim;
  const std::string link = dir.file("ports") + "/com5";
  if (!sim.start({"--link", link, "--speed", std::to_string(speed)}, link, dir.file("sim.out"))) {
    state.SkipWithError("vantela-sim did not start");
    return;
  }
  std::vector<uint8_t> frame(kLines * kRecord, 0);
  for (int l = 0; l < kLines; ++l) {
    frame[l * kRecord] = frame[l * kRecord + 1] = 0x80;
    frame[l * kRecord + 2] = static_cast<uint8_t>(l + 1);
  }

  double share = 0, sentRate = 0, dropped = 0, offered = 0, linkBytes = 0, decoded = 0;
  for (auto _ : state) {
    DeviceLink device("COM5", static_cast<int32_t>(speed), 0);
    device.sizeRing(kRing);
    uint64_t queued = 0;
    auto delivered = [&] { return queued - (kRing - 1 - device.freeSpace()); };
    const auto warm = Clock::now() + std::chrono::seconds(1);
    const auto end = warm + std::chrono::seconds(4);
    auto next = Clock::now();
    uint64_t atStart = 0;
    bool measuring = false;
    int frames = 0, drops = 0;
    while (Clock::now() < end) {
      if (!measuring && Clock::now() >= warm) {
        atStart = delivered();
        measuring = true;
      }
      // A changing picture: every frame differs, and every line changes.
      for (int l = 0; l < kLines; ++l) frame[l * kRecord + 3 + (frames % 50)] ^= 0xFF;
      // The frame pipeline's bounded wait for room, then all of the block or nothing.
      for (int i = 0; i < 2000 && device.freeSpace() < frame.size(); ++i) std::this_thread::yield();
      if (device.enqueue(frame.data(), static_cast<uint32_t>(frame.size())) < 0)
        ++drops;
      else
        queued += frame.size();
      if (measuring) ++frames;
      next += std::chrono::milliseconds(40);
      std::this_thread::sleep_until(next);
    }
    const double seconds = std::chrono::duration<double>(end - warm).count();
    const uint64_t moved = delivered() - atStart;
    sentRate = static_cast<double>(moved) / seconds;
    share = sentRate * 10.0 / static_cast<double>(speed);
    offered = frames;
    dropped = drops;
    linkBytes = static_cast<double>(delivered());
    device.shutdown();
    state.SetIterationTime(seconds);
  }
  const std::string counts = sim.stop();
  unsigned long long records = 0, bytes = 0, skipped = 0;
  std::sscanf(counts.c_str(), "records %llu bytes %llu skipped %llu", &records, &bytes, &skipped);
  decoded = static_cast<double>(bytes);
  setPortLocations(defaultPortLocations());

  state.counters["line_share_%"] = share * 100.0;
  state.counters["bytes_per_s"] = sentRate;
  state.counters["frames_offered"] = offered;
  state.counters["frames_dropped"] = dropped;
  state.counters["skipped_bytes"] = static_cast<double>(skipped);
  std::printf("%lld bit/s: line busy %.1f %% (target >= 95 %%), %.0f bytes/s; %.0f of %.0f frames dropped "
              "whole; the simulator decoded %llu records, %.0f of %.0f bytes, skipped %llu\n",
              static_cast<long long>(speed), share * 100.0, sentRate, dropped, offered, records, decoded, linkBytes,
              skipped);
}

}  // namespace

BENCHMARK(LineShare)->Arg(500000)->Arg(1000000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

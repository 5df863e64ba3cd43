#include "app/MainLoop.h"

#include <algorithm>
#include <cmath>

#include "comsrc/QPClock.h"
#include "link/DeviceLink.h"
#include "link/Devices.h"
#include "multio/Stream.h"
#include "source/ScreenSources.h"

namespace {
constexpr uint32_t kHousekeepingTicks = 100;
constexpr uint32_t kFrameTicks = 4;
constexpr uint32_t kBusySleepMs = 10;
constexpr uint32_t kIdleSleepMs = 50;
constexpr double kTickMs = 10;
// Without a usable frequency the counter is taken to count nanoseconds, as it does on Linux.
constexpr double kFallbackTickLength = 1e9 / 100;
}  // namespace

MainLoop::MainLoop(Devices& devices, ScreenSources& sources, LoopServices& services, comsrc::PerfCounter& counter)
    : devices(devices), sources(sources), services(services), counter(counter), tickLength(kFallbackTickLength) {
  int64_t frequency = 0;
  if (counter.frequency(frequency) && frequency > 0) tickLength = static_cast<double>(frequency) / 100;
}

uint32_t MainLoop::now() const {
  int64_t count = 0;
  if (!counter.now(count)) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<double>(count) / tickLength));
}

void MainLoop::housekeeping() {
  if (!sources.sourceReady) {
    services.discoverDisplays();
    if (sources.sourceReady) services.openLinks();
  } else if (sources.mirrorsExternalMonitor()) {
    if (services.checkDriver() < 0) sources.sourceReady = 0;
  }
  if (devices.linksOpen) {
    for (const auto& link : devices.deviceLinks) {
      multio::Stream* serial = link ? link->serial() : nullptr;
      if (serial && serial->failed()) devices.linksOpen = 0;
    }
  } else if (services.openLinks() == 0) {
    services.rebuildSource();
  }
}

bool MainLoop::pass() {
  if (services.pumpMessage() < 0) return false;
  const uint32_t tick = now();
  if (tick >= lastHousekeeping + kHousekeepingTicks) {
    housekeeping();
    lastHousekeeping = tick;
  }
  if (!(devices.anyDeviceActive && devices.linksOpen && sources.sourceReady)) {
    services.sleep(kIdleSleepMs);
  } else if (tick >= lastFrame + kFrameTicks) {
    services.produceFrame();
    lastFrame = tick;
  } else if (tick - lastFrame < kFrameTicks - 1) {
    services.sleep(kBusySleepMs);
  } else {
    // The last tick before a frame: sleeping to its end starts the frame as punctually as
    // polling through it would, without a core spinning a quarter of the time.
    services.sleep(msToNextTick());
  }
  return true;
}

uint32_t MainLoop::msToNextTick() const {
  int64_t count = 0;
  if (!counter.now(count)) return 1;
  const double intoTick = std::fmod(static_cast<double>(count), tickLength);
  const double ms = std::ceil((tickLength - intoTick) * kTickMs / tickLength);
  return static_cast<uint32_t>(std::clamp(ms, 1.0, kTickMs));
}

void MainLoop::run() {
  while (pass()) {
  }
}

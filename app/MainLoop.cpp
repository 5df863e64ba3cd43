#include "app/MainLoop.h"

#include <algorithm>
#include <cmath>

#include "comsrc/TickClock.h"
#include "link/DeviceLink.h"
#include "link/Devices.h"
#include "multio/Stream.h"
#include "source/ScreenSources.h"

namespace {
constexpr uint32_t kHousekeepingTicks = 100;
constexpr uint32_t kFrameTicks = 4;
constexpr uint32_t kIdleWaitMs = 50;
constexpr double kTickMs = 10;
// 40 ms between capture starts, and a millisecond for the capture's own clock to agree.
constexpr double kChangeFrameMs = 41;
// Without a usable frequency the counter is taken to count nanoseconds, as it does on Linux.
constexpr double kFallbackTickLength = 1e9 / 100;
}  // namespace

StatusFlags statusFlags(const Devices& devices, const ScreenSources& sources) {
  StatusFlags f;
  f.anyDeviceActive = devices.anyDeviceActive;
  f.linksOpen = devices.linksOpen;
  f.sourceReady = sources.sourceReady;
  f.driverFound = sources.driverDisplayFound;
  f.driverAttached = sources.driverDisplayAttached;
  for (size_t i = 0; i < devices.slots.size(); ++i) {
    const DeviceSlot& slot = devices.slots[i];
    if (slot.work.portOk) f.portsOk |= 1u << i;
    multio::Stream* serial = slot.link ? slot.link->serial() : nullptr;
    if (slot.link && (!serial || serial->failed())) f.linksFailed |= 1u << i;
  }
  return f;
}

MainLoop::MainLoop(Devices& devices, ScreenSources& sources, LoopServices& services, comsrc::PerfCounter& counter)
    : devices(devices), sources(sources), services(services), counter(counter), tickLength(kFallbackTickLength) {
  int64_t frequency = 0;
  if (counter.frequency(frequency) && frequency > 0) tickLength = static_cast<double>(frequency) / 100;
  shownStatus = statusFlags(devices, sources);
  if (!counter.suspended(asleep)) asleep = -1;
}

bool MainLoop::resumed() {
  bool woke = services.resumeReported();
  int64_t now = 0;
  if (asleep >= 0 && counter.suspended(now)) {
    // A tenth of a second: the two clocks are read one after the other.
    woke = woke || now - asleep > static_cast<int64_t>(tickLength * 10);
    asleep = now;
  }
  return woke;
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
    if (services.checkDriver() < 0) sources.sourceReady = false;
  }
  if (devices.linksOpen) {
    for (const DeviceSlot& slot : devices.slots) {
      multio::Stream* serial = slot.link ? slot.link->serial() : nullptr;
      if (serial && serial->failed()) devices.linksOpen = false;
    }
  } else if (services.openLinks() == 0) {
    services.rebuildSource();
  }
  // What housekeeping noticed (or a frame before it) shows now, not at the window's next timer.
  const StatusFlags flags = statusFlags(devices, sources);
  if (!(flags == shownStatus)) {
    shownStatus = flags;
    services.showStatus();
  }
}

bool MainLoop::pass() {
  if (services.pumpMessage() == ui::Pumped::quit) return false;
  const uint32_t tick = now();
  // Links may have died with the sleep and devices lost what they showed.
  const bool woke = resumed();
  if (woke) devices.resendAll();
  if (woke || tick >= lastHousekeeping + kHousekeepingTicks) {
    housekeeping();
    lastHousekeeping = tick;
  }
  const uint32_t nextHousekeeping = lastHousekeeping + kHousekeepingTicks;
  if (!(devices.anyDeviceActive && devices.framesFlow() && sources.sourceReady)) {
    services.waitForEvents(std::min(kIdleWaitMs, msUntilTick(nextHousekeeping)), false);
    return true;
  }
  // Asked on every pass: it also takes the source's reports of drawing, so that a wait on the
  // source's connection sleeps until the next one.
  const FrameWork pending = services.changePending();
  const bool gridDue = tick >= lastFrame + kFrameTicks;
  const uint32_t gridWait = msUntilTick(std::min(lastFrame + kFrameTicks, nextHousekeeping));
  if (pending == FrameWork::change) {
    // A change starts its frame at once, off the ticks' grid, a whole capture period after the
    // last change's frame began (or the capture would pass it by); lines resent meanwhile do
    // not hold it back.
    int64_t count = 0;
    const bool timed = counter.now(count);
    const double sinceChange = static_cast<double>(count - lastChangeCount) * kTickMs / tickLength;
    // Without the counter no frame runs, as with the ticks.
    if (!timed || sinceChange < kChangeFrameMs) {
      services.waitForEvents(timed ? static_cast<uint32_t>(std::ceil(kChangeFrameMs - sinceChange)) : kIdleWaitMs, false);
      return true;
    }
    services.produceFrame();
    lastFrame = tick;
    lastChangeCount = count;
    return true;
  }
  if (pending == FrameWork::nothing) {
    // Nothing to do: wait for the next drawing (it wakes the wait) or the next housekeeping.
    services.waitForEvents(msUntilTick(nextHousekeeping), true);
    return true;
  }
  // Lines due to be resent, or a source that cannot tell: frames on the 40 ms grid.
  if (!gridDue) {
    services.waitForEvents(gridWait, pending == FrameWork::resendDue);
    return true;
  }
  services.produceFrame();
  lastFrame = tick;
  return true;
}

uint32_t MainLoop::msUntilTick(uint32_t tick) const {
  int64_t count = 0;
  if (!counter.now(count)) return 1;
  const double ticks = static_cast<double>(count) / tickLength;
  // In whole ticks from the current one, wrapping as the tick numbers do; one already begun
  // (or passed) is due at once.
  const uint32_t ahead = tick - static_cast<uint32_t>(static_cast<uint64_t>(ticks));
  if (ahead == 0 || ahead > kHousekeepingTicks) return 1;
  // Less a hair, so that a rounding error in the division does not cost a whole millisecond.
  const double ms = std::ceil((ahead - (ticks - std::floor(ticks))) * kTickMs - 1e-6);
  return static_cast<uint32_t>(std::clamp(ms, 1.0, kHousekeepingTicks * kTickMs));
}

void MainLoop::run() {
  while (pass()) {
  }
}

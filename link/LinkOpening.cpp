#include "link/LinkOpening.h"

#include <chrono>
#include <thread>

#include "link/DeviceLink.h"
#include "link/Devices.h"
#include "link/PortName.h"
#include "link/SioIF.h"

namespace {

constexpr uint32_t kLinkRingSize = 16384;
constexpr int32_t kProbeSpeed = 9600;

}  // namespace

int32_t findPort(int32_t start, int32_t step) {
  if (start < kFirstPort) start = kFirstPort;
  if (start > kLastPort) start = kLastPort;
  step = step < 0 ? -1 : 1;  // any other step could pass start by and never end
  int32_t n = start;
  for (;;) {
    n += step;
    if (n > kLastPort) n = kFirstPort;
    if (n < kFirstPort) n = kLastPort;
    char name[64];
    formatPortName(n, name, sizeof name);
    const bool found = !SioIF(name, kProbeSpeed, 0).failed();
    if (n == start) return found ? n : -1;
    if (found) return n;
  }
}

int32_t openLinks(Devices& devices) {
  devices.linksOpen = false;
  devices.anyDeviceActive = false;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  devices.closeLinks();
  for (DeviceSlot& each : devices.slots) {
    const DeviceSettings& slot = each.settings;
    if (!slot.active) continue;
    devices.anyDeviceActive = true;
    char name[128];
    formatPortName(slot.port, name, sizeof name);
    auto link = std::make_unique<DeviceLink>(name, slot.speed, slot.cts != 0);
    link->sizeRing(kLinkRingSize);
    applyDeviceSettings(slot, *link);
    multio::Stream* serial = link->serial();
    const bool portOk = serial && !serial->failed();
    each.work.portOk = portOk;
    each.work.workStride = kPanelWidth;
    if (portOk) devices.linksOpen = true;
    each.link = std::move(link);
  }
  return devices.linksOpen ? 0 : -1;
}

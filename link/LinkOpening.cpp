#include "link/LinkOpening.h"

#include <chrono>
#include <memory>
#include <thread>
#include <vector>
#include <array>

#include "link/DeviceLink.h"
#include "link/Devices.h"
#include "link/PortName.h"
#include "link/SerialPort.h"
#include "link/StandInPort.h"

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
    const bool found = !SerialPort(name, kProbeSpeed, 0).failed();
    if (n == start) return found ? n : -1;
    if (found) return n;
  }
}

int32_t openLinks(Devices& devices) {
  devices.linksOpen = false;
  devices.anyDeviceActive = false;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  // A stand-in made again keeps what the last one showed: the port is tried every second.
  std::array<std::unique_ptr<ShownLines>, kDeviceSlotCount> standInShown;
  for (size_t i = 0; i < devices.slots.size(); ++i) {
    DeviceSlot& s = devices.slots[i];
    if (s.link && s.work.standIn) standInShown[i] = std::make_unique<ShownLines>(s.link->shown);
    s.work.standIn = false;
  }
  devices.closeLinks();
  for (size_t i = 0; i < devices.slots.size(); ++i) {
    DeviceSlot& each = devices.slots[i];
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
    if (!portOk && devices.standInsWanted) {
      link->shutdown();
      link = std::make_unique<DeviceLink>(std::make_unique<StandInPort>(), slot.speed);
      link->sizeRing(kLinkRingSize);
      applyDeviceSettings(slot, *link);
      if (standInShown[i]) link->shown = *standInShown[i];
      each.work.standIn = true;
    }
    each.work.portOk = portOk;
    each.work.workStride = kPanelWidth;
    if (portOk) devices.linksOpen = true;
    each.link = std::move(link);
  }
  return devices.linksOpen ? 0 : -1;
}

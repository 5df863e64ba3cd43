#include "link/LinkOpening.h"

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "link/DeviceLink.h"
#include "link/Devices.h"
#include "link/PortName.h"
#include "link/SioIF.h"
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
    const bool found = !SioIF(name, kProbeSpeed, 0).failed();
    if (n == start) return found ? n : -1;
    if (found) return n;
  }
}

int32_t openLinks(Devices& devices) {
  devices.linksOpen = 0;
  devices.anyDeviceActive = 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  // A stand-in made again keeps what the last one showed: the port is tried every second.
  std::vector<std::unique_ptr<ShownLines>> standInShown(devices.deviceSlots.size());
  for (size_t i = 0; i < standInShown.size() && i < devices.deviceWork.size(); ++i) {
    const DeviceLink* old = devices.link(i);
    if (old && devices.deviceWork[i].standIn) standInShown[i] = std::make_unique<ShownLines>(old->shown);
    devices.deviceWork[i].standIn = 0;
  }
  devices.closeLinks();
  for (size_t i = 0; i < devices.deviceSlots.size(); ++i) {
    const DeviceSettings& slot = devices.deviceSlots[i];
    if (!slot.active) {
      devices.deviceLinks.emplace_back();
      continue;
    }
    devices.anyDeviceActive = 1;
    char name[128];
    formatPortName(slot.port, name, sizeof name);
    auto link = std::make_unique<DeviceLink>(name, slot.speed, slot.cts != 0);
    link->sizeRing(kLinkRingSize);
    applyDeviceSettings(slot, *link);
    multio::Stream* serial = link->serial();
    const int32_t portOk = serial && !serial->failed() ? 1 : 0;
    if (!portOk && devices.standInsWanted && i < devices.deviceWork.size()) {
      link->shutdown();
      link = std::make_unique<DeviceLink>(std::make_unique<StandInPort>(), slot.speed);
      link->sizeRing(kLinkRingSize);
      applyDeviceSettings(slot, *link);
      if (standInShown[i]) link->shown = *standInShown[i];
      devices.deviceWork[i].standIn = 1;
    }
    if (i < devices.deviceWork.size()) {
      devices.deviceWork[i].portOk = portOk;
      devices.deviceWork[i].workStride = kPanelWidth;
    }
    if (portOk) devices.linksOpen = 1;
    devices.deviceLinks.push_back(std::move(link));
  }
  return devices.linksOpen ? 0 : -1;
}

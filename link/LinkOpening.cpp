#include "link/LinkOpening.h"

#include <chrono>
#include <thread>

#include "app/AppState.h"
#include "link/DeviceLink.h"
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

int32_t openLinks(AppState& app) {
  app.linksOpen = 0;
  app.anyDeviceActive = 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (auto& link : app.deviceLinks)
    if (link) link->shutdown();
  app.deviceLinks.clear();
  for (DeviceSettings& slot : app.deviceSlots) {
    if (!slot.active) {
      app.deviceLinks.emplace_back();
      continue;
    }
    app.anyDeviceActive = 1;
    char name[128];
    formatPortName(slot.port, name, sizeof name);
    auto link = std::make_unique<DeviceLink>(name, slot.speed, slot.cts != 0);
    link->sizeRing(kLinkRingSize);
    link->area = comsrc::rectAt(slot.posX, slot.posY, kPanelWidth, kPanelHeight);
    slot.workStride = kPanelWidth;
    link->rotate = slot.rotate;
    link->invert = slot.invert != 0;
    multio::Stream* serial = link->serial();
    slot.portOk = serial && !serial->failed() ? 1 : 0;
    if (slot.portOk) app.linksOpen = 1;
    app.deviceLinks.push_back(std::move(link));
  }
  return app.linksOpen ? 0 : -1;
}

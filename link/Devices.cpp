#include "link/Devices.h"

void applyDeviceSettings(const DeviceSettings& settings, DeviceLink& link) {
  link.area = comsrc::rectAt(settings.posX, settings.posY, kPanelWidth, kPanelHeight);
  link.invert = settings.invert != 0 ? 1 : 0;
  link.rotate = settings.rotate == 2 ? 2 : 0;  // the window stores no other turn
}

void Devices::applySettings(size_t slot) {
  DeviceLink* l = link(slot);
  if (l && slot < deviceSlots.size()) applyDeviceSettings(deviceSlots[slot], *l);
}

void Devices::closeLinks() {
  for (auto& l : deviceLinks)
    if (l) l->shutdown();
  deviceLinks.clear();
}

void Devices::resendAll() {
  for (auto& l : deviceLinks)
    if (l) l->shown.resendAll();
}

bool Devices::resendDue() const {
  for (size_t i = 0; i < deviceLinks.size(); ++i) {
    if (!feeds(i)) continue;
    const ShownLines& shown = deviceLinks[i]->shown;
    if (shown.dueCount() > 0 || shown.heldBackCount() > 0) return true;
  }
  return false;
}

bool Devices::feeds(size_t slot) const {
  if (!link(slot) || slot >= deviceWork.size()) return false;
  return deviceWork[slot].standIn || (deviceWork[slot].portOk && linksOpen);
}

bool Devices::framesFlow() const {
  if (linksOpen) return true;
  for (size_t i = 0; i < deviceLinks.size() && i < deviceWork.size(); ++i)
    if (deviceLinks[i] && deviceWork[i].standIn) return true;
  return false;
}

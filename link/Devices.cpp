#include "link/Devices.h"

void applyDeviceSettings(const DeviceSettings& settings, DeviceLink& link) {
  link.area = comsrc::rectAt(settings.posX, settings.posY, kPanelWidth, kPanelHeight);
  link.invert = settings.invert != 0 ? 1 : 0;
  link.rotate = settings.rotate == 2 ? 2 : 0;  // the window stores no other turn
}

DeviceSlots Devices::settings() const {
  DeviceSlots out;
  out.reserve(slots.size());
  for (const DeviceSlot& s : slots) out.push_back(s.settings);
  return out;
}

void Devices::takeSettings(const DeviceSlots& settings) {
  for (size_t i = 0; i < slots.size() && i < settings.size(); ++i) slots[i].settings = settings[i];
}

bool Devices::anyLink() const {
  for (const DeviceSlot& s : slots)
    if (s.link) return true;
  return false;
}

void Devices::applySettings(size_t slot) {
  if (DeviceLink* l = link(slot)) applyDeviceSettings(slots[slot].settings, *l);
}

void Devices::closeLinks() {
  for (DeviceSlot& s : slots)
    if (s.link) s.link->shutdown();
  for (DeviceSlot& s : slots) s.link.reset();
}

void Devices::resendAll() {
  for (DeviceSlot& s : slots)
    if (s.link) s.link->shown.resendAll();
}

bool Devices::resendDue() const {
  for (size_t i = 0; i < slots.size(); ++i) {
    if (!feeds(i)) continue;
    const ShownLines& shown = slots[i].link->shown;
    if (shown.dueCount() > 0 || shown.heldBackCount() > 0) return true;
  }
  return false;
}

bool Devices::feeds(size_t slot) const {
  if (!link(slot)) return false;
  const DeviceWork& work = slots[slot].work;
  return work.standIn || (work.portOk && linksOpen);
}

bool Devices::framesFlow() const {
  if (linksOpen) return true;
  for (const DeviceSlot& s : slots)
    if (s.link && s.work.standIn) return true;
  return false;
}

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "comsrc/ZeroedArray.h"
#include "link/DeviceLink.h"
#include "settings/DeviceSettings.h"

// What a slot needs at run time beside its settings: whether its port opened, and the device's
// dithered picture, which outlives the slot's links so that a reopened link resumes from it.
struct DeviceWork {
  bool portOk = false;
  // The port did not open and the link is a stand-in that drops what it is sent (see openLinks).
  bool standIn = false;
  comsrc::ZeroedArray<int32_t> workPixels{size_t{kPanelWidth} * kPanelHeight};
  int32_t workStride = 0;
};

// One device slot: what the user set, what it needs at run time, and its link (null while the
// links are closed and for an inactive slot).
struct DeviceSlot {
  DeviceSettings settings;
  DeviceWork work;
  std::unique_ptr<DeviceLink> link;
};

// The devices: the four slots.
struct Devices {
  std::array<DeviceSlot, kDeviceSlotCount> slots;
  bool anyDeviceActive = true;
  bool linksOpen = false;
  // While set, openLinks gives an active slot whose port does not open a stand-in link, so that
  // its picture is still made (the panel preview shows it) with no device plugged in.
  bool standInsWanted = false;

  DeviceLink* link(size_t slot) const { return slot < slots.size() ? slots[slot].link.get() : nullptr; }
  // Every slot's settings, as the settings file keeps them, and back.
  DeviceSlots settings() const;
  void takeSettings(const DeviceSlots& settings);
  // Whether any slot has a link.
  bool anyLink() const;
  // The slot's area, inversion and rotation, from its settings into its link (if it has one).
  void applySettings(size_t slot);
  // Shuts every link down and forgets them.
  void closeLinks();
  // Every line of every device is sent again over the next frames, whatever it shows.
  void resendAll();
  // Whether a device whose port opened (or its stand-in) has lines due or held back.
  bool resendDue() const;
  // Whether frames are made for the slot: its link's port opened (and no port has been lost
  // since), or the link is a stand-in.
  bool feeds(size_t slot) const;
  // Whether frames are made at all: the links are open, or a stand-in is there.
  bool framesFlow() const;
};

// The one derivation of a device's output from its settings: the 400 × 240 area at its
// position, its inversion and its rotation.
void applyDeviceSettings(const DeviceSettings& settings, DeviceLink& link);

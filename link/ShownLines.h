#pragma once

#include <cstdint>

#include "settings/DeviceSettings.h"

// What a device shows, as far as this side knows: for each panel address the pixel bytes of the
// last line queued to it; which lines hold news the device has not been sent yet (held back for
// room on the line); and which are due to be sent again whatever they hold (the forced refresh,
// a link just opened). Only the main thread touches it.
class ShownLines {
 public:
  static constexpr int32_t kLines = kPanelHeight;
  static constexpr int32_t kBytes = kPanelWidth / 8;

  // Addresses run from 1 to kLines; any other address is never known.
  bool shows(int32_t address, const uint8_t* bytes) const;
  // The line was queued: it is neither held back nor due any more.
  void remember(int32_t address, const uint8_t* bytes);
  bool isDue(int32_t address) const { return valid(address) && due_[address - 1] != 0; }
  // The bytes remembered for address, or null when it is not known.
  const uint8_t* line(int32_t address) const { return valid(address) && known_[address - 1] ? bytes_[address - 1] : nullptr; }
  // Counts the remembered lines that changed what is known, so that a reader sees a change
  // without comparing every line.
  uint32_t changes() const { return changes_; }

  // Every line is due again. The refresh goes on from the line after the last one it sent, so
  // a new round never starts over at the top while the last one is under way.
  void resendAll();
  void markDue(int32_t address);
  int32_t dueCount() const { return dueCount_; }
  // The next due address from where the refresh stopped, wrapping, that `skip` does not
  // reject; 0 when none is due. The refresh then stands after it.
  template <class Skip>
  int32_t nextDue(Skip skip) {
    for (int32_t i = 0; i < kLines && dueCount_ > 0; ++i) {
      const int32_t address = (cursor_ + i) % kLines + 1;
      if (!due_[address - 1] || skip(address)) continue;
      cursor_ = address % kLines;
      return address;
    }
    return 0;
  }

  // A line with news that did not fit on the line this frame: it goes ahead of the refresh in a
  // later frame, with whatever it holds then.
  void holdBack(int32_t address);
  // The device shows the held-back line's content after all.
  void release(int32_t address);
  bool isHeldBack(int32_t address) const { return valid(address) && held_[address - 1] != 0; }
  int32_t heldBackCount() const { return heldCount_; }

 private:
  static bool valid(int32_t address) { return address >= 1 && address <= kLines; }

  uint8_t bytes_[kLines][kBytes] = {};
  uint8_t known_[kLines] = {};
  uint8_t due_[kLines] = {};
  uint8_t held_[kLines] = {};
  int32_t dueCount_ = 0;
  int32_t heldCount_ = 0;
  int32_t cursor_ = 0;  // index of the address the refresh looks at first
  uint32_t changes_ = 0;
};

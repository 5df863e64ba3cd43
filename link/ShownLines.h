#pragma once

#include <cstdint>

#include "settings/DeviceSettings.h"

// What a device shows, as far as this side knows: for each panel address the pixel bytes of the
// last line queued to it, and which lines are due to be sent again whatever they hold (after
// the forced refresh, and for a link just opened). Only the main thread touches it.
class ShownLines {
 public:
  static constexpr int32_t kLines = kPanelHeight;
  static constexpr int32_t kBytes = kPanelWidth / 8;

  // Addresses run from 1 to kLines; any other address is never known.
  bool shows(int32_t address, const uint8_t* bytes) const;
  void remember(int32_t address, const uint8_t* bytes);
  bool isDue(int32_t address) const { return valid(address) && due_[address - 1] != 0; }
  // The bytes remembered for address, or null when it is not known.
  const uint8_t* line(int32_t address) const { return valid(address) && known_[address - 1] ? bytes_[address - 1] : nullptr; }
  // Counts the remembered lines that changed what is known, so that a reader sees a change
  // without comparing every line.
  uint32_t changes() const { return changes_; }

  // Every line is due again; the next frames resend them a few at a time.
  void resendAll();
  void markDue(int32_t address);
  int32_t dueCount() const { return dueCount_; }

 private:
  static bool valid(int32_t address) { return address >= 1 && address <= kLines; }

  uint8_t bytes_[kLines][kBytes] = {};
  uint8_t known_[kLines] = {};
  uint8_t due_[kLines] = {};
  int32_t dueCount_ = 0;
  uint32_t changes_ = 0;
};

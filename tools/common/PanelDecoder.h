#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The device's side of the serial stream: 57-byte line records (0x80, 0x80, address 1 to 240,
// 50 bytes of pixels, four zero bytes) drawn into a 400 x 240 panel. Bytes that do not form a
// valid record are skipped one at a time until the next valid record starts.
class PanelDecoder {
 public:
  static constexpr int kWidth = 400;
  static constexpr int kHeight = 240;
  static constexpr int kRecordSize = 57;
  static constexpr int kDataBytes = 50;

  PanelDecoder();

  void feed(const uint8_t* data, size_t length);
  // Counts a trailing part of a record that will never be completed as skipped.
  void finish();
  void clear();

  // 1 when the pixel is bright; x 0..399 from the left, y 0..239 from the top (address 1).
  uint8_t pixel(int x, int y) const { return panel_[static_cast<size_t>(y) * kWidth + x]; }
  const std::vector<uint8_t>& panel() const { return panel_; }
  // The panel as 8-bit grey, 255 bright and 0 dark, row after row.
  std::vector<uint8_t> grey() const;

  uint64_t records() const { return records_; }
  uint64_t bytes() const { return bytes_; }
  uint64_t skipped() const { return skipped_; }
  size_t pending() const { return held_; }
  // The address (1..240) of the last record decoded, and how many of its pixels are bright.
  int lastAddress() const { return lastAddress_; }
  int lastBright() const { return lastBright_; }

 private:
  // Whether held byte i may stand at offset i of a record.
  static bool byteFits(size_t i, uint8_t v);
  bool prefixValid() const;
  void decode();
  void dropFirst();

  std::vector<uint8_t> panel_;
  std::array<uint8_t, kRecordSize> hold_{};
  size_t held_ = 0;
  uint64_t records_ = 0;
  uint64_t bytes_ = 0;
  uint64_t skipped_ = 0;
  int lastAddress_ = 0;
  int lastBright_ = 0;
};

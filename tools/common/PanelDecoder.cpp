#include "tools/common/PanelDecoder.h"

#include <cstring>

PanelDecoder::PanelDecoder() : panel_(static_cast<size_t>(kWidth) * kHeight, 0) {}

void PanelDecoder::clear() {
  std::fill(panel_.begin(), panel_.end(), 0);
  held_ = 0;
  records_ = bytes_ = skipped_ = 0;
  lastAddress_ = lastBright_ = 0;
}

bool PanelDecoder::byteFits(size_t i, uint8_t v) {
  if (i < 2) return v == 0x80;
  if (i == 2) return v >= 1 && v <= kHeight;
  if (i >= 3 + kDataBytes) return v == 0;
  return true;
}

bool PanelDecoder::prefixValid() const {
  for (size_t i = 0; i < held_; ++i)
    if (!byteFits(i, hold_[i])) return false;
  return true;
}

void PanelDecoder::dropFirst() {
  std::memmove(hold_.data(), hold_.data() + 1, held_ - 1);
  --held_;
  ++skipped_;
}

void PanelDecoder::decode() {
  uint8_t* row = panel_.data() + static_cast<size_t>(hold_[2] - 1) * kWidth;
  int bright = 0;
  for (int k = 0; k < kDataBytes; ++k) {
    const uint8_t v = hold_[3 + k];
    for (int b = 0; b < 8; ++b) row[8 * k + b] = (v >> b) & 1;
    bright += __builtin_popcount(v);
  }
  lastAddress_ = hold_[2];
  lastBright_ = bright;
  ++records_;
  held_ = 0;
}

void PanelDecoder::feed(const uint8_t* data, size_t length) {
  bytes_ += length;
  for (size_t i = 0; i < length; ++i) {
    hold_[held_] = data[i];
    ++held_;
    // A byte that breaks the record so far means no record starts at the first held byte:
    // drop bytes until what is held could again be the start of one.
    if (!byteFits(held_ - 1, data[i])) {
      do {
        dropFirst();
      } while (held_ > 0 && !prefixValid());
    }
    if (held_ == kRecordSize) decode();
  }
}

void PanelDecoder::finish() {
  skipped_ += held_;
  held_ = 0;
}

std::vector<uint8_t> PanelDecoder::grey() const {
  std::vector<uint8_t> out(panel_.size());
  for (size_t i = 0; i < panel_.size(); ++i) out[i] = panel_[i] ? 255 : 0;
  return out;
}

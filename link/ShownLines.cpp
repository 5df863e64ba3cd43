#include "link/ShownLines.h"

#include <cstring>

bool ShownLines::shows(int32_t address, const uint8_t* bytes) const {
  if (!valid(address) || !known_[address - 1]) return false;
  return std::memcmp(bytes_[address - 1], bytes, kBytes) == 0;
}

void ShownLines::remember(int32_t address, const uint8_t* bytes) {
  if (!valid(address)) return;
  if (!known_[address - 1] || std::memcmp(bytes_[address - 1], bytes, kBytes) != 0) {
    std::memcpy(bytes_[address - 1], bytes, kBytes);
    known_[address - 1] = 1;
    ++changes_;
  }
  if (due_[address - 1]) {
    due_[address - 1] = 0;
    --dueCount_;
  }
  if (held_[address - 1]) {
    held_[address - 1] = 0;
    --heldCount_;
  }
}

void ShownLines::resendAll() {
  std::memset(due_, 1, sizeof due_);
  dueCount_ = kLines;
}

void ShownLines::markDue(int32_t address) {
  if (!valid(address) || due_[address - 1]) return;
  due_[address - 1] = 1;
  ++dueCount_;
}

void ShownLines::holdBack(int32_t address) {
  if (!valid(address) || held_[address - 1]) return;
  held_[address - 1] = 1;
  ++heldCount_;
}

void ShownLines::release(int32_t address) {
  if (!valid(address) || !held_[address - 1]) return;
  held_[address - 1] = 0;
  --heldCount_;
}

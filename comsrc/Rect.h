#pragma once

#include <algorithm>
#include <cstdint>

namespace comsrc {

// Left, top, right, bottom, with right and bottom exclusive; the same layout as a Win32 RECT.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  constexpr int32_t width() const { return right - left; }
  constexpr int32_t height() const { return bottom - top; }
  constexpr bool isEmpty() const { return left >= right || top >= bottom; }
  friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// The overlap of a and b; false and an all-zero rectangle when they do not overlap.
constexpr bool intersectRect(Rect& out, const Rect& a, const Rect& b) {
  Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (r.isEmpty()) {
    out = Rect{};
    return false;
  }
  out = r;
  return true;
}

// The smallest rectangle holding both; an empty one adds nothing.
constexpr Rect boundingRect(const Rect& a, const Rect& b) {
  if (a.isEmpty()) return b;
  if (b.isEmpty()) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

// The rectangle of the given size whose top-left corner is (left, top). Corners past the
// coordinate range stop at its end, so that a position read from a file cannot overflow.
constexpr Rect rectAt(int32_t left, int32_t top, int32_t width, int32_t height) {
  const auto edge = [](int32_t origin, int32_t size) {
    return int32_t(std::clamp<int64_t>(int64_t{origin} + size, INT32_MIN, INT32_MAX));
  };
  return {left, top, edge(left, width), edge(top, height)};
}

constexpr Rect offsetRect(Rect r, int32_t dx, int32_t dy) { return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

}  // namespace comsrc

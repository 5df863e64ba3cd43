#include "comsrc/Region.h"

#include <cmath>
#include <cstdint>
#include <limits>

// The operations that need no platform call; the rest live in the platform's Region_ file.
namespace comsrc {

namespace {

int32_t clampToInt32(double v) {
  if (!(v == v)) return 0;  // NaN
  if (v <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (v >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(v);
}

// trunc(factor * v) + d, kept inside 32 bits.
int32_t scaleEdge(int32_t v, double factor, int32_t d) {
  return clampToInt32(std::trunc(factor * static_cast<double>(v)) + static_cast<double>(d));
}

Rect scaleRect(const Rect& r, double factor, int32_t g) {
  return {scaleEdge(r.left, factor, -g), scaleEdge(r.top, factor, -g), scaleEdge(r.right, factor, g),
          scaleEdge(r.bottom, factor, g)};
}

}  // namespace

Region::Region() = default;

Region::~Region() { Region::clear(); }

Region::Region(const Region& other) { Region::copyFrom(other); }

Region::Region(Region&& other) noexcept : rgn(other.rgn), box(other.box) { other.rgn = nullptr; }

Region& Region::operator=(const Region& other) {
  copyFrom(other);
  return *this;
}

Region& Region::operator=(Region&& other) noexcept {
  if (this != &other) {
    Region::clear();
    rgn = other.rgn;
    box = other.box;
    other.rgn = nullptr;
  }
  return *this;
}

Region& Region::assign(const Rect& rect) {
  setRect(rect);
  return *this;
}

Region& Region::unite(const Rect& rect) {
  uniteRect(rect);
  return *this;
}

Region& Region::unite(const Region& other) {
  uniteRegion(other);
  return *this;
}

Region& Region::subtract(const Rect& rect) {
  subtractRect(rect);
  return *this;
}

Region& Region::subtract(const Region& other) {
  subtractRegion(other);
  return *this;
}

Region& Region::intersect(const Rect& rect) {
  intersectRect(rect);
  return *this;
}

Region& Region::intersect(const Region& other) {
  intersectRegion(other);
  return *this;
}

Region& Region::xorWith(const Rect& rect) {
  xorRect(rect);
  return *this;
}

Region& Region::xorWith(const Region& other) {
  xorRegion(other);
  return *this;
}

Region Region::united(const Rect& rect) const {
  Region r(*this);
  r.uniteRect(rect);
  return r;
}

Region Region::united(const Region& other) const {
  Region r(*this);
  r.uniteRegion(other);
  return r;
}

Region Region::subtracted(const Rect& rect) const {
  Region r(*this);
  r.subtractRect(rect);
  return r;
}

Region Region::subtracted(const Region& other) const {
  Region r(*this);
  r.subtractRegion(other);
  return r;
}

Region Region::intersected(const Rect& rect) const {
  Region r(*this);
  r.intersectRect(rect);
  return r;
}

Region Region::intersected(const Region& other) const {
  Region r(*this);
  r.intersectRegion(other);
  return r;
}

Region Region::xored(const Rect& rect) const {
  Region r(*this);
  r.xorRect(rect);
  return r;
}

Region Region::xored(const Region& other) const {
  Region r(*this);
  r.xorRegion(other);
  return r;
}

bool Region::equals(const Rect& rect) const { return equalsRect(rect); }

bool Region::equals(const Region& other) const { return equalsRegion(other); }

void Region::setRect(const Rect& rect) { setRect(rect.left, rect.top, rect.right, rect.bottom); }

bool Region::equalsRect(const Rect& rect) const {
  Region tmp;
  tmp.setRect(rect);
  return equalsRegion(tmp);
}

bool Region::isEmpty() {
  const Rect* b = boundingBox();
  return b->right <= b->left && b->bottom <= b->top;
}

int32_t Region::uniteRect(const Rect& rect) {
  Region tmp;
  tmp.setRect(rect);
  return uniteRegion(tmp);
}

int32_t Region::intersectRect(const Rect& rect) {
  Region tmp;
  tmp.setRect(rect);
  return intersectRegion(tmp);
}

int32_t Region::subtractRect(const Rect& rect) {
  Region tmp;
  tmp.setRect(rect);
  return subtractRegion(tmp);
}

int32_t Region::xorRect(const Rect& rect) {
  Region tmp;
  tmp.setRect(rect);
  return xorRegion(tmp);
}

int32_t Region::scale(double factor, uint8_t grow) {
  if (factor == 1.0) return 0;
  const int32_t g = grow != 0 ? 1 : 0;
  Rect rects[512];  // 8192 bytes: the header and 510 rectangles
  static_assert(sizeof(rects) == 8192);
  const int32_t n = rectangles(rects, sizeof(rects));
  Region scaled;
  if (n < 0) {
    scaled.setRect(scaleRect(*boundingBox(), factor, g));
  } else {
    for (int32_t i = 0; i < n; ++i) scaled.uniteRect(scaleRect(rects[i], factor, g));
  }
  copyFrom(scaled);
  return n < 0 ? -1 : 0;
}

void* Region::handle() const { return rgn; }

}  // namespace comsrc

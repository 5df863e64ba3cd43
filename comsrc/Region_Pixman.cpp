#include <pixman.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "comsrc/Region.h"

// The region on a pixman_region32_t, with the results the GDI region gives.
namespace comsrc {

namespace {

static_assert(sizeof(pixman_box32_t) == sizeof(Rect));

pixman_region32_t* px(void* h) { return static_cast<pixman_region32_t*>(h); }

int32_t complexity(const pixman_region32_t* r, pixman_bool_t ok) {
  if (!ok) return Region::kError;
  const int n = pixman_region32_n_rects(r);
  return n == 0 ? Region::kNullRegion : n == 1 ? Region::kSimpleRegion : Region::kComplexRegion;
}

pixman_region32_t* makeEmpty() {
  auto* r = new (std::nothrow) pixman_region32_t;
  if (r != nullptr) pixman_region32_init(r);
  return r;
}

}  // namespace

void Region::setRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  // Edges given in reverse order are put in order, as a GDI region does.
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (rgn == nullptr) {
    rgn = makeEmpty();
    if (rgn == nullptr) return;
  }
  pixman_region32_fini(px(rgn));
  if (left == right || top == bottom) {
    pixman_region32_init(px(rgn));
  } else {
    const pixman_box32_t extents{left, top, right, bottom};
    pixman_region32_init_with_extents(px(rgn), &extents);
  }
}

int32_t Region::copyFrom(const Region& other) {
  if (other.rgn == nullptr) return clear();
  if (rgn == nullptr) {
    rgn = makeEmpty();
    if (rgn == nullptr) return kError;
  }
  return complexity(px(rgn), pixman_region32_copy(px(rgn), px(other.rgn)));
}

int32_t Region::clear() {
  if (rgn != nullptr) {
    pixman_region32_fini(px(rgn));
    delete px(rgn);
    rgn = nullptr;
  }
  return 0;
}

int32_t Region::uniteRegion(const Region& other) {
  if (other.rgn == nullptr) return 0;
  if (rgn == nullptr) return copyFrom(other);
  return complexity(px(rgn), pixman_region32_union(px(rgn), px(rgn), px(other.rgn)));
}

int32_t Region::subtractRegion(const Region& other) {
  if (rgn == nullptr || other.rgn == nullptr) return 0;
  return complexity(px(rgn), pixman_region32_subtract(px(rgn), px(rgn), px(other.rgn)));
}

int32_t Region::intersectRegion(const Region& other) {
  if (rgn == nullptr || other.rgn == nullptr) return clear();
  return complexity(px(rgn), pixman_region32_intersect(px(rgn), px(rgn), px(other.rgn)));
}

int32_t Region::xorRegion(const Region& other) {
  if (other.rgn == nullptr) return 0;
  if (rgn == nullptr) return copyFrom(other);
  // pixman has no exclusive-or: (a | b) - (a & b).
  pixman_region32_t both, common;
  pixman_region32_init(&both);
  pixman_region32_init(&common);
  const pixman_bool_t ok = pixman_region32_union(&both, px(rgn), px(other.rgn)) &&
                           pixman_region32_intersect(&common, px(rgn), px(other.rgn)) &&
                           pixman_region32_subtract(px(rgn), &both, &common);
  pixman_region32_fini(&both);
  pixman_region32_fini(&common);
  return complexity(px(rgn), ok);
}

bool Region::equalsRegion(const Region& other) const {
  // No handle is the empty set, equal to any other empty region. Emptiness is checked first
  // because an emptied pixman region keeps stale extents, which pixman compares.
  const bool mine = rgn != nullptr && pixman_region32_not_empty(px(rgn));
  const bool theirs = other.rgn != nullptr && pixman_region32_not_empty(px(other.rgn));
  if (!mine || !theirs) return mine == theirs;
  return pixman_region32_equal(px(rgn), px(other.rgn));
}

void Region::offset(int32_t dx, int32_t dy) {
  if (rgn != nullptr) pixman_region32_translate(px(rgn), dx, dy);
}

const Rect* Region::boundingBox() {
  if (rgn != nullptr && pixman_region32_not_empty(px(rgn))) {
    const pixman_box32_t* e = pixman_region32_extents(px(rgn));
    box = Rect{e->x1, e->y1, e->x2, e->y2};
  } else {
    box = Rect{};
  }
  return &box;
}

int32_t Region::rectangles(void* buffer, uint32_t size) const {
  if (rgn == nullptr) return 0;
  int n = 0;
  const pixman_box32_t* boxes = pixman_region32_rectangles(px(rgn), &n);
  const uint64_t need = kDataHeaderBytes + uint64_t{kDataRectBytes} * static_cast<uint32_t>(n);
  if (buffer == nullptr || size < need) return -1;
  if (n > 0) std::memmove(buffer, boxes, static_cast<size_t>(n) * sizeof(pixman_box32_t));
  return n;
}

}  // namespace comsrc

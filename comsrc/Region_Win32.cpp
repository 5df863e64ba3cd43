#include <windows.h>

#include <cstring>

#include "comsrc/Region.h"

// The region on a GDI region handle.
namespace comsrc {

namespace {

static_assert(sizeof(RECT) == sizeof(Rect));
static_assert(sizeof(RGNDATAHEADER) == Region::kDataHeaderBytes);
static_assert(Region::kError == ERROR && Region::kNullRegion == NULLREGION && Region::kSimpleRegion == SIMPLEREGION &&
              Region::kComplexRegion == COMPLEXREGION);

HRGN h(void* p) { return static_cast<HRGN>(p); }

bool holdsPixels(void* p) {
  RECT rc;
  return p != nullptr && GetRgnBox(h(p), &rc) > NULLREGION;
}

}  // namespace

void Region::setRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (rgn != nullptr)
    SetRectRgn(h(rgn), left, top, right, bottom);
  else
    rgn = CreateRectRgn(left, top, right, bottom);
}

int32_t Region::copyFrom(const Region& other) {
  if (other.rgn == nullptr) return clear();
  if (rgn == nullptr) {
    rgn = CreateRectRgn(0, 0, 1, 1);
    if (rgn == nullptr) return kError;
  }
  return CombineRgn(h(rgn), h(other.rgn), h(other.rgn), RGN_COPY);
}

int32_t Region::clear() {
  if (rgn != nullptr) {
    DeleteObject(h(rgn));
    rgn = nullptr;
  }
  return 0;
}

int32_t Region::uniteRegion(const Region& other) {
  if (other.rgn == nullptr) return 0;
  if (rgn == nullptr) return copyFrom(other);
  return CombineRgn(h(rgn), h(rgn), h(other.rgn), RGN_OR);
}

int32_t Region::subtractRegion(const Region& other) {
  if (rgn == nullptr || other.rgn == nullptr) return 0;
  return CombineRgn(h(rgn), h(rgn), h(other.rgn), RGN_DIFF);
}

int32_t Region::intersectRegion(const Region& other) {
  if (rgn == nullptr || other.rgn == nullptr) return clear();
  return CombineRgn(h(rgn), h(rgn), h(other.rgn), RGN_AND);
}

int32_t Region::xorRegion(const Region& other) {
  if (other.rgn == nullptr) return 0;
  if (rgn == nullptr) return copyFrom(other);
  return CombineRgn(h(rgn), h(rgn), h(other.rgn), RGN_XOR);
}

bool Region::equalsRegion(const Region& other) const {
  // No handle is the empty set, equal to any other empty region.
  const bool mine = holdsPixels(rgn), theirs = holdsPixels(other.rgn);
  if (!mine || !theirs) return mine == theirs;
  return EqualRgn(h(rgn), h(other.rgn)) != 0;
}

void Region::offset(int32_t dx, int32_t dy) {
  if (rgn != nullptr) OffsetRgn(h(rgn), dx, dy);
}

const Rect* Region::boundingBox() {
  RECT rc;
  if (rgn != nullptr && GetRgnBox(h(rgn), &rc) != ERROR)
    box = Rect{rc.left, rc.top, rc.right, rc.bottom};
  else
    box = Rect{};
  return &box;
}

int32_t Region::rectangles(void* buffer, uint32_t size) const {
  if (rgn == nullptr) return 0;
  if (buffer == nullptr) return -1;
  if (GetRegionData(h(rgn), size, static_cast<RGNDATA*>(buffer)) == 0) return -1;
  RGNDATAHEADER header;
  std::memcpy(&header, buffer, sizeof(header));
  if (kDataHeaderBytes + uint64_t{kDataRectBytes} * header.nCount > size) return -1;
  std::memmove(buffer, static_cast<const char*>(buffer) + kDataHeaderBytes, size_t{kDataRectBytes} * header.nCount);
  return static_cast<int32_t>(header.nCount);
}

}  // namespace comsrc

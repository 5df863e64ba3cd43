#pragma once

#include <cstdint>

#include "comsrc/Rect.h"

namespace comsrc {

// A set of pixels held in the platform's region object (a GDI region on Windows, a pixman
// region elsewhere). Having no handle stands for the empty set; an operation makes the handle
// when it first needs one. The "...Region"/"...Rect" operations return what the combine gave:
// kNullRegion, kSimpleRegion (one rectangle), kComplexRegion, kError; 0 when nothing had to
// be combined.
class Region {
 public:
  static constexpr int32_t kError = 0;
  static constexpr int32_t kNullRegion = 1;
  static constexpr int32_t kSimpleRegion = 2;
  static constexpr int32_t kComplexRegion = 3;
  // `rectangles` needs room for a 32-byte header and 16 bytes a rectangle.
  static constexpr uint32_t kDataHeaderBytes = 32;
  static constexpr uint32_t kDataRectBytes = 16;

  Region();
  virtual ~Region();
  Region(const Region& other);
  Region(Region&& other) noexcept;
  Region& operator=(const Region& other);
  Region& operator=(Region&& other) noexcept;

  virtual Region& assign(const Rect& rect);
  virtual Region& unite(const Rect& rect);
  virtual Region& unite(const Region& other);
  virtual Region& subtract(const Rect& rect);
  virtual Region& subtract(const Region& other);
  virtual Region& intersect(const Rect& rect);
  virtual Region& intersect(const Region& other);
  virtual Region& xorWith(const Rect& rect);
  virtual Region& xorWith(const Region& other);

  virtual Region united(const Rect& rect) const;
  virtual Region united(const Region& other) const;
  virtual Region subtracted(const Rect& rect) const;
  virtual Region subtracted(const Region& other) const;
  virtual Region intersected(const Rect& rect) const;
  virtual Region intersected(const Region& other) const;
  virtual Region xored(const Rect& rect) const;
  virtual Region xored(const Region& other) const;

  virtual bool equals(const Rect& rect) const;
  virtual bool equals(const Region& other) const;

  virtual int32_t copyFrom(const Region& other);
  virtual void setRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
  virtual void setRect(const Rect& rect);
  virtual void offset(int32_t dx, int32_t dy);
  virtual bool equalsRect(const Rect& rect) const;
  virtual bool equalsRegion(const Region& other) const;
  // Writes the rectangles to the start of buffer and returns how many: 0 without a handle, -1
  // when buffer cannot hold the header and every rectangle.
  virtual int32_t rectangles(void* buffer, uint32_t size) const;
  virtual const Rect* boundingBox();
  virtual bool isEmpty();

  virtual int32_t uniteRect(const Rect& rect);
  virtual int32_t uniteRegion(const Region& other);
  virtual int32_t intersectRect(const Rect& rect);
  virtual int32_t intersectRegion(const Region& other);
  virtual int32_t subtractRect(const Rect& rect);
  virtual int32_t subtractRegion(const Region& other);
  virtual int32_t xorRect(const Rect& rect);
  virtual int32_t xorRegion(const Region& other);

  // Scales every rectangle by factor (toward zero), widened by one pixel on each side when grow
  // is non-zero. -1 when there were too many rectangles and the bounding box was scaled instead.
  virtual int32_t scale(double factor, uint8_t grow);
  // The platform's region object (HRGN on Windows, pixman_region32_t* elsewhere), or null.
  virtual void* handle() const;
  virtual int32_t clear();

 private:
  void* rgn = nullptr;
  Rect box;
};

}  // namespace comsrc

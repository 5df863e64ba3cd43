#pragma once

#include <cstdint>

#include "comsrc/PixelFormat.h"

namespace comsrc {

inline constexpr int32_t kContextTypeDIB = 2;
inline constexpr int32_t kContextTypeGDI = 0x100;

// What a bitmap lends out for drawing into it and for copying pixels between bitmaps.
// Coordinates have their origin at the top-left corner, y growing downwards.
class DrawingContext {
 public:
  virtual ~DrawingContext() = default;
  DrawingContext(const DrawingContext&) = delete;
  DrawingContext& operator=(const DrawingContext&) = delete;

  virtual int32_t blit(int32_t dstX, int32_t dstY, int32_t width, int32_t height, DrawingContext* source,
                       int32_t srcX, int32_t srcY) = 0;
  virtual int32_t stretchBlit(int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight,
                              DrawingContext* source, int32_t srcX, int32_t srcY, int32_t srcWidth,
                              int32_t srcHeight) = 0;
  virtual int32_t alphaBlend(int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight, DrawingContext* source,
                             int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight, int32_t useSourceAlpha,
                             int32_t constantAlpha) = 0;
  // value is a raw pixel of the bitmap's format for a pixel context, a colour for a GDI one.
  virtual int32_t fillRect(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value) = 0;
  // Copies a rectangle of this context's pixels into caller memory, converting to destinationFormat.
  virtual int32_t readPixels(uint8_t* destination, int32_t destinationStride, const PixelFormat* destinationFormat,
                             int32_t x, int32_t y, int32_t width, int32_t height) = 0;
  virtual const PixelFormat* getFormat() = 0;
  virtual int32_t getType() { return type; }

 protected:
  explicit DrawingContext(int32_t typeCode) : type(typeCode) {}

  int32_t type;
};

}  // namespace comsrc

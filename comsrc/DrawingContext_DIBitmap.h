#pragma once

#include "comsrc/DrawingContext.h"

namespace comsrc {

class DIBitmap;

// Draws straight into the pixel memory of the DIBitmap that owns it.
class DrawingContext_DIBitmap : public DrawingContext {
 public:
  explicit DrawingContext_DIBitmap(DIBitmap* owner) : DrawingContext(kContextTypeDIB), bitmap(owner) {}

  int32_t blit(int32_t dstX, int32_t dstY, int32_t width, int32_t height, DrawingContext* source, int32_t srcX,
               int32_t srcY) override;
  int32_t stretchBlit(int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight, DrawingContext* source,
                      int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight) override;
  int32_t alphaBlend(int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight, DrawingContext* source,
                     int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight, int32_t useSourceAlpha,
                     int32_t constantAlpha) override;
  int32_t fillRect(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value) override;
  int32_t readPixels(uint8_t* destination, int32_t destinationStride, const PixelFormat* destinationFormat, int32_t x,
                     int32_t y, int32_t width, int32_t height) override;
  const PixelFormat* getFormat() override;

 private:
  DIBitmap* bitmap;
};

}  // namespace comsrc

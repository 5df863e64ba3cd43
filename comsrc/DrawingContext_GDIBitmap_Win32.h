#pragma once

#include <windows.h>

#include "comsrc/DrawingContext.h"

namespace comsrc {

// A GDI device context lent out by a compatible bitmap or a DIB section. It does not own the DC.
class DrawingContext_GDIBitmap : public DrawingContext {
 public:
  // format: the layout of the bitmap behind the DC; all zero where it is not known.
  DrawingContext_GDIBitmap(HDC dc, const PixelFormat& format);

  int32_t blit(int32_t dstX, int32_t dstY, int32_t width, int32_t height, DrawingContext* source, int32_t srcX,
               int32_t srcY) override;
  int32_t stretchBlit(int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight, DrawingContext* source,
                      int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight) override;
  int32_t alphaBlend(int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight, DrawingContext* source,
                     int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight, int32_t useSourceAlpha,
                     int32_t constantAlpha) override;
  // value is a COLORREF.
  int32_t fillRect(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value) override;
  // Always -1: pixels behind a DC are copied with blit instead.
  int32_t readPixels(uint8_t* destination, int32_t destinationStride, const PixelFormat* destinationFormat, int32_t x,
                     int32_t y, int32_t width, int32_t height) override;
  const PixelFormat* getFormat() override { return &format; }
  virtual HDC getDC() { return hdc; }

 private:
  HDC hdc;
  PixelFormat format;
};

}  // namespace comsrc

#include "comsrc/DrawingContext_GDIBitmap_Win32.h"

#include <memory>
#include <new>

#include "comsrc/DIBitmap_Win32.h"

namespace comsrc {

namespace {
HDC dcOf(DrawingContext* c) { return static_cast<DrawingContext_GDIBitmap*>(c)->getDC(); }
bool isGdi(DrawingContext* c) { return c && c->getType() == kContextTypeGDI; }
}  // namespace

DrawingContext_GDIBitmap::DrawingContext_GDIBitmap(HDC dc, const PixelFormat& layout)
    : DrawingContext(kContextTypeGDI), hdc(dc), format(layout) {}

int32_t DrawingContext_GDIBitmap::blit(int32_t dstX, int32_t dstY, int32_t width, int32_t height,
                                       DrawingContext* source, int32_t srcX, int32_t srcY) {
  if (!source) return -1;
  if (isGdi(source)) {
    BitBlt(hdc, dstX, dstY, width, height, dcOf(source), srcX, srcY, SRCCOPY);
    return 0;
  }
  // Pixels that GDI cannot reach pass through a DIB section of their own.
  std::unique_ptr<DIBitmap_Win32> temporary(new (std::nothrow) DIBitmap_Win32);
  if (!temporary || temporary->createWithDepth(width, height, 32) != 0) return -2;
  if (uint8_t* bits = temporary->lockPixels()) {
    source->readPixels(bits, temporary->getStride(), temporary->getFormat(), srcX, srcY, width, height);
    temporary->unlockPixels();
  }
  if (DrawingContext* c = temporary->lockContext()) {
    blit(dstX, dstY, width, height, c, 0, 0);
    temporary->unlockContext(c);
  }
  return 0;
}

int32_t DrawingContext_GDIBitmap::stretchBlit(int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight,
                                              DrawingContext* source, int32_t srcX, int32_t srcY, int32_t srcWidth,
                                              int32_t srcHeight) {
  if (!isGdi(source)) return -1;
  StretchBlt(hdc, dstX, dstY, dstWidth, dstHeight, dcOf(source), srcX, srcY, srcWidth, srcHeight, SRCCOPY);
  return 0;
}

int32_t DrawingContext_GDIBitmap::alphaBlend(int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight,
                                             DrawingContext* source, int32_t srcX, int32_t srcY, int32_t srcWidth,
                                             int32_t srcHeight, int32_t useSourceAlpha, int32_t constantAlpha) {
  if (!isGdi(source)) return -1;
  BLENDFUNCTION blend{AC_SRC_OVER, 0, BYTE(constantAlpha & 0xFF), BYTE((useSourceAlpha & 1) ? AC_SRC_ALPHA : 0)};
  AlphaBlend(hdc, dstX, dstY, dstWidth, dstHeight, dcOf(source), srcX, srcY, srcWidth, srcHeight, blend);
  return 0;
}

int32_t DrawingContext_GDIBitmap::fillRect(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value) {
  HBRUSH brush = CreateSolidBrush(COLORREF(value));
  if (!brush) return -1;
  const RECT r{x, y, x + width, y + height};
  FillRect(hdc, &r, brush);
  DeleteObject(brush);
  return 0;
}

int32_t DrawingContext_GDIBitmap::readPixels(uint8_t*, int32_t, const PixelFormat*, int32_t, int32_t, int32_t,
                                             int32_t) {
  return -1;
}

}  // namespace comsrc

#include "comsrc/GDIBitmap_Win32.h"

#include <new>

#include "comsrc/DrawingContext_GDIBitmap_Win32.h"

namespace comsrc {

GDIBitmap::~GDIBitmap() {
  context.reset();
  if (hdc) ReleaseDC(nullptr, hdc);
}

DrawingContext* GDIBitmap::lockContext() {
  if (!hdc) return nullptr;
  if (!context) context.reset(new (std::nothrow) DrawingContext_GDIBitmap(hdc, PixelFormat{}));
  return context.get();
}

int32_t GDIBitmap::unlockContext(DrawingContext* lent) { return lent && lent == context.get() ? 0 : -1; }

CompatBitmap::CompatBitmap() : GDIBitmap(kBitmapKindCompat) {
  width = GetSystemMetrics(SM_CXSCREEN);
  height = GetSystemMetrics(SM_CYSCREEN);
}

CompatBitmap::~CompatBitmap() { release(); }

void CompatBitmap::release() {
  if (hdc) {
    context.reset();
    SelectObject(hdc, previousBitmap);
    DeleteDC(hdc);
    hdc = nullptr;
    previousBitmap = nullptr;
  }
  if (bitmap) {
    DeleteObject(bitmap);
    bitmap = nullptr;
  }
}

int32_t CompatBitmap::createCompatible(HDC reference, int32_t w, int32_t h) {
  release();
  hdc = CreateCompatibleDC(reference);
  if (!hdc) return -1;
  bitmap = CreateCompatibleBitmap(reference, w, h);
  if (!bitmap) {
    DeleteDC(hdc);
    hdc = nullptr;
    return -2;
  }
  previousBitmap = SelectObject(hdc, bitmap);
  context.reset(new (std::nothrow) DrawingContext_GDIBitmap(hdc, PixelFormat{}));
  width = w;
  height = h;
  return 0;
}

}  // namespace comsrc

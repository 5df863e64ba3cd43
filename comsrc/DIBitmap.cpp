#include "comsrc/DIBitmap.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "comsrc/DrawingContext_DIBitmap.h"

namespace comsrc {

namespace {
// Beyond this a row or a whole picture is refused as out of memory rather than overflowing.
constexpr int64_t kMaxBytes = int64_t{1} << 30;
}  // namespace

DIBitmap::DIBitmap() : Bitmap(kBitmapKindDIB) {}
DIBitmap::DIBitmap(int32_t kindCode) : Bitmap(kindCode) {}

DIBitmap::~DIBitmap() {
  context.reset();
  pixels = nullptr;
}

int32_t DIBitmap::create(int32_t width, int32_t height) { return createWithDepth(width, height, 32); }

int32_t DIBitmap::createWithDepth(int32_t width, int32_t height, int32_t bitsPerPixel) {
  PixelFormat standard;
  if (buildStandardFormat(standard, bitsPerPixel) != 0) return -1;
  return createWithFormat(width, height, standard);
}

int32_t DIBitmap::createWithFormat(int32_t width, int32_t height, const PixelFormat& newFormat) {
  if (pixels) return -1;
  if (width < 1 || height < 1 || newFormat.bitsPerPixel < 1) return -10;
  const int64_t rowBytes = (int64_t{width} * newFormat.bitsPerPixel + 31) / 32 * 4;
  if (rowBytes > kMaxBytes || rowBytes * height > kMaxBytes) return -4;
  heapPixels.reset(new (std::nothrow) uint8_t[size_t(rowBytes * height)]);
  if (!heapPixels) return -4;
  format = newFormat;
  stride = int32_t(rowBytes);
  pixels = heapPixels.get();
  this->width = width;
  this->height = height;
  context.reset(new (std::nothrow) DrawingContext_DIBitmap(this));
  contextLocked = 0;
  pixelsLocked = 0;
  return 0;
}

DrawingContext* DIBitmap::lockContext() {
  if (!pixels || !context || contextLocked || pixelsLocked) return nullptr;
  contextLocked = 1;
  return context.get();
}

int32_t DIBitmap::unlockContext(DrawingContext* lent) {
  if (!lent || lent != context.get()) return -1;
  contextLocked = 0;
  return 0;
}

uint8_t* DIBitmap::lockPixels() {
  if (!pixels || pixelsLocked) return nullptr;
  pixelsLocked = 1;
  return pixels;
}

int32_t DIBitmap::unlockPixels() {
  if (!pixelsLocked) return -1;
  pixelsLocked = 0;
  return 0;
}

int32_t DIBitmap::clear() {
  if (!pixels) return -1;
  const size_t rowBytes = size_t(std::abs(int64_t{stride}) / 4 * 4);
  for (int32_t y = 0; y < height; ++y) std::memset(pixels + ptrdiff_t{y} * stride, 0, rowBytes);
  return 0;
}

}  // namespace comsrc

#include "comsrc/DrawingContext_DIBitmap.h"

#include <algorithm>
#include <cstring>

#include "comsrc/DIBitmap.h"

namespace comsrc {

namespace {

// Clips [pos, pos + size) to [0, limit). Returns how far the start moved right.
int32_t clipSpan(int32_t& pos, int32_t& size, int32_t limit) {
  int64_t p = pos, s = size, moved = 0;
  if (p < 0) {
    moved = -p;
    s += p;
    p = 0;
  }
  if (p + s > limit) s = int64_t{limit} - p;
  pos = int32_t(std::min<int64_t>(p, INT32_MAX));
  size = int32_t(std::clamp<int64_t>(s, -1, INT32_MAX));
  return int32_t(std::min<int64_t>(moved, INT32_MAX));
}

// Pixels narrower than a byte: the first pixel of a byte sits in the most significant bits.
uint32_t subByteShift(int64_t index, int32_t bpp) { return uint32_t(8 - (index * bpp) % 8 - bpp); }

void storeSubByte(uint8_t* row, int64_t index, int32_t bpp, uint32_t value) {
  const uint32_t mask = (1u << bpp) - 1;
  const uint32_t shift = subByteShift(index, bpp);
  uint8_t& b = row[index * bpp / 8];
  b = uint8_t((b & ~(mask << shift)) | ((value & mask) << shift));
}

uint32_t loadPixel(const uint8_t* row, int64_t index, int32_t bpp) {
  if (bpp != 1 && bpp != 2 && bpp != 4 && bpp < 8) return 0;
  if (bpp < 8) return (row[index * bpp / 8] >> subByteShift(index, bpp)) & ((1u << bpp) - 1);
  const uint8_t* p = row + index * bpp / 8;
  const int32_t bytes = std::min(bpp / 8, 4);
  uint32_t v = 0;
  for (int32_t i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
  return v;
}

void storePixel(uint8_t* row, int64_t index, const PixelFormat& f, uint32_t v) {
  uint8_t* p = row + index * f.bitsPerPixel / 8;
  switch (f.bitsPerPixel) {
    case 1:
    case 2:
    case 4:
      storeSubByte(row, index, f.bitsPerPixel, v);
      break;
    case 8:
      p[0] = uint8_t(v);
      break;
    case 16:
      p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
      break;
    case 24:
      if (f.flags & PixelFormat::kFlagMsbFirst24) {
        p[0] = uint8_t(v >> 16), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v);
      } else {
        p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16);
      }
      break;
    case 32:
      std::memcpy(p, &v, 4);
      break;
    default:
      break;
  }
}

// One component of a source pixel rescaled to a destination component's range; a component
// the source cannot describe (no range, a shift outside the word) reads as 0.
uint32_t convertComponent(uint32_t value, const PixelFormat& src, const PixelFormat& dst, int32_t k) {
  const int64_t srcMax = src.componentMax[k], dstMax = dst.componentMax[k];
  const int32_t srcShift = src.componentShift[k], dstShift = dst.componentShift[k];
  if (srcMax <= 0 || dstMax < 0 || srcShift < 0 || srcShift > 31 || dstShift < 0 || dstShift > 31) return 0;
  const uint64_t c = (uint64_t{value} >> srcShift) % uint64_t(srcMax + 1);
  const uint64_t scaled = (c * uint64_t(dstMax) + uint64_t(srcMax / 2)) / uint64_t(srcMax);
  return uint32_t(scaled << dstShift);
}

}  // namespace

int32_t DrawingContext_DIBitmap::blit(int32_t dstX, int32_t dstY, int32_t width, int32_t height,
                                      DrawingContext* source, int32_t srcX, int32_t srcY) {
  if (!source) return -1;
  srcX = int32_t(int64_t{srcX} + clipSpan(dstX, width, bitmap->getWidth()));
  if (width < 1) return 0;
  srcY = int32_t(int64_t{srcY} + clipSpan(dstY, height, bitmap->getHeight()));
  if (height < 1) return 0;
  const int32_t bpp = bitmap->getBitsPerPixel();
  if (bpp < 8 && (bpp < 1 || dstX % (8 / bpp) != 0)) return -2;
  uint8_t* pixels = bitmap->lockPixels();
  if (!pixels) return -1;
  const int32_t stride = bitmap->getStride();
  uint8_t* destination = pixels + int64_t{dstY} * stride + int64_t{dstX} * bpp / 8;
  // A source that cannot hand out its pixels (a GDI context) copies nothing.
  source->readPixels(destination, stride, bitmap->getFormat(), srcX, srcY, width, height);
  bitmap->unlockPixels();
  return 0;
}

int32_t DrawingContext_DIBitmap::stretchBlit(int32_t, int32_t, int32_t, int32_t, DrawingContext*, int32_t, int32_t,
                                             int32_t, int32_t) {
  return 0;
}

int32_t DrawingContext_DIBitmap::alphaBlend(int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight,
                                            DrawingContext* source, int32_t srcX, int32_t srcY, int32_t, int32_t,
                                            int32_t, int32_t) {
  return blit(dstX, dstY, dstWidth, dstHeight, source, srcX, srcY);
}

int32_t DrawingContext_DIBitmap::fillRect(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value) {
  clipSpan(x, width, bitmap->getWidth());
  clipSpan(y, height, bitmap->getHeight());
  if (width < 1 || height < 1) return 0;
  uint8_t* pixels = bitmap->lockPixels();
  if (!pixels) return -1;
  const PixelFormat& f = *bitmap->getFormat();
  const int32_t stride = bitmap->getStride();
  for (int32_t i = 0; i < height; ++i) {
    uint8_t* row = pixels + int64_t{y + i} * stride;
    for (int32_t j = 0; j < width; ++j) storePixel(row, int64_t{x} + j, f, value);
  }
  bitmap->unlockPixels();
  return 0;
}

int32_t DrawingContext_DIBitmap::readPixels(uint8_t* destination, int32_t destinationStride,
                                            const PixelFormat* destinationFormat, int32_t x, int32_t y, int32_t width,
                                            int32_t height) {
  if (!destination || !destinationFormat) return -1;
  // What is clipped off the source's top-left is skipped in the destination too, so every
  // pixel lands where the caller asked for it.
  const int32_t skippedColumns = clipSpan(x, width, bitmap->getWidth());
  const int32_t skippedRows = clipSpan(y, height, bitmap->getHeight());
  if (width < 1 || height < 1) return 0;
  const uint8_t* pixels = bitmap->getPixels();
  if (!pixels) return -1;
  const PixelFormat& src = *bitmap->getFormat();
  const PixelFormat& dst = *destinationFormat;
  const int32_t bpp = src.bitsPerPixel;
  const int32_t stride = bitmap->getStride();
  destination += int64_t{skippedRows} * destinationStride;

  if (src.equals(dst) && bpp % 8 == 0) {
    const size_t rowBytes = size_t(int64_t{width} * bpp / 8);
    destination += int64_t{skippedColumns} * bpp / 8;
    for (int32_t i = 0; i < height; ++i) {
      std::memcpy(destination + int64_t{i} * destinationStride,
                  pixels + int64_t{y + i} * stride + int64_t{x} * bpp / 8, rowBytes);
    }
    return 0;
  }
  if (src.model != dst.model) return 0;

  const int32_t components = std::clamp(dst.componentCount, 0, PixelFormat::kMaxComponents);
  const int32_t sourceComponents = std::clamp(src.componentCount, 0, PixelFormat::kMaxComponents);
  for (int32_t i = 0; i < height; ++i) {
    const uint8_t* srcRow = pixels + int64_t{y + i} * stride;
    uint8_t* dstRow = destination + int64_t{i} * destinationStride;
    for (int32_t j = 0; j < width; ++j) {
      const uint32_t value = loadPixel(srcRow, int64_t{x} + j, bpp);
      uint32_t out = 0;
      for (int32_t k = 0; k < components && k < sourceComponents; ++k) out |= convertComponent(value, src, dst, k);
      storePixel(dstRow, int64_t{skippedColumns} + j, dst, out);
    }
  }
  return 0;
}

const PixelFormat* DrawingContext_DIBitmap::getFormat() { return bitmap->getFormat(); }

}  // namespace comsrc

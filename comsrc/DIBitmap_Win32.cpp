#include "comsrc/DIBitmap_Win32.h"

#include <cstring>
#include <new>

#include "comsrc/DrawingContext_GDIBitmap_Win32.h"

namespace comsrc {

DIBitmap_Win32::DIBitmap_Win32() : DIBitmap(kBitmapKindDIBWin32) {}

DIBitmap_Win32::~DIBitmap_Win32() {
  GdiFlush();
  context.reset();
  if (memoryDC) {
    if (previousBitmap) SelectObject(memoryDC, previousBitmap);
    DeleteDC(memoryDC);
  }
  if (section) DeleteObject(section);
  pixels = nullptr;
}

int32_t DIBitmap_Win32::describeFormat(PixelFormat& out, int32_t bitsPerPixel) {
  if (bitsPerPixel != 32) return -1;
  return buildStandardFormat(out, 32);
}

int32_t DIBitmap_Win32::createWithFormat(int32_t w, int32_t h, const PixelFormat& wanted) {
  PixelFormat described;
  if (describeFormat(described, wanted.bitsPerPixel) != 0 || !(described == wanted)) return -1;
  return createWithDepth(w, h, wanted.bitsPerPixel);
}

int32_t DIBitmap_Win32::createWithDepth(int32_t w, int32_t h, int32_t bitsPerPixel) {
  if (w < 1 || h < 1 || bitsPerPixel < 1) return -10;
  if (w > INT32_MAX - 7) return -4;
  uint8_t block[44] = {};
  BITMAPINFOHEADER header{};
  header.biSize = 40;
  header.biWidth = (w + 7) / 8 * 8;
  header.biHeight = h;
  header.biPlanes = 1;
  header.biBitCount = WORD(bitsPerPixel);
  header.biCompression = BI_RGB;
  std::memcpy(block, &header, sizeof header);
  const int32_t result = createFromInfo(block, sizeof block);
  if (result == 0) width = w;
  return result;
}

int32_t DIBitmap_Win32::createFromInfo(const void* block, int32_t size) {
  if (section) return -100;
  if (!block || size < int32_t(sizeof(BITMAPINFOHEADER))) return -1;
  BITMAPINFOHEADER header;
  std::memcpy(&header, block, sizeof header);
  // Rows of fewer than 8 bits per pixel are not addressed by this class.
  const int32_t depth = header.biBitCount;
  if (header.biSize < sizeof header || header.biWidth < 1 || header.biHeight == 0 || depth < 8 || depth % 8 != 0)
    return -1;
  const int64_t rowBytes = (int64_t{header.biWidth} * depth + 31) / 32 * 4;
  const int64_t rows = header.biHeight < 0 ? -int64_t{header.biHeight} : header.biHeight;
  if (rowBytes * rows > (int64_t{1} << 30)) return -4;

  info.reset(new (std::nothrow) uint8_t[size_t(size)]);
  if (!info) return -4;
  std::memcpy(info.get(), block, size_t(size));
  infoSize = size;

  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return -1;
  void* bits = nullptr;
  HBITMAP made = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(info.get()), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!made || !bits) {
    if (made) DeleteObject(made);
    DeleteDC(dc);
    return -1;
  }
  memoryDC = dc;
  section = made;
  previousBitmap = SelectObject(memoryDC, section);

  width = header.biWidth;
  height = int32_t(rows);
  if (header.biHeight > 0) {
    pixels = static_cast<uint8_t*>(bits) + rowBytes * (rows - 1);
    stride = -int32_t(rowBytes);
  } else {
    pixels = static_cast<uint8_t*>(bits);
    stride = int32_t(rowBytes);
  }
  describeFormat(format, depth);
  context.reset(new (std::nothrow) DrawingContext_GDIBitmap(memoryDC, format));
  contextLocked = 0;
  pixelsLocked = 0;
  return 0;
}

}  // namespace comsrc

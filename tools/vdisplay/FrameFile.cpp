#include "tools/vdisplay/FrameFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The XWD header's words, big-endian, in file order.
enum XwdWord {
  kHeaderSize, kFileVersion, kPixmapFormat, kPixmapDepth, kPixmapWidth, kPixmapHeight, kXOffset, kByteOrder,
  kBitmapUnit, kBitmapBitOrder, kBitmapPad, kBitsPerPixel, kBytesPerLine, kVisualClass, kRedMask, kGreenMask,
  kBlueMask, kBitsPerRgb, kColormapEntries, kColorCount, kWords = 25
};
constexpr uint32_t kZPixmap = 2, kLsbFirst = 0, kXwdColorBytes = 12;

std::string describe(const char* what, uint32_t found, uint64_t wanted) {
  return std::string("the frame buffer's ") + what + " is " + std::to_string(found) + ", not " + std::to_string(wanted);
}

}  // namespace

std::string openFrameFile(const std::string& path, int32_t width, int32_t height, FrameFile& out) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "cannot open the frame buffer " + path;
  uint8_t raw[kWords * 4];
  struct stat st;
  if (fstat(fd, &st) != 0 || pread(fd, raw, sizeof raw, 0) != ssize_t(sizeof raw)) {
    close(fd);
    return "the frame buffer " + path + " has no XWD header";
  }
  uint32_t w[kWords];
  for (int i = 0; i < kWords; ++i)
    w[i] = uint32_t(raw[i * 4]) << 24 | uint32_t(raw[i * 4 + 1]) << 16 | uint32_t(raw[i * 4 + 2]) << 8 | raw[i * 4 + 3];
  std::string problem;
  const uint64_t rowBytes = uint64_t(width) * 4;
  const uint64_t offset = uint64_t(w[kHeaderSize]) + uint64_t(w[kColorCount]) * kXwdColorBytes;
  if (w[kFileVersion] != 7 || w[kHeaderSize] < sizeof raw) problem = "the frame buffer has no XWD header";
  else if (w[kPixmapFormat] != kZPixmap) problem = describe("pixmap format", w[kPixmapFormat], kZPixmap);
  else if (w[kBitsPerPixel] != 32) problem = describe("bits per pixel", w[kBitsPerPixel], 32);
  else if (w[kByteOrder] != kLsbFirst) problem = "the frame buffer's pixels are not least-significant byte first";
  else if (w[kPixmapWidth] != uint32_t(width)) problem = describe("width", w[kPixmapWidth], uint64_t(width));
  else if (w[kPixmapHeight] != uint32_t(height)) problem = describe("height", w[kPixmapHeight], uint64_t(height));
  else if (w[kBytesPerLine] != rowBytes) problem = describe("row length in bytes", w[kBytesPerLine], rowBytes);
  else if (uint64_t(st.st_size) < offset + rowBytes * uint64_t(height)) problem = "the frame buffer file is shorter than its pixels";
  if (!problem.empty()) {
    close(fd);
    return problem;
  }
  out.fd = fd;
  out.pixelOffset = offset;
  return {};
}

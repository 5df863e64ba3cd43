#include "tools/common/PngFile.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

namespace vltools {

namespace {

// Pictures beyond this many pixels are refused rather than allocated.
constexpr uint64_t kMaxPixels = 64ull * 1024 * 1024;

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

void onPngWarning(png_structp, png_const_charp) {}

void onPngError(png_structp png, png_const_charp message) {
  auto* error = static_cast<std::string*>(png_get_error_ptr(png));
  if (error) *error = message;
  png_longjmp(png, 1);
}

// Only plain data lives in this frame, so the longjmp of a libpng error skips no destructor.
bool writeRows(FILE* file, int32_t width, int32_t height, int bitDepth, int colorType, png_bytepp rows,
               std::string* error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, onPngError, onPngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  // Speed over size: these pictures are small, and deflate's effort dominated writing them.
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bitDepth, colorType,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool readPng(const std::string& path, PngPicture& out, std::string& error) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    error = path + ": " + (image.message[0] ? image.message : "cannot read PNG");
    png_image_free(&image);
    return false;
  }
  if (image.width == 0 || image.height == 0 || uint64_t{image.width} * image.height > kMaxPixels) {
    error = path + ": picture too large";
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_BGR;
  const size_t pixels = size_t{image.width} * image.height;
  // The three-byte pixels are read into the last three quarters of the picture's own buffer
  // and spread to four bytes from the front: pixel i is moved before pixel i + 1 is reached.
  // The zeroed buffer is the black that transparent pixels are composited onto.
  out.bgrx.assign(pixels * 4, 0);
  uint8_t* const bgr = out.bgrx.data() + pixels;
  const size_t rowBytes = size_t{image.width} * 3;
  if (!png_image_finish_read(&image, nullptr, bgr, static_cast<png_int_32>(rowBytes), nullptr)) {
    error = path + ": " + (image.message[0] ? image.message : "broken PNG");
    png_image_free(&image);
    out.bgrx.clear();
    return false;
  }
  uint8_t* const bgrx = out.bgrx.data();
  for (size_t i = 0; i < pixels; ++i) {
    const uint8_t b = bgr[3 * i], g = bgr[3 * i + 1], r = bgr[3 * i + 2];
    bgrx[4 * i + 0] = b;
    bgrx[4 * i + 1] = g;
    bgrx[4 * i + 2] = r;
    bgrx[4 * i + 3] = 255;
  }
  out.width = static_cast<int32_t>(image.width);
  out.height = static_cast<int32_t>(image.height);
  return true;
}

bool writePng(const std::string& path, PngKind kind, int32_t width, int32_t height, const uint8_t* rows,
              int32_t stride, std::string& error) {
  if (width < 1 || height < 1 || uint64_t(width) * uint64_t(height) > kMaxPixels || !rows) {
    error = path + ": bad picture size";
    return false;
  }
  int bitDepth = 8;
  int colorType = PNG_COLOR_TYPE_GRAY;
  size_t rowBytes = size_t(width);
  const bool oneBit = kind == PngKind::mono1 || kind == PngKind::onOff1;
  const uint8_t white = kind == PngKind::mono1 ? 128 : 1;
  if (oneBit) {
    bitDepth = 1;
    rowBytes = (size_t(width) + 7) / 8;
  } else if (kind == PngKind::rgb8) {
    colorType = PNG_COLOR_TYPE_RGB;
    rowBytes = size_t(width) * 3;
  }
  std::vector<uint8_t> packed(rowBytes * size_t(height), 0);
  std::vector<png_bytep> rowPointers(static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* src = rows + ptrdiff_t(y) * stride;
    uint8_t* dst = packed.data() + rowBytes * size_t(y);
    rowPointers[size_t(y)] = dst;
    if (oneBit) {
      for (int32_t x = 0; x < width; x += 8) {
        uint8_t bits = 0;
        for (int32_t k = 0; k < 8; ++k) bits = uint8_t(bits << 1 | (x + k < width && src[x + k] >= white));
        dst[x / 8] = bits;
      }
    } else if (kind == PngKind::gray8) {
      std::memcpy(dst, src, size_t(width));
    } else {
      for (int32_t x = 0; x < width; ++x) {
        dst[3 * x + 0] = src[4 * x + 2];
        dst[3 * x + 1] = src[4 * x + 1];
        dst[3 * x + 2] = src[4 * x + 0];
      }
    }
  }
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    error = path + ": cannot create file";
    return false;
  }
  std::string pngError;
  if (!writeRows(file.get(), width, height, bitDepth, colorType, rowPointers.data(), &pngError)) {
    error = path + ": " + (pngError.empty() ? "cannot write PNG" : pngError);
    return false;
  }
  if (std::fclose(file.release()) != 0) {
    error = path + ": cannot write file";
    return false;
  }
  return true;
}

}  // namespace vltools

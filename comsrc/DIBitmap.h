#pragma once

#include <cstdint>
#include <memory>

#include "comsrc/Bitmap.h"
#include "comsrc/PixelFormat.h"

namespace comsrc {

// A device-independent bitmap whose pixels the program reads and writes directly. This class
// keeps them on the heap, top-down; a platform variant (a DIB section, a shared-memory image)
// derives from it, fills pixels, stride, format and context in its own create, and then
// clears both lock flags.
class DIBitmap : public Bitmap {
 public:
  DIBitmap();
  ~DIBitmap() override;

  int32_t create(int32_t width, int32_t height) override;
  DrawingContext* lockContext() override;
  int32_t unlockContext(DrawingContext* context) override;

  virtual int32_t createWithFormat(int32_t width, int32_t height, const PixelFormat& format);
  virtual int32_t createWithDepth(int32_t width, int32_t height, int32_t bitsPerPixel);
  virtual int32_t clear();
  virtual int32_t getStride() { return stride; }
  virtual int32_t getBitsPerPixel() { return format.bitsPerPixel; }
  virtual const PixelFormat* getFormat() { return &format; }
  virtual uint8_t* lockPixels();
  virtual int32_t unlockPixels();
  virtual uint8_t* getPixels() { return pixels; }

 protected:
  explicit DIBitmap(int32_t kindCode);

  uint8_t* pixels = nullptr;  // the top row
  int32_t stride = 0;         // bytes from a row to the row below; negative for bottom-up storage
  PixelFormat format;
  // Both locks are held until a create succeeds, so nothing is lent out before there are pixels.
  int32_t contextLocked = 1;
  int32_t pixelsLocked = 1;

 private:
  std::unique_ptr<uint8_t[]> heapPixels;
};

}  // namespace comsrc

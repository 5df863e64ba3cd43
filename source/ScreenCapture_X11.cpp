#include "source/ScreenCapture_X11.h"

#include <new>

#include "comsrc/DIBitmap_X11.h"
#include "source/ScreenContext_X11.h"

namespace {

class ScreenCapture_X11 : public ScreenCapture {
 public:
  explicit ScreenCapture_X11(bool shm) : allowShm(shm) {}

  std::unique_ptr<comsrc::DIBitmap> createCaptureBitmap(ScreenContext* screen, int32_t width,
                                                         int32_t height) override {
    std::unique_ptr<comsrc::DIBitmap_X11> b(new (std::nothrow) comsrc::DIBitmap_X11(screen, allowShm));
    if (!b || b->createWithDepth(width, height, 32) != 0) return nullptr;
    return b;
  }

  // X has no counterpart that the capture would need.
  int32_t createCompatBitmap(ScreenContext*, int32_t, int32_t, std::unique_ptr<comsrc::Bitmap>& out) override {
    out.reset();
    return 0;
  }

  // The server copies the root window's pixels as they are; there is no raster operation.
  void blitFromScreen(comsrc::DIBitmap& target, ScreenContext*, int32_t srcX, int32_t srcY, uint32_t) override {
    if (target.getKind() != comsrc::kBitmapKindDIBX11) return;
    static_cast<comsrc::DIBitmap_X11&>(target).capture(srcX, srcY);
  }

 private:
  bool allowShm;
};

}  // namespace

std::unique_ptr<ScreenCapture> makeScreenCapture_X11(bool allowSharedMemory) {
  return std::unique_ptr<ScreenCapture>(new (std::nothrow) ScreenCapture_X11(allowSharedMemory));
}

std::unique_ptr<ScreenCapture> makeScreenCapture() { return makeScreenCapture_X11(true); }

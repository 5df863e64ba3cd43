#include "source/ScreenCapture_X11.h"

#include <new>

#include "comsrc/DIBitmap_X11.h"
#include "comsrc/ScreenContext_X11.h"
#include "source/DamageWatch_X11.h"

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

  // The server copies the root window's pixels as they are.
  bool blitFromScreen(comsrc::DIBitmap& target, ScreenContext* screen, int32_t srcX, int32_t srcY) override {
    if (target.getKind() != comsrc::kBitmapKindDIBX11) return false;
    if (watch.watching(screen)) watch.forget(screen->connection.get(), nullptr);
    return static_cast<comsrc::DIBitmap_X11&>(target).capture(srcX, srcY) == 0;
  }

  // Drawing on the root window or its children.
  Drawing drawing(ScreenContext* screen) override {
    if (!screen || screen->lost()) return Drawing::unknown;
    if (!watch.watching(screen)) {
      watch.start(*screen, screen->root);
      return Drawing::unknown;
    }
    return watch.drawing(screen->connection.get(), nullptr);
  }

  intptr_t drawingEvents(ScreenContext* screen) override { return watch.events(screen); }

 private:
  bool allowShm;
  DamageWatch_X11 watch;
};

}  // namespace

std::unique_ptr<ScreenCapture> makeScreenCapture_X11(bool allowSharedMemory) {
  return std::unique_ptr<ScreenCapture>(new (std::nothrow) ScreenCapture_X11(allowSharedMemory));
}

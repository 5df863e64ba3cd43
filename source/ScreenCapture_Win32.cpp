#include <new>

#include "comsrc/DIBitmap_Win32.h"
#include "comsrc/DrawingContext_GDIBitmap_Win32.h"
#include "source/ScreenCapture.h"
#include "source/ScreenContext_Win32.h"

namespace {

class ScreenCapture_Win32 : public ScreenCapture {
 public:
  std::unique_ptr<comsrc::DIBitmap> createCaptureBitmap(ScreenContext*, int32_t width, int32_t height) override {
    std::unique_ptr<comsrc::DIBitmap_Win32> b(new (std::nothrow) comsrc::DIBitmap_Win32);
    if (!b || b->createWithDepth(width, height, 32) != 0) return nullptr;
    return b;
  }

  bool blitFromScreen(comsrc::DIBitmap& target, ScreenContext* screen, int32_t srcX, int32_t srcY) override {
    comsrc::DrawingContext* c = target.lockContext();
    if (!c) return false;
    bool read = false;
    if (c->getType() == comsrc::kContextTypeGDI && screen)
      read = BitBlt(static_cast<comsrc::DrawingContext_GDIBitmap*>(c)->getDC(), 0, 0, target.getWidth(), target.getHeight(),
             screen->dc, srcX, srcY, SRCCOPY) != 0;
    target.unlockContext(c);
    return read;
  }
};

}  // namespace

std::unique_ptr<ScreenCapture> makeScreenCapture(CaptureOptions*, bool*, std::string*) {
  return std::unique_ptr<ScreenCapture>(new (std::nothrow) ScreenCapture_Win32);
}

// Filled by the Windows window mirror: until then no window is found.
std::unique_ptr<ScreenCapture> makeWindowCapture(CaptureOptions*, bool*, std::string*, bool& offered) {
  offered = true;
  return nullptr;
}

#include "source/ScreenCapture_Win32.h"

#include <new>

#include "comsrc/DIBitmap_Win32.h"
#include "comsrc/Rect.h"
#include "comsrc/DrawingContext_GDIBitmap_Win32.h"
#include "source/ScreenContext_Win32.h"

std::unique_ptr<comsrc::DIBitmap> GdiCapture::createCaptureBitmap(ScreenContext*, int32_t width, int32_t height) {
  std::unique_ptr<comsrc::DIBitmap_Win32> b(new (std::nothrow) comsrc::DIBitmap_Win32);
  if (!b || b->createWithDepth(width, height, 32) != 0) return nullptr;
  return b;
}

namespace {

// The display context spans the virtual screen, whose origin is the primary monitor's top left:
// (srcX, srcY) is negative on a monitor left of or above it.
class ScreenCapture_Win32 : public GdiCapture {
 public:
  bool blitFromScreen(comsrc::DIBitmap& target, ScreenContext* screen, int32_t srcX, int32_t srcY) override {
    comsrc::DrawingContext* c = target.lockContext();
    if (!c) return false;
    bool read = false;
    if (c->getType() == comsrc::kContextTypeGDI && screen) {
      HDC dc = static_cast<comsrc::DrawingContext_GDIBitmap*>(c)->getDC();
      const int32_t w = target.getWidth(), h = target.getHeight();
      const comsrc::Rect area = comsrc::rectAt(srcX, srcY, w, h);
      const comsrc::Rect desktop = comsrc::rectAt(GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                                                  GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
      // A blit leaves the part of the target outside the screen as it was: that part is black.
      comsrc::Rect shown;
      const bool any = comsrc::intersectRect(shown, area, desktop);
      if (!(shown == area)) PatBlt(dc, 0, 0, w, h, BLACKNESS);
      read = !any || BitBlt(dc, shown.left - srcX, shown.top - srcY, shown.width(), shown.height(), screen->dc,
                            shown.left, shown.top, SRCCOPY) != 0;
    }
    target.unlockContext(c);
    return read;
  }
};

}  // namespace

std::unique_ptr<ScreenCapture> makeScreenCapture(CaptureOptions*, bool*, std::string*) {
  return std::unique_ptr<ScreenCapture>(new (std::nothrow) ScreenCapture_Win32);
}

#include "source/ScreenCapture_X11.h"

#include <X11/extensions/Xdamage.h>

#include <new>

#include "comsrc/DIBitmap_X11.h"
#include "comsrc/ScreenContext_X11.h"

namespace {

class ScreenCapture_X11 : public ScreenCapture {
 public:
  explicit ScreenCapture_X11(bool shm) : allowShm(shm) {}
  ~ScreenCapture_X11() override {
    if (std::shared_ptr<Display> d = watched.lock(); d && damage) XDamageDestroy(d.get(), damage);
  }

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
  void blitFromScreen(comsrc::DIBitmap& target, ScreenContext* screen, int32_t srcX, int32_t srcY, uint32_t) override {
    if (target.getKind() != comsrc::kBitmapKindDIBX11) return;
    // Forgotten before the copy, with the reports of it already here: what is drawn during
    // the copy is reported again next time.
    if (watching(screen) && damage) {
      takeReports(screen->display.get());
      XDamageSubtract(screen->display.get(), damage, None, None);
    }
    static_cast<comsrc::DIBitmap_X11&>(target).capture(srcX, srcY);
  }

  // The DAMAGE extension tells whether anything was drawn on the root window or its children;
  // a still screen then costs no copy and no comparison.
  bool drawnSinceLastBlit(ScreenContext* screen) override {
    if (!screen || !screen->display) return true;
    Display* d = screen->display.get();
    if (!watching(screen)) {
      watched = screen->display;
      damage = 0;
      int errorBase = 0;
      if (XDamageQueryExtension(d, &eventBase, &errorBase)) {
        damage = XDamageCreate(d, screen->root, XDamageReportNonEmpty);
        XSync(d, False);  // the whole window is reported at once; that report is here now
      }
      return true;
    }
    return !damage || takeReports(d);
  }

 private:
  // Reads every event that came on the connection; true when one of them reports drawing.
  bool takeReports(Display* d) const {
    bool drawn = false;
    while (XPending(d) > 0) {
      XEvent event;
      XNextEvent(d, &event);
      if (event.type == eventBase + XDamageNotify) drawn = true;
    }
    return drawn;
  }

  // Whether the damage object belongs to this screen's connection (not to an earlier one that
  // happened to lie at the same address).
  bool watching(const ScreenContext* screen) const {
    return screen && screen->display && !watched.expired() && !watched.owner_before(screen->display) &&
           !screen->display.owner_before(watched);
  }

  bool allowShm;
  std::weak_ptr<Display> watched;
  Damage damage = 0;
  int eventBase = 0;
};

}  // namespace

std::unique_ptr<ScreenCapture> makeScreenCapture_X11(bool allowSharedMemory) {
  return std::unique_ptr<ScreenCapture>(new (std::nothrow) ScreenCapture_X11(allowSharedMemory));
}

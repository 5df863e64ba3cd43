#include <X11/Xutil.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include "ui/Form.h"
#include "ui/MenuModel.h"
#include "ui/Painter_X11.h"
#include "ui/ScaledPainter.h"
#include "ui/Window_X11.h"

namespace ui {

namespace {

#include "ui/res/AppIcon.inc"

// The dialog template is laid out in dialog units: a quarter of the font's average character
// width across and an eighth of its height down, as Windows derives them from the dialog's font.
struct DialogUnits {
  int32_t baseX = 6;
  int32_t baseY = 12;
  int32_t x(int32_t units) const { return (units * baseX + 2) / 4; }
  int32_t y(int32_t units) const { return (units * baseY + 4) / 8; }
  Rect rect(int32_t left, int32_t top, int32_t w, int32_t h) const {
    return {x(left), y(top), x(left + w), y(top + h)};
  }
};

DialogUnits measureUnits() {
  DialogUnits u;
  x11::Connection* c = x11::current();
  if (!c) return u;
  // In layout units: the box's window scales them to the screen's pixels.
  const std::unique_ptr<Painter> measure =
      scaledPainter(std::make_unique<Painter_X11>(*c, DefaultRootWindow(c->dpy), 0, 0, Rect{}), c->scale);
  const int32_t width = measure->textWidth("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", Font::normal);
  u.baseX = std::max<int32_t>(1, (width / 26 + 1) / 2);
  u.baseY = c->scale.toLogical(c->cellHeight);
  return u;
}

constexpr int32_t kIdOk = 1;
constexpr int32_t kIdCancel = 2;

void drawIcon(x11::Connection& c, ::Window w, int32_t x, int32_t y) {
  if (c.visual->c_class != TrueColor || DefaultDepth(c.dpy, c.screen) < 24) return;
  XImage* image = XCreateImage(c.dpy, c.visual, static_cast<unsigned>(DefaultDepth(c.dpy, c.screen)), ZPixmap, 0,
                               nullptr, 32, 32, 32, 0);
  if (!image) return;
  std::vector<char> data(static_cast<size_t>(image->bytes_per_line) * 32);
  image->data = data.data();
  for (int32_t py = 0; py < 32; ++py)
    for (int32_t px = 0; px < 32; ++px) {
      const uint32_t argb = appIcon32[py * 32 + px];
      const uint32_t a = argb >> 24;
      auto over = [a](uint32_t v) { return (v * a + 255 * (255 - a)) / 255; };  // on the white dialog
      const uint32_t r = over((argb >> 16) & 0xFF), g = over((argb >> 8) & 0xFF), b = over(argb & 0xFF);
      XPutPixel(image, px, py, (r << 16) | (g << 8) | b);
    }
  GC gc = XCreateGC(c.dpy, w, 0, nullptr);
  XPutImage(c.dpy, w, gc, image, 0, 0, x, y, 32, 32);
  XFreeGC(c.dpy, gc);
  image->data = nullptr;
  XDestroyImage(image);
}

// The dialog procedure: OK, Enter, Esc and the close box end it with IDOK or IDCANCEL.
class AboutHandler : public WindowHandler {
 public:
  explicit AboutHandler(const DialogUnits& units) : du_(units) {}
  intptr_t message(Window& w, uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
    if (Base* clicked = form_.trackMouse(w, msg, lParam); clicked && clicked->id == kIdOk) end(w, kIdOk);
    switch (msg) {
      case msgCreate:
        form_.add(std::make_unique<Label>(du_.rect(42, 14, 114, 8), -1, aboutVersionLine, 0, false));
        form_.add(std::make_unique<Label>(du_.rect(42, 26, 114, 8), -1, aboutNoticeLine, 0, false));
        form_.add(std::make_unique<Label>(du_.rect(42, 38, 114, 8), -1, aboutFirmwareLine, 0, false));
        form_.add(std::make_unique<Button>(du_.rect(113, 53, 50, 14), kIdOk, "OK"));
        return 0;
      case msgPaint:
        if (auto p = w.beginPaint()) {
          p->fillRect({0, 0, w.clientWidth(), w.clientHeight()}, Colour::white);
          form_.paintAll(*p);
        }
        if (auto& box = static_cast<Window_X11&>(w); x11::current())
          drawIcon(*x11::current(), box.xid(), box.scale().toDevice(du_.x(14)), box.scale().toDevice(du_.y(14)));
        return 0;
      case msgKeyDown:
        if (wParam == vkReturn || wParam == 0x20) end(w, kIdOk);
        if (wParam == vkEscape) end(w, kIdCancel);
        return 0;
      case msgClose:
        end(w, kIdCancel);
        return 0;
      default:
        return w.defaultProc(msg, wParam, lParam);
    }
  }
  int32_t result() const { return result_; }

 private:
  void end(Window& w, int32_t result) {
    if (result_) return;
    result_ = result;
    w.destroy();
  }

  DialogUnits du_;
  Form form_;
  int32_t result_ = 0;
};

}  // namespace

int32_t runAboutBox(Window_X11& owner) {
  const DialogUnits units = measureUnits();
  AboutHandler handler(units);
  WindowSpec windowSpec;
  windowSpec.className = "VantelinkAbout";
  windowSpec.title = aboutCaption;
  windowSpec.mainMenu = false;
  Window_X11::Options options;
  options.clientWidth = units.x(170);
  options.clientHeight = units.y(74);
  options.transientFor = owner.xid();
  // A dialog template's position is relative to the owner's client area.
  if (x11::Connection* c = x11::current()) {
    ::Window child;
    XTranslateCoordinates(c->dpy, owner.xid(), DefaultRootWindow(c->dpy), 0, owner.barPixels(), &options.x, &options.y,
                          &child);
  }
  std::unique_ptr<Window_X11> box = Window_X11::create(windowSpec, options, handler);
  if (!box) return 0;
  box->show();
  owner.setBlocked(true);
  // The modal loop: the owner still paints and runs its timers, but takes no input.
  while (box->alive() && owner.alive()) {
    const Pumped r = pumpOneX11(false);
    if (r == Pumped::quit) break;
    if (r == Pumped::none) {
      timespec pause{0, 5 * 1000 * 1000};
      nanosleep(&pause, nullptr);
    }
  }
  box.reset();
  owner.setBlocked(false);
  if (x11::Connection* c = x11::current(); c && owner.alive()) {
    XWindowAttributes attrs{};
    if (XGetWindowAttributes(c->dpy, owner.xid(), &attrs) && attrs.map_state == IsViewable)
      XSetInputFocus(c->dpy, owner.xid(), RevertToParent, CurrentTime);
  }
  return handler.result() ? handler.result() : kIdCancel;
}

}  // namespace ui

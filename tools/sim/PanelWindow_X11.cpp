#include "tools/sim/PanelWindow_X11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <cstring>

#include "tools/sim/PanelPlace.h"

namespace {

constexpr uint32_t kBright = 0xE8EEE0;  // the panel's pale reflective white
constexpr uint32_t kDark = 0x202420;

}  // namespace

struct PanelWindow::Impl {
  Display* display = nullptr;
  Window window = 0;
  GC gc = nullptr;
  XImage* image = nullptr;
  Atom deleteWindow = 0;
  PanelPlace place;

  void draw() {
    if (image) XPutImage(display, window, gc, image, 0, 0, 0, 0, place.width(), place.height());
    XFlush(display);
  }
};

PanelWindow::PanelWindow() : impl(std::make_unique<Impl>()) {}

PanelWindow::~PanelWindow() {
  if (!impl->display) return;
  if (impl->image) XDestroyImage(impl->image);  // frees the pixels too
  if (impl->gc) XFreeGC(impl->display, impl->gc);
  XCloseDisplay(impl->display);
}

bool PanelWindow::open() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return false;
  impl->display = d;
  const int screen = DefaultScreen(d);
  Visual* visual = DefaultVisual(d, screen);
  const int depth = DefaultDepth(d, screen);
  const PanelPlace place = placePanel(DisplayWidth(d, screen), DisplayHeight(d, screen));
  impl->place = place;
  const int x = place.x, y = place.y, width = place.width(), height = place.height();
  impl->window = XCreateSimpleWindow(d, RootWindow(d, screen), x, y, width, height, 0, 0, kDark);
  XStoreName(d, impl->window, "vantela-sim");
  XSizeHints hints{};
  hints.flags = USPosition | PPosition | PMinSize | PMaxSize;
  hints.x = x;
  hints.y = y;
  hints.min_width = hints.max_width = width;
  hints.min_height = hints.max_height = height;
  XSetWMNormalHints(d, impl->window, &hints);
  impl->deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(d, impl->window, &impl->deleteWindow, 1);
  XSelectInput(d, impl->window, ExposureMask);
  impl->gc = XCreateGC(d, impl->window, 0, nullptr);
  if (depth >= 24) {
    auto* pixels = static_cast<char*>(std::calloc(static_cast<size_t>(width) * height, 4));
    impl->image = XCreateImage(d, visual, depth, ZPixmap, 0, pixels, width, height, 32, 0);
    if (!impl->image) std::free(pixels);
  }
  XMapWindow(d, impl->window);
  XFlush(d);
  return true;
}

int PanelWindow::connection() const { return impl->display ? ConnectionNumber(impl->display) : -1; }

bool PanelWindow::handleEvents() {
  if (!impl->display) return true;
  bool expose = false;
  while (XPending(impl->display)) {
    XEvent e;
    XNextEvent(impl->display, &e);
    if (e.type == Expose) expose = true;
    if (e.type == ClientMessage && static_cast<Atom>(e.xclient.data.l[0]) == impl->deleteWindow) return false;
  }
  if (expose) impl->draw();
  return true;
}

void PanelWindow::show(const std::vector<uint8_t>& panel) {
  if (!impl->display || !impl->image) return;
  const int scale = impl->place.scale;
  for (int y = 0; y < impl->place.height(); ++y)
    for (int x = 0; x < impl->place.width(); ++x)
      XPutPixel(impl->image, x, y, panel[static_cast<size_t>(y / scale) * 400 + x / scale] ? kBright : kDark);
  impl->draw();
}

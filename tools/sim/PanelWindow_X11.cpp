#include "tools/sim/PanelWindow_X11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <cstring>

#include "source/CaptureArea.h"

namespace {

constexpr int kScale = 2;
constexpr int kWidth = 400 * kScale;
constexpr int kHeight = 240 * kScale;
constexpr uint32_t kBright = 0xE8EEE0;  // the panel's pale reflective white
constexpr uint32_t kDark = 0x202420;
// The program mirrors the screen's top left 640 x 480: a window there would show itself.
constexpr int kCapturedWidth = kCaptureArea.right;
constexpr int kCapturedHeight = kCaptureArea.bottom;

}  // namespace

struct PanelWindow::Impl {
  Display* display = nullptr;
  Window window = 0;
  GC gc = nullptr;
  XImage* image = nullptr;
  Atom deleteWindow = 0;

  void draw() {
    if (image) XPutImage(display, window, gc, image, 0, 0, 0, 0, kWidth, kHeight);
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
  // Beside the captured area: to its right, or below it where the screen is too narrow.
  const bool right = DisplayWidth(d, screen) >= kCapturedWidth + kWidth;
  const int x = right ? kCapturedWidth : 0, y = right ? 0 : kCapturedHeight;
  impl->window = XCreateSimpleWindow(d, RootWindow(d, screen), x, y, kWidth, kHeight, 0, 0, kDark);
  XStoreName(d, impl->window, "vantela-sim");
  XSizeHints hints{};
  hints.flags = USPosition | PPosition | PMinSize | PMaxSize;
  hints.x = x;
  hints.y = y;
  hints.min_width = hints.max_width = kWidth;
  hints.min_height = hints.max_height = kHeight;
  XSetWMNormalHints(d, impl->window, &hints);
  impl->deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(d, impl->window, &impl->deleteWindow, 1);
  XSelectInput(d, impl->window, ExposureMask);
  impl->gc = XCreateGC(d, impl->window, 0, nullptr);
  if (depth >= 24) {
    auto* pixels = static_cast<char*>(std::calloc(static_cast<size_t>(kWidth) * kHeight, 4));
    impl->image = XCreateImage(d, visual, depth, ZPixmap, 0, pixels, kWidth, kHeight, 32, 0);
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
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      XPutPixel(impl->image, x, y, panel[static_cast<size_t>(y / kScale) * 400 + x / kScale] ? kBright : kDark);
  impl->draw();
}

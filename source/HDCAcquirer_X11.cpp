#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <new>

#include "source/HDCAcquirer.h"
#include "comsrc/ScreenContext_X11.h"

namespace {

// A display can go away while the program runs (a stand-in display that was stopped). Xlib
// would end the process at the first call on the broken connection; returning here instead
// leaves the connection marked broken, its calls failing, until discovery makes a new one.
// Xlib's default handler ends the process itself; this one leaves that to each connection's
// exit handler (the default one still exits).
int reportBrokenDisplay(Display*) { return 0; }
void keepRunning(Display*, void*) {}

}  // namespace

int32_t HDCAcquirer::open() {
  close();
  const size_t space = deviceName.rfind(' ');
  const std::string displayName = space == std::string::npos ? deviceName : deviceName.substr(space + 1);
  Display* raw = XOpenDisplay(hasDeviceName ? displayName.c_str() : nullptr);
  if (!raw) return -1;
  static const bool handlerSet = (XSetIOErrorHandler(reportBrokenDisplay), true);
  (void)handlerSet;
  XSetIOErrorExitHandler(raw, keepRunning, nullptr);
  dc = new (std::nothrow) ScreenContext;
  if (!dc) {
    XCloseDisplay(raw);
    return -1;
  }
  dc->display.reset(raw, [](Display* d) { XCloseDisplay(d); });
  dc->screen = DefaultScreen(raw);
  dc->root = RootWindow(raw, dc->screen);
  dc->width = DisplayWidth(raw, dc->screen);
  dc->height = DisplayHeight(raw, dc->screen);
  dc->depth = DefaultDepth(raw, dc->screen);
  dc->visual = DefaultVisual(raw, dc->screen);
  dc->shmOffered = XShmQueryExtension(raw) == True;
  return 0;
}

int32_t HDCAcquirer::close() {
  delete dc;
  dc = nullptr;
  return 0;
}

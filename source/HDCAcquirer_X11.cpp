#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <new>

#include "source/HDCAcquirer.h"
#include "source/ScreenContext_X11.h"

int32_t HDCAcquirer::open() {
  close();
  const size_t space = deviceName.rfind(' ');
  const std::string displayName = space == std::string::npos ? deviceName : deviceName.substr(space + 1);
  Display* raw = XOpenDisplay(hasDeviceName ? displayName.c_str() : nullptr);
  if (!raw) return -1;
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

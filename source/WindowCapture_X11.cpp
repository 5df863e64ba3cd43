#include "source/WindowCapture_X11.h"

#include <xcb/composite.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "comsrc/DIBitmap_X11.h"
#include "comsrc/ScreenContext_X11.h"
#include "comsrc/Trace.h"
#include "comsrc/X11Windows_X11.h"
#include "settings/CaptureOptions.h"
#include "source/DamageWatch_X11.h"

namespace {

// A request's error, if any; false when it failed or the server is gone.
bool succeeded(xcb_connection_t* c, xcb_void_cookie_t cookie) {
  xcb_generic_error_t* error = xcb_request_check(c, cookie);
  std::free(error);
  return !error && !xcb_connection_has_error(c);
}

bool compositeOffered(xcb_connection_t* c) {
  const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_composite_id);
  if (!ext || !ext->present) return false;
  // Naming a window's pixmap came with version 0.2.
  xcb_composite_query_version_reply_t* version =
      xcb_composite_query_version_reply(c, xcb_composite_query_version(c, 0, 2), nullptr);
  const bool named = version && (version->major_version > 0 || version->minor_version >= 2);
  std::free(version);
  return named;
}

// The window is redirected to a pixmap of its own, which holds its content whatever covers it;
// the server still draws it on the screen as before. The pixmap is named anew when the window's
// size changes (the server then gives it a new one), and DAMAGE on the window tells drawing.
class WindowCapture_X11 : public ScreenCapture, DamageWatch_X11::Listener {
 public:
  WindowCapture_X11(CaptureOptions* options, std::string* tracedMatch) : options(options), traced(tracedMatch) {}

  ~WindowCapture_X11() override { release(); }

  std::unique_ptr<comsrc::DIBitmap> createCaptureBitmap(ScreenContext* screen, int32_t width,
                                                         int32_t height) override {
    std::unique_ptr<comsrc::DIBitmap_X11> b(new (std::nothrow) comsrc::DIBitmap_X11(screen));
    if (!b || b->createWithDepth(width, height, 32) != 0) return nullptr;
    return b;
  }

  bool blitFromScreen(comsrc::DIBitmap& target, ScreenContext* screen, int32_t srcX, int32_t srcY) override {
    if (target.getKind() != comsrc::kBitmapKindDIBX11 || !ready(screen)) return false;
    xcb_connection_t* c = screen->connection.get();
    watch.forget(c, this);
    if (gone) return false;
    if (resized && !namePixmap(c)) return false;
    // The client area lies inside the border.
    const comsrc::Rect client{border, border, border + width, border + height};
    return static_cast<comsrc::DIBitmap_X11&>(target).captureFrom(pixmap, client, srcX, srcY) == 0;
  }

  Drawing drawing(ScreenContext* screen) override {
    if (!ready(screen)) return Drawing::unknown;
    const Drawing d = watch.drawing(screen->connection.get(), this);
    return gone ? Drawing::unknown : d;
  }

  intptr_t drawingEvents(ScreenContext* screen) override { return gone ? -1 : watch.events(screen); }

  bool lost() const override { return gone; }

  void onEvent(const xcb_generic_event_t& event) override {
    switch (event.response_type & 0x7F) {
      case XCB_CONFIGURE_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
        if (e.window != window || (e.width == width && e.height == height && e.border_width == border)) break;
        width = e.width;
        height = e.height;
        border = e.border_width;
        resized = true;
        watch.markDrawn();
        break;
      }
      // Minimised windows are unmapped too.
      case XCB_UNMAP_NOTIFY:
        if (reinterpret_cast<const xcb_unmap_notify_event_t&>(event).window == window) lose("was unmapped");
        break;
      case XCB_DESTROY_NOTIFY:
        if (reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window == window) lose("was closed");
        break;
      default:
        break;
    }
  }

 private:
  // Finds the window on first use; false once the capture is lost.
  bool ready(ScreenContext* screen) {
    if (gone) return false;
    if (!screen || screen->lost()) return lose("lost its X server");
    if (looked && screen->owns(on)) return true;
    // The display was opened anew (links reopened, say): the window is looked for again on the
    // new connection, with nothing of this capture left on the old one.
    if (looked) release();
    looked = true;
    on = screen->connection;
    xcb_connection_t* c = screen->connection.get();
    const std::string wanted = "title \"" + options->windowTitle + "\" class \"" + options->windowClass + "\"";
    if (!compositeOffered(c)) return fail("the X server has no Composite 0.2; no window can be mirrored");
    window = comsrc::x11::findClientWindow(c, screen->root, options->windowTitle, options->windowClass);
    if (!window) return fail("none matches " + wanted);
    const uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    if (!succeeded(c, xcb_change_window_attributes_checked(c, window, XCB_CW_EVENT_MASK, &structure)) ||
        !succeeded(c, xcb_composite_redirect_window_checked(c, window, XCB_COMPOSITE_REDIRECT_AUTOMATIC)))
      return fail("the match went away");
    redirected = true;
    watch.start(*screen, window);
    // The size after the events were chosen: a resize from here on comes as an event.
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    if (!g) return fail("the match went away");
    width = g->width;
    height = g->height;
    border = g->border_width;
    const bool sameDepth = g->depth == screen->depth || (g->depth == 32 && screen->bitsPerPixel == 32);
    std::free(g);
    if (!sameDepth) return fail("the match has a pixel format other than the screen's");
    if (!namePixmap(c)) return false;
    char size[48];
    std::snprintf(size, sizeof size, "0x%x, %dx%d, ", unsigned(window), width, height);
    note(std::string("mirroring ") + size + wanted);
    return true;
  }

  // Gives back what the capture holds on its connection, soundly when the server is gone.
  void release() {
    std::shared_ptr<xcb_connection_t> c = on.lock();
    if (c && !xcb_connection_has_error(c.get()) && window) {
      // A window already destroyed makes these fail; the errors come as events no one waits for.
      if (pixmap) xcb_free_pixmap(c.get(), pixmap);
      if (redirected) xcb_composite_unredirect_window(c.get(), window, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
      const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
      xcb_change_window_attributes(c.get(), window, XCB_CW_EVENT_MASK, &none);
      xcb_flush(c.get());
    }
    watch.stop();
    on.reset();
    window = pixmap = 0;
    redirected = resized = false;
  }

  bool namePixmap(xcb_connection_t* c) {
    if (pixmap) xcb_free_pixmap(c, pixmap);
    pixmap = xcb_generate_id(c);
    resized = false;
    if (succeeded(c, xcb_composite_name_window_pixmap_checked(c, window, pixmap))) return true;
    pixmap = 0;
    return lose("has no content to read (unmapped)");
  }

  bool fail(const std::string& why) {
    note(why);
    gone = true;
    return false;
  }

  bool lose(const char* why) {
    if (!gone) note(std::string("the mirrored window ") + why);
    gone = true;
    return false;
  }

  // After the choice of backend that made this capture, on the same line.
  void note(const std::string& line) {
    if (!traced) return trace("window capture", line.c_str());
    traceChanged(*traced, "window capture", traced->substr(0, traced->find(';')) + "; " + line);
  }

  CaptureOptions* options;
  std::string* traced;
  std::weak_ptr<xcb_connection_t> on;  // the connection the window was looked for on
  DamageWatch_X11 watch;
  xcb_window_t window = 0;
  xcb_pixmap_t pixmap = 0;
  int32_t width = 0, height = 0, border = 0;  // the client area's size, and the border round it
  bool looked = false;                         // the window was looked for
  bool redirected = false;
  bool resized = false;  // the pixmap is of an earlier size
  bool gone = false;
};

}  // namespace

std::unique_ptr<ScreenCapture> makeWindowCapture_X11(CaptureOptions* options, std::string* tracedMatch) {
  if (!options) return nullptr;
  return std::unique_ptr<ScreenCapture>(new (std::nothrow) WindowCapture_X11(options, tracedMatch));
}

#include "source/ScreenCapture_X11.h"

#include <xcb/damage.h>

#include <cstdlib>
#include <new>

#include "comsrc/DIBitmap_X11.h"
#include "comsrc/ScreenContext_X11.h"

namespace {

class ScreenCapture_X11 : public ScreenCapture {
 public:
  explicit ScreenCapture_X11(bool shm) : allowShm(shm) {}
  ~ScreenCapture_X11() override {
    if (std::shared_ptr<xcb_connection_t> c = watched.lock(); c && damage) {
      xcb_damage_destroy(c.get(), damage);
      xcb_flush(c.get());
    }
  }

  std::unique_ptr<comsrc::DIBitmap> createCaptureBitmap(ScreenContext* screen, int32_t width,
                                                         int32_t height) override {
    std::unique_ptr<comsrc::DIBitmap_X11> b(new (std::nothrow) comsrc::DIBitmap_X11(screen, allowShm));
    if (!b || b->createWithDepth(width, height, 32) != 0) return nullptr;
    return b;
  }

  // The server copies the root window's pixels as they are.
  bool blitFromScreen(comsrc::DIBitmap& target, ScreenContext* screen, int32_t srcX, int32_t srcY) override {
    if (target.getKind() != comsrc::kBitmapKindDIBX11) return false;
    // Forgotten before the copy, with the reports of it already here: what is drawn during
    // the copy is reported again next time.
    if (watching(screen) && damage) {
      takeReports(screen->connection.get());
      xcb_damage_subtract(screen->connection.get(), damage, XCB_NONE, XCB_NONE);
      seen = false;
    }
    return static_cast<comsrc::DIBitmap_X11&>(target).capture(srcX, srcY) == 0;
  }

  // The DAMAGE extension tells whether anything was drawn on the root window or its children;
  // a still screen then costs no copy and no comparison.
  Drawing drawing(ScreenContext* screen) override {
    if (!screen || screen->lost()) return Drawing::unknown;
    xcb_connection_t* c = screen->connection.get();
    if (!watching(screen)) {
      watched = screen->connection;
      damage = 0;
      const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_damage_id);
      // The version must be asked before the extension may be used.
      xcb_damage_query_version_reply_t* version =
          ext && ext->present ? xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr) : nullptr;
      if (version) {
        notifyEvent = ext->first_event + XCB_DAMAGE_NOTIFY;
        damage = xcb_generate_id(c);
        xcb_damage_create(c, damage, screen->root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
        // The whole window is reported at once; after this round trip that report is here.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        std::free(version);
      }
      return Drawing::unknown;
    }
    if (!damage) return Drawing::unknown;
    if (takeReports(c)) seen = true;
    return seen ? Drawing::drawn : Drawing::nothing;
  }

  intptr_t drawingEvents(ScreenContext* screen) override {
    if (!screen || screen->lost() || !watching(screen) || !damage) return -1;
    return xcb_get_file_descriptor(screen->connection.get());
  }

 private:
  // Reads every event that came on the connection; true when one of them reports drawing.
  bool takeReports(xcb_connection_t* c) const {
    bool drawn = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
      if ((event->response_type & 0x7F) == notifyEvent) drawn = true;
      std::free(event);
    }
    return drawn;
  }

  // Whether the damage object belongs to this screen's connection (not to an earlier one that
  // happened to lie at the same address).
  bool watching(const ScreenContext* screen) const {
    return screen && screen->connection && !watched.expired() && !watched.owner_before(screen->connection) &&
           !screen->connection.owner_before(watched);
  }

  bool allowShm;
  std::weak_ptr<xcb_connection_t> watched;
  xcb_damage_damage_t damage = 0;
  uint8_t notifyEvent = 0;
  bool seen = false;  // a drawing reported, not yet copied
};

}  // namespace

std::unique_ptr<ScreenCapture> makeScreenCapture_X11(bool allowSharedMemory) {
  return std::unique_ptr<ScreenCapture>(new (std::nothrow) ScreenCapture_X11(allowSharedMemory));
}

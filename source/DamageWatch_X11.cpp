#include "source/DamageWatch_X11.h"

#include <cstdlib>

#include "comsrc/ScreenContext_X11.h"

void DamageWatch_X11::stop() {
  if (std::shared_ptr<xcb_connection_t> c = watched.lock(); c && damage && !xcb_connection_has_error(c.get())) {
    xcb_damage_destroy(c.get(), damage);
    xcb_flush(c.get());
  }
  watched.reset();
  damage = 0;
  seen = false;
}

bool DamageWatch_X11::watching(const ScreenContext* screen) const {
  return screen && screen->owns(watched);
}

bool DamageWatch_X11::start(const ScreenContext& screen, xcb_drawable_t drawable) {
  xcb_connection_t* c = screen.connection.get();
  watched = screen.connection;
  damage = 0;
  seen = false;
  const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_damage_id);
  // The version must be asked before the extension may be used.
  xcb_damage_query_version_reply_t* version =
      ext && ext->present ? xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr) : nullptr;
  if (!version) return false;
  std::free(version);
  notifyEvent = uint8_t(ext->first_event + XCB_DAMAGE_NOTIFY);
  damage = xcb_generate_id(c);
  xcb_damage_create(c, damage, drawable, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
  // The whole drawable is reported at once; after this round trip that report is here.
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  return true;
}

Drawing DamageWatch_X11::drawing(xcb_connection_t* c, Listener* listener) {
  if (takeReports(c, listener)) seen = true;
  if (!damage) return Drawing::unknown;
  return seen ? Drawing::drawn : Drawing::nothing;
}

void DamageWatch_X11::forget(xcb_connection_t* c, Listener* listener) {
  takeReports(c, listener);
  if (damage) xcb_damage_subtract(c, damage, XCB_NONE, XCB_NONE);
  seen = false;
}

intptr_t DamageWatch_X11::events(const ScreenContext* screen) const {
  if (!screen || screen->lost() || !watching(screen) || !damage) return -1;
  return xcb_get_file_descriptor(screen->connection.get());
}

bool DamageWatch_X11::takeReports(xcb_connection_t* c, Listener* listener) const {
  bool drawn = false;
  while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
    if (damage && (event->response_type & 0x7F) == notifyEvent) drawn = true;
    else if (listener) listener->onEvent(*event);
    std::free(event);
  }
  return drawn;
}

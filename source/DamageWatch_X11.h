#pragma once

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <memory>

#include "source/Drawing.h"

struct ScreenContext;

// The DAMAGE extension's reports on one drawable (the root window, a mirrored window), read from
// the screen's connection: a still screen then costs no copy and no comparison.
class DamageWatch_X11 {
 public:
  // Receives the other events that come on the connection.
  class Listener {
   public:
    virtual void onEvent(const xcb_generic_event_t& event) = 0;

   protected:
    ~Listener() = default;
  };

  DamageWatch_X11() = default;
  DamageWatch_X11(const DamageWatch_X11&) = delete;
  DamageWatch_X11& operator=(const DamageWatch_X11&) = delete;
  ~DamageWatch_X11() { stop(); }

  // Whether it was started on this screen's connection (not on an earlier one that happened to
  // lie at the same address).
  bool watching(const ScreenContext* screen) const;
  // Watches `drawable` on the screen's connection; false when the server has no DAMAGE (the
  // watch then reports nothing, and is not started again on this connection).
  bool start(const ScreenContext& screen, xcb_drawable_t drawable);
  bool active() const { return damage != 0; }
  // Destroys the damage object while its connection lives; the watch is then not started.
  void stop();

  // Whether anything was drawn since the last copy (unknown without DAMAGE); reads every event
  // that came, handing the others to `listener` (may be null).
  Drawing drawing(xcb_connection_t* c, Listener* listener);
  // Before a copy: what was reported is forgotten, with the reports already here; what is
  // drawn during the copy is reported again next time.
  void forget(xcb_connection_t* c, Listener* listener);
  // Something the reports do not tell needs a copy (a window that was resized).
  void markDrawn() { seen = true; }
  // The connection's descriptor while it reports; -1 otherwise.
  intptr_t events(const ScreenContext* screen) const;

 private:
  bool takeReports(xcb_connection_t* c, Listener* listener) const;

  std::weak_ptr<xcb_connection_t> watched;
  xcb_damage_damage_t damage = 0;
  uint8_t notifyEvent = 0;
  bool seen = false;  // a drawing reported, not yet copied
};

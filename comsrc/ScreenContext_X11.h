#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>

// The screen context of the X11 adapters: a connection and the root window of its default
// screen. Bitmaps made for it share the connection, so it stays open while they live.
// The connection is XCB's, not Xlib's: a display can go away while the program runs (a stand-in
// display that was stopped), and Xlib cannot survive that (its I/O error path ends the process
// or leaves its display lock unbalanced), while XCB only marks the connection broken, fails its
// requests, and is still closed soundly.
struct ScreenContext {
  std::shared_ptr<xcb_connection_t> connection;
  xcb_window_t root = 0;
  int width = 0;
  int height = 0;
  int depth = 0;
  // How the root's pixels come in a Z-format image.
  int bitsPerPixel = 0;
  bool lsbFirst = true;
  uint32_t redMask = 0, greenMask = 0, blueMask = 0;
  bool shmOffered = false;  // the server has MIT-SHM; attaching can still fail on a remote display

  // The server went away (or never answered): every request fails from now on.
  bool lost() const { return !connection || xcb_connection_has_error(connection.get()) != 0; }
  // Whether `other` is this context's connection, not an earlier one that happened to lie at
  // the same address.
  bool owns(const std::weak_ptr<xcb_connection_t>& other) const {
    return connection && !other.expired() && !other.owner_before(connection) && !connection.owner_before(other);
  }
};

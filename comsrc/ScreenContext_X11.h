#pragma once

#include <X11/Xlib.h>

#include <memory>

// The screen context of the X11 adapters: a display connection and the root window of its
// default screen. Bitmaps made for it share the connection, so it stays open while they live.
struct ScreenContext {
  std::shared_ptr<Display> display;
  Window root = 0;
  int screen = 0;
  int width = 0;
  int height = 0;
  int depth = 0;
  Visual* visual = nullptr;
  bool shmOffered = false;  // the server has MIT-SHM; attaching can still fail on a remote display
};

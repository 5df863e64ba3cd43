#pragma once

#include <cstdint>

#include "comsrc/Rect.h"

// Owns the screen context of one display and that display's desktop rectangle.
// (The platform handle and open/close come with the screen-source adapters.)
class HDCAcquirer {
 public:
  virtual ~HDCAcquirer() = default;
  comsrc::Rect* rect() { return &displayRect; }

 protected:
  comsrc::Rect displayRect;
};

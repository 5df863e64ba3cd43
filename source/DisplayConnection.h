#pragma once

#include <cstdint>
#include <string>

#include "comsrc/Rect.h"

// The platform's screen context, opaque to portable code: a display device context on
// Windows, an X display connection with its root window on X11.
struct ScreenContext;

// How a platform opens and frees its screen contexts; each platform's adapter has one.
struct ScreenContextAccess {
  ScreenContext* (*open)(const char* deviceName);  // null when the display cannot be reached
  void (*release)(ScreenContext* dc);
};

// Owns the screen context of one display and that display's desktop rectangle.
class DisplayConnection {
 public:
  // No device name means the whole desktop. On X11 a device name is an X display name, or
  // an adapter description whose last word is one (a stand-in display: "Vantela ... :N").
  // Defined by the platform's adapter, which brings its screen context access.
  explicit DisplayConnection(const char* deviceName = nullptr);
  virtual ~DisplayConnection();
  DisplayConnection(const DisplayConnection&) = delete;
  DisplayConnection& operator=(const DisplayConnection&) = delete;

  // Closes the current context first; 0 when a new one was obtained, -1 otherwise.
  virtual int32_t open();
  virtual int32_t close();
  virtual comsrc::Rect* rect() { return &displayRect; }
  // Never opens by itself; null while closed.
  virtual ScreenContext* screenContext() { return dc; }
  // The device name, null for the whole desktop.
  const char* name() const { return hasDeviceName ? deviceName.c_str() : nullptr; }

 protected:
  // A display that is only a rectangle, with no screen context behind it (a picture standing
  // in for the screen): it never opens, and a program that has only such displays links none
  // of the platform's code.
  explicit DisplayConnection(const comsrc::Rect& rect);

  bool hasDeviceName = false;
  std::string deviceName;
  ScreenContext* dc = nullptr;  // owned; freed by close
  comsrc::Rect displayRect;

 private:
  DisplayConnection(const char* deviceName, const ScreenContextAccess* platform);

  const ScreenContextAccess* access = nullptr;
};

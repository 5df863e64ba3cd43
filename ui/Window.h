#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ui/Painter.h"
#include "ui/Pumped.h"

namespace ui {

// Window messages, numbered as Win32 numbers them, so one window procedure serves every platform.
enum : uint32_t {
  msgCreate = 0x0001,
  msgDestroy = 0x0002,
  msgPaint = 0x000F,
  msgClose = 0x0010,
  msgKeyDown = 0x0100,
  msgSysKeyDown = 0x0104,
  msgCommand = 0x0111,
  msgTimer = 0x0113,
  msgInitMenuPopup = 0x0117,  // a popup of the main menu is about to open (lParam: its index)
  msgMouseMove = 0x0200,
  msgLButtonDown = 0x0201,
  msgLButtonUp = 0x0202,
  msgRButtonDown = 0x0204,
  msgRButtonUp = 0x0205,
  msgMButtonDown = 0x0207,
  msgMButtonUp = 0x0208,
  msgPowerBroadcast = 0x0218,
  msgPicked = 0x8001,  // WM_APP + 1: a pick that beginPick began has ended (lParam: DesktopPick*)
};

// msgPowerBroadcast's wParam when the machine has woken from sleep.
inline constexpr uintptr_t pbtResumeAutomatic = 0x0012;

// Virtual-key codes of msgKeyDown, Win32 values; letters and digits are their upper-case ASCII.
enum : uint32_t {
  vkReturn = 0x0D,
  vkEscape = 0x1B,
  vkLeft = 0x25,
  vkUp = 0x26,
  vkRight = 0x27,
  vkDown = 0x28,
  vkF10 = 0x79,
};

// A mouse message's lParam: x in the low word, y in the high word, each a signed 16-bit value.
constexpr intptr_t pointParam(int32_t x, int32_t y) {
  return static_cast<intptr_t>(static_cast<uint32_t>(static_cast<uint16_t>(x)) |
                               (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16));
}
constexpr int32_t pointX(intptr_t lParam) { return static_cast<int16_t>(static_cast<uint32_t>(lParam) & 0xFFFF); }
constexpr int32_t pointY(intptr_t lParam) {
  return static_cast<int16_t>((static_cast<uint32_t>(lParam) >> 16) & 0xFFFF);
}

class Window;

// What a click on the desktop picked (Window::beginPick): the point in desktop coordinates (X11:
// the root window's; Windows: the virtual screen's, negative left of or above the primary
// monitor) and the top-level client window under it with its title and class (X11: the class
// part of WM_CLASS; Windows: the window class name), both empty where there is none.
// `cancelled` when Escape ended the pick.
struct DesktopPick {
  int32_t x = 0, y = 0;
  std::string title, windowClass;
  bool cancelled = false;
};

// The window procedure: gets every message; what it does not handle it passes to
// Window::defaultProc, as a Win32 procedure passes it to DefWindowProc.
class WindowHandler {
 public:
  virtual ~WindowHandler() = default;
  virtual intptr_t message(Window& w, uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
};

// A top-level window of the platform, in client coordinates (the menu bar lies outside them).
class Window {
 public:
  virtual ~Window() = default;
  // Draws into the window at once (GetDC ... ReleaseDC); null when the window is gone.
  virtual std::unique_ptr<Painter> painter() = 0;
  // For msgPaint only (BeginPaint ... EndPaint): validates the window.
  virtual std::unique_ptr<Painter> beginPaint() = 0;
  // Asks for a msgPaint; null means the whole client area. The background is not erased.
  virtual void invalidate(const Rect* r) = 0;
  // Mouse messages go to this window, wherever the pointer is, until releaseCapture.
  virtual void setCapture() = 0;
  virtual void releaseCapture() = 0;
  // msgTimer with wParam = id every periodMs milliseconds.
  virtual void setTimer(uint32_t id, uint32_t periodMs) = 0;
  virtual void setTitle(const char* utf8) = 0;
  virtual void show() = 0;
  virtual void destroy() = 0;
  virtual bool alive() const = 0;
  virtual int32_t clientWidth() const = 0;
  virtual int32_t clientHeight() const = 0;
  // The check mark before the main menu's item of `command`.
  virtual void checkMenuItem(int32_t command, bool checked) = 0;
  // The About box, modal to this window; returns 1 (OK, Enter) or 2 (Esc, close box).
  virtual int32_t runAbout() = 0;
  virtual intptr_t defaultProc(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
  // Starts a pick: a crosshair pointer, and the next click anywhere on the desktop (or Escape)
  // reaches the handler as msgPicked, lParam pointing to a DesktopPick valid during that call.
  // The window keeps running meanwhile. False where the platform cannot pick.
  virtual bool beginPick() { return false; }
  // Draws a one-bit image at once (as painter() does) with its top left at (x, y): rows of
  // `stride` bytes (a multiple of 4), the leftmost pixel of a byte in its top bit (its low bit
  // where bitsLowFirst), 1 in `on`, 0 in `off`. The image keeps its pixels 1:1 where the platform
  // cannot stretch it to the screen's dpi.
  virtual bool bitsLowFirst() const { return false; }  // the order the platform takes unconverted
  virtual void drawBits(const uint8_t* bits, int32_t stride, int32_t width, int32_t height, int32_t x, int32_t y,
                        Colour on, Colour off) = 0;
};

struct WindowSpec {
  const char* className = "VANTELINK";
  const char* title = "Vantelink";
  int32_t outerWidth = 320;  // frame, caption and menu bar included, as CreateWindow takes it
  int32_t outerHeight = 380;
  bool mainMenu = true;  // the menu (resource 109) with its accelerators
  // When set, the client area's size at 96 dpi, instead of the outer size above.
  int32_t clientWidth = 0;
  int32_t clientHeight = 0;
};

// Creates the window (msgCreate reaches the handler before this returns); null on failure.
std::unique_ptr<Window> createWindow(const WindowSpec& windowSpec, WindowHandler& handler);

// Handles at most one waiting message of this thread's windows without blocking; quit once
// postQuit was called.
Pumped pumpMessage();
// Returns once a message may be waiting (a window event, a due paint or timer), once
// `alsoReadable` (a descriptor, -1 for none) has something to read, or after ms milliseconds.
void waitForMessage(uint32_t ms, intptr_t alsoReadable = -1);
void postQuit();

}  // namespace ui

#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ui/Display_X11.h"
#include "ui/MenuBar.h"
#include "ui/Window.h"

namespace ui {

// A top-level X window. With a main menu, the toolkit's menu bar sits above the client area and
// its popup is a child window; client coordinates start below the bar.
class Window_X11 : public Window {
 public:
  struct Options {
    int32_t clientWidth = 0;
    int32_t clientHeight = 0;
    ::Window transientFor = 0;  // set for a dialog
    int32_t x = 0;  // position on the screen, in its pixels
    int32_t y = 0;
    bool besideCapture = false;  // without a window manager, x and y are chosen off the captured area
  };

  static std::unique_ptr<Window_X11> create(const WindowSpec& windowSpec, const Options& options, WindowHandler& handler);
  ~Window_X11() override;

  std::unique_ptr<Painter> painter() override;
  std::unique_ptr<Painter> beginPaint() override;
  void invalidate(const Rect* r) override;
  void setCapture() override;
  void releaseCapture() override;
  void setTimer(uint32_t id, uint32_t periodMs) override;
  void setTitle(const char* utf8) override;
  void show() override;
  void destroy() override;
  bool alive() const override { return xid_ != 0; }
  int32_t clientWidth() const override { return clientWidth_; }
  int32_t clientHeight() const override { return clientHeight_; }
  void checkMenuItem(int32_t command, bool checked) override;
  int32_t runAbout() override;
  intptr_t defaultProc(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  bool bitsLowFirst() const override;
  void drawBits(const uint8_t* bits, int32_t stride, int32_t width, int32_t height, int32_t x, int32_t y, Colour on,
                Colour off) override;
  bool beginPick() override;

  ::Window xid() const { return xid_; }
  bool owns(::Window w) const { return w != 0 && (w == xid_ || w == popup_); }
  // While a modal dialog is up the window takes no input but still paints and runs its timers.
  void setBlocked(bool blocked) { blocked_ = blocked; }
  void handleEvent(XEvent& ev);
  bool picking() const { return pickCursor_ != 0; }
  // An event of the pick's grabs: they report on the root window.
  void pickEvent(XEvent& ev);
  // Delivers a due paint or timer message; false when nothing was due.
  bool deliverPending();
  // Milliseconds until deliverPending has something to deliver (0: now), at most `limit`.
  int64_t msUntilPending(int64_t limit) const;
  int32_t barHeight() const { return menu_ ? MenuBar::barHeight : 0; }  // layout units
  int32_t barPixels() const { return scale_.toDevice(barHeight()); }
  // Client coordinates are 96-dpi layout units; the window itself is in the screen's pixels.
  const DpiScale& scale() const { return scale_; }
  const MenuBar* menu() const { return menu_.get(); }

 private:
  Window_X11(x11::Connection& c, WindowHandler& handler, const Options& options, bool withMenu);
  intptr_t send(uint32_t msg, uintptr_t wParam, intptr_t lParam) { return handler_.message(*this, msg, wParam, lParam); }
  void paintBar();
  void paintPopup();
  void applyMenu(const MenuBar::Result& r);
  void mouseEvent(uint32_t type, unsigned button, int32_t x, int32_t y);
  void keyEvent(XKeyEvent& key);
  void endPick(bool deliver);

  struct Timer {
    uint32_t id;
    uint32_t periodMs;
    int64_t dueMs;
  };

  std::unique_ptr<Painter> scaledPainter(::Window target, int32_t dy, int32_t width, int32_t height);

  x11::Connection& c_;
  DpiScale scale_;
  WindowHandler& handler_;
  ::Window xid_ = 0;
  ::Window popup_ = 0;
  GC bitsGc_ = nullptr;  // made on the first drawBits, kept: images are drawn every frame
  std::unique_ptr<MenuBar> menu_;
  int32_t initedPopup_ = -1;  // the open popup the handler was told of
  int32_t clientWidth_;
  int32_t clientHeight_;
  bool needPaint_ = false;
  bool blocked_ = false;
  bool captured_ = false;
  bool wantFocus_ = true;
  std::vector<Timer> timers_;
  Cursor pickCursor_ = 0;  // set while a pick holds the pointer and keyboard
  bool pickPressed_ = false;
  DesktopPick pick_;
};

// Runs the About box modally over owner; 1 for OK or Enter, 2 for Esc or the close box.
int32_t runAboutBox(Window_X11& owner);

// Handles one event or due message of any window of the program; -1 once quit was posted.
Pumped pumpOneX11(bool takeQuit);

}  // namespace ui

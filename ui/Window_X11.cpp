#include "ui/Window_X11.h"

#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "comsrc/LinuxToolkit_Linux.h"
#include "comsrc/X11Windows_X11.h"
#include "source/CaptureArea.h"
#include "ui/Painter_X11.h"
#include "ui/ScaledPainter.h"
#include "ui/resource.h"

namespace ui {

namespace {

#include "ui/res/AppIcon.inc"

std::vector<Window_X11*> g_windows;
bool g_quit = false;

// Window frame metrics of the Windows build (fixed dialog frame, caption, menu bar), so that the
// client area here has the size it has there.
constexpr int32_t kFrame = 3;
constexpr int32_t kCaption = 19;
constexpr int32_t kMenu = 19;

// The area the program captures, at the screen's top left: where no window manager places the
// window, it opens beside this area so that it does not mirror itself.
constexpr int32_t kCapturedWidth = kCaptureArea.right;
constexpr int32_t kCapturedHeight = kCaptureArea.bottom;

Window_X11* windowOf(::Window w) {
  for (Window_X11* win : g_windows)
    if (win->owns(w)) return win;
  return nullptr;
}

Window_X11* pickingWindow() {
  for (Window_X11* win : g_windows)
    if (win->picking()) return win;
  return nullptr;
}

// The title and class of the client window in `topLevel` (a child of the root), none when it
// holds no client.
void describeTopLevel(Display* dpy, ::Window topLevel, DesktopPick& pick) {
  if (!topLevel) return;
  xcb_connection_t* xc = XGetXCBConnection(dpy);
  const xcb_window_t client = comsrc::x11::clientWindow(xc, static_cast<xcb_window_t>(topLevel));
  if (!client) return;
  pick.title = comsrc::x11::windowTitle(xc, client);
  pick.windowClass = comsrc::x11::windowClass(xc, client);
}

uint32_t virtualKey(KeySym sym) {
  if (sym >= XK_a && sym <= XK_z) return static_cast<uint32_t>(sym - XK_a + 'A');
  if (sym >= XK_A && sym <= XK_Z) return static_cast<uint32_t>(sym - XK_A + 'A');
  if (sym >= XK_0 && sym <= XK_9) return static_cast<uint32_t>(sym - XK_0 + '0');
  switch (sym) {
    case XK_Return:
    case XK_KP_Enter:
      return vkReturn;
    case XK_Escape:
      return vkEscape;
    case XK_Left:
      return vkLeft;
    case XK_Up:
      return vkUp;
    case XK_Right:
      return vkRight;
    case XK_Down:
      return vkDown;
    case XK_F10:
      return vkF10;
    case XK_space:
      return 0x20;
    default:
      return 0xFF;
  }
}

void setIcon(x11::Connection& c, ::Window w) {
  std::vector<unsigned long> data;
  data.reserve(4 + 32 * 32 + 16 * 16);
  data.push_back(32), data.push_back(32);
  data.insert(data.end(), appIcon32, appIcon32 + 32 * 32);
  data.push_back(16), data.push_back(16);
  data.insert(data.end(), appIcon16, appIcon16 + 16 * 16);
  XChangeProperty(c.dpy, w, c.netWmIcon, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
}

// A window manager announces itself with a window of its own named on the root window, and the
// same property on that window (a stale one from a manager that died names a window that is gone).
bool windowManagerRuns(x11::Connection& c) {
  const Atom check = XInternAtom(c.dpy, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  auto supportingWindow = [&](::Window w) -> ::Window {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    ::Window found = 0;
    if (XGetWindowProperty(c.dpy, w, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
        data && type == XA_WINDOW && format == 32 && count == 1)
      found = static_cast<::Window>(*reinterpret_cast<unsigned long*>(data));
    if (data) XFree(data);
    return found;
  };
  const ::Window wm = supportingWindow(RootWindow(c.dpy, c.screen));
  return wm != 0 && supportingWindow(wm) == wm;
}

// To the right of the captured area (and of the `taken` pixels the program's windows hold
// there), else below it, else as far right as the screen allows.
void placeBesideCapture(x11::Connection& c, int32_t width, int32_t height, int32_t taken, int32_t& x, int32_t& y) {
  const int32_t screenWidth = DisplayWidth(c.dpy, c.screen), screenHeight = DisplayHeight(c.dpy, c.screen);
  if (kCapturedWidth + taken + width <= screenWidth) {
    x = kCapturedWidth + taken, y = 0;
  } else if (kCapturedHeight + height <= screenHeight) {
    x = 0, y = kCapturedHeight;
  } else {
    x = std::max(0, screenWidth - width), y = 0;
  }
}

}  // namespace

Window_X11::Window_X11(x11::Connection& c, WindowHandler& handler, const Options& options, bool withMenu)
    : c_(c), scale_(c.scale), handler_(handler), clientWidth_(options.clientWidth), clientHeight_(options.clientHeight) {
  if (withMenu) menu_ = std::make_unique<MenuBar>(mainMenu, mainMenuCount);
}

std::unique_ptr<Window_X11> Window_X11::create(const WindowSpec& windowSpec, const Options& options,
                                               WindowHandler& handler) {
  x11::Connection* c = x11::acquire();
  if (!c) return nullptr;
  std::unique_ptr<Window_X11> win(new Window_X11(*c, handler, options, windowSpec.mainMenu));
  if (options.clientWidth <= 0 || options.clientHeight <= 0) {
    x11::release();
    return nullptr;
  }
  const int32_t width = c->scale.toDevice(options.clientWidth);
  const int32_t height = win->barPixels() + c->scale.toDevice(options.clientHeight);
  int32_t x = options.x, y = options.y;
  const bool placed = options.transientFor || (options.besideCapture && !windowManagerRuns(*c));
  if (options.besideCapture && placed) {
    int32_t taken = 0;
    for (const Window_X11* other : g_windows) taken += other->scale().toDevice(other->clientWidth());
    placeBesideCapture(*c, width, height, taken, x, y);
  }
  XSetWindowAttributes attrs{};
  attrs.background_pixel = x11::pixel(*c, Colour::white);
  attrs.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                     StructureNotifyMask | FocusChangeMask;
  win->xid_ = XCreateWindow(c->dpy, RootWindow(c->dpy, c->screen), x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                            CWBackPixel | CWEventMask, &attrs);
  if (!win->xid_) {
    x11::release();
    return nullptr;
  }
  XSizeHints* hints = XAllocSizeHints();
  if (hints) {
    // With a window manager, the main window's place is the manager's choice.
    hints->flags = PMinSize | PMaxSize | (placed ? PPosition : 0);
    hints->x = x;
    hints->y = y;
    hints->min_width = hints->max_width = width;
    hints->min_height = hints->max_height = height;
    XSetWMNormalHints(c->dpy, win->xid_, hints);
    XFree(hints);
  }
  XClassHint classHint{const_cast<char*>(windowSpec.className), const_cast<char*>(windowSpec.className)};
  XSetClassHint(c->dpy, win->xid_, &classHint);
  XSetWMProtocols(c->dpy, win->xid_, &c->wmDeleteWindow, 1);
  setIcon(*c, win->xid_);
  if (options.transientFor) {
    XSetTransientForHint(c->dpy, win->xid_, options.transientFor);
    XChangeProperty(c->dpy, win->xid_, c->netWmWindowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&c->netWmWindowTypeDialog), 1);
  }
  win->setTitle(windowSpec.title);
  if (win->menu_) {
    win->popup_ = XCreateSimpleWindow(c->dpy, win->xid_, 0, 0, 1, 1, 0, 0, x11::pixel(*c, Colour::white));
    XSelectInput(c->dpy, win->popup_, ExposureMask);
    win->menu_->layout(*win->scaledPainter(win->xid_, 0, 0, 0));
  }
  g_windows.push_back(win.get());
  win->send(msgCreate, 0, 0);
  return win;
}

Window_X11::~Window_X11() { destroy(); }

void Window_X11::destroy() {
  if (!xid_) return;
  send(msgDestroy, 0, 0);
  if (picking()) endPick(false);
  if (captured_ || (menu_ && menu_->isOpen())) XUngrabPointer(c_.dpy, CurrentTime);
  if (bitsGc_) XFreeGC(c_.dpy, bitsGc_);
  bitsGc_ = nullptr;
  XDestroyWindow(c_.dpy, xid_);
  XFlush(c_.dpy);
  xid_ = popup_ = 0;
  g_windows.erase(std::remove(g_windows.begin(), g_windows.end(), this), g_windows.end());
  x11::release();
}

std::unique_ptr<Painter> Window_X11::scaledPainter(::Window target, int32_t dy, int32_t width, int32_t height) {
  return ui::scaledPainter(std::make_unique<Painter_X11>(c_, target, 0, dy, Rect{0, 0, width, height}), scale_);
}

std::unique_ptr<Painter> Window_X11::painter() {
  if (!xid_) return nullptr;
  return scaledPainter(xid_, barPixels(), scale_.toDevice(clientWidth_), scale_.toDevice(clientHeight_));
}

std::unique_ptr<Painter> Window_X11::beginPaint() {
  needPaint_ = false;
  return painter();
}

void Window_X11::invalidate(const Rect*) {
  if (xid_) needPaint_ = true;
}

void Window_X11::setCapture() {
  if (!xid_) return;
  captured_ = XGrabPointer(c_.dpy, xid_, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                           GrabModeAsync, GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
}

void Window_X11::releaseCapture() {
  if (!xid_ || !captured_) return;
  XUngrabPointer(c_.dpy, CurrentTime);
  XFlush(c_.dpy);
  captured_ = false;
}

void Window_X11::setTimer(uint32_t id, uint32_t periodMs) {
  const int64_t due = monotonicMs() + std::max<uint32_t>(periodMs, 10);
  for (Timer& t : timers_)
    if (t.id == id) {
      t = {id, periodMs, due};
      return;
    }
  timers_.push_back({id, periodMs, due});
}

void Window_X11::setTitle(const char* utf8) {
  if (!xid_ || !utf8) return;
  XChangeProperty(c_.dpy, xid_, c_.netWmName, c_.utf8String, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(utf8), static_cast<int>(std::strlen(utf8)));
  // WM_NAME as well, for tools that read only the old property.
  XTextProperty prop{};
  char* list[] = {const_cast<char*>(utf8)};
  if (Xutf8TextListToTextProperty(c_.dpy, list, 1, XUTF8StringStyle, &prop) == Success) {
    XSetWMName(c_.dpy, xid_, &prop);
    XFree(prop.value);
  }
}

void Window_X11::show() {
  if (!xid_) return;
  XMapRaised(c_.dpy, xid_);
  XFlush(c_.dpy);
}

bool Window_X11::bitsLowFirst() const {
  // Then the bytes are the same whatever the server's bitmap unit: Xlib sends them as they are.
  return BitmapBitOrder(c_.dpy) == LSBFirst && ImageByteOrder(c_.dpy) == LSBFirst;
}

void Window_X11::drawBits(const uint8_t* bits, int32_t stride, int32_t width, int32_t height, int32_t x, int32_t y,
                          Colour on, Colour off) {
  if (!xid_ || !bits || width <= 0 || height <= 0 || stride * 8 < width) return;
  if (!bitsGc_) bitsGc_ = XCreateGC(c_.dpy, xid_, 0, nullptr);
  // In the server's own bitmap format where the rows allow it, so that Xlib sends them without
  // converting them into a copy.
  const bool lowFirst = bitsLowFirst();
  const bool serverOrder = lowFirst || (BitmapBitOrder(c_.dpy) == MSBFirst && ImageByteOrder(c_.dpy) == MSBFirst);
  XImage image{};
  image.width = width;
  image.height = height;
  image.format = XYBitmap;
  image.data = const_cast<char*>(reinterpret_cast<const char*>(bits));
  image.byte_order = lowFirst ? LSBFirst : MSBFirst;
  image.bitmap_unit = serverOrder && stride % (BitmapUnit(c_.dpy) / 8) == 0 ? BitmapUnit(c_.dpy) : 8;
  image.bitmap_bit_order = lowFirst ? LSBFirst : MSBFirst;
  image.bitmap_pad = image.bitmap_unit;
  image.depth = 1;
  image.bytes_per_line = stride;
  image.bits_per_pixel = 1;
  if (!XInitImage(&image)) return;
  XSetForeground(c_.dpy, bitsGc_, x11::pixel(c_, on));
  XSetBackground(c_.dpy, bitsGc_, x11::pixel(c_, off));
  XPutImage(c_.dpy, xid_, bitsGc_, &image, 0, 0, scale_.toDevice(x), barPixels() + scale_.toDevice(y),
            static_cast<unsigned>(width), static_cast<unsigned>(height));
  XFlush(c_.dpy);
}

void Window_X11::checkMenuItem(int32_t command, bool checked) {
  if (!menu_) return;
  menu_->setChecked(command, checked);
  paintPopup();
}

// The pick grabs the pointer and the keyboard on the root window and returns at once: its events
// come through the same connection as the window's own, so the program runs on meanwhile.
bool Window_X11::beginPick() {
  if (!xid_) return false;
  if (picking()) return true;
  const ::Window root = RootWindow(c_.dpy, c_.screen);
  const Cursor cursor = XCreateFontCursor(c_.dpy, XC_crosshair);
  bool grabbed = XGrabPointer(c_.dpy, root, False, ButtonPressMask | ButtonReleaseMask, GrabModeAsync, GrabModeAsync,
                              None, cursor, CurrentTime) == GrabSuccess;
  if (grabbed && XGrabKeyboard(c_.dpy, root, False, GrabModeAsync, GrabModeAsync, CurrentTime) != GrabSuccess) {
    XUngrabPointer(c_.dpy, CurrentTime);
    grabbed = false;
  }
  if (!grabbed) {
    XFreeCursor(c_.dpy, cursor);
    XFlush(c_.dpy);
    return false;
  }
  captured_ = false;  // the pick's grab replaced the window's own
  pickCursor_ = cursor;
  pickPressed_ = false;
  pick_ = DesktopPick{};
  XFlush(c_.dpy);
  return true;
}

void Window_X11::pickEvent(XEvent& ev) {
  switch (ev.type) {
    case ButtonPress:
      // The window is the one under the press; the pick ends on the release, which the grab
      // still takes, so that it reaches no window.
      if (ev.xbutton.button != Button1 || pickPressed_) break;
      pickPressed_ = true;
      pick_.x = ev.xbutton.x_root;
      pick_.y = ev.xbutton.y_root;
      describeTopLevel(c_.dpy, ev.xbutton.subwindow, pick_);
      break;
    case ButtonRelease:
      if (ev.xbutton.button == Button1 && pickPressed_) endPick(true);
      break;
    case KeyPress:
      if (XLookupKeysym(&ev.xkey, 0) == XK_Escape) {
        pick_ = DesktopPick{};
        pick_.cancelled = true;
        endPick(true);
      }
      break;
    default:
      break;
  }
}

void Window_X11::endPick(bool deliver) {
  XUngrabKeyboard(c_.dpy, CurrentTime);
  XUngrabPointer(c_.dpy, CurrentTime);
  XFreeCursor(c_.dpy, pickCursor_);
  XFlush(c_.dpy);
  pickCursor_ = 0;
  pickPressed_ = false;
  const DesktopPick pick = std::move(pick_);
  if (deliver) send(msgPicked, 0, reinterpret_cast<intptr_t>(&pick));
}

int32_t Window_X11::runAbout() { return xid_ ? runAboutBox(*this) : 0; }

intptr_t Window_X11::defaultProc(uint32_t msg, uintptr_t wParam, intptr_t) {
  switch (msg) {
    case msgClose:
      destroy();
      return 0;
    case msgPaint:
      needPaint_ = false;
      return 0;
    case msgSysKeyDown:
      if (menu_) applyMenu(menu_->key(static_cast<uint32_t>(wParam), true));
      return 0;
    default:
      return 0;
  }
}

void Window_X11::paintBar() {
  if (!menu_ || !xid_) return;
  menu_->paintBar(*scaledPainter(xid_, 0, scale_.toDevice(clientWidth_), barPixels()), clientWidth_);
}

void Window_X11::paintPopup() {
  if (!menu_ || !menu_->isOpen() || !popup_) return;
  const Rect r = menu_->popupRect();
  menu_->paintPopup(*scaledPainter(popup_, 0, scale_.toDevice(r.width()), scale_.toDevice(r.height())));
}

void Window_X11::applyMenu(const MenuBar::Result& r) {
  if (!r.changed && !r.command) return;
  // As a native menu does, the window hears of a popup before it shows, to set its marks.
  if (menu_->isOpen() && menu_->openPopup() != initedPopup_) send(msgInitMenuPopup, 0, menu_->openPopup());
  initedPopup_ = menu_->isOpen() ? menu_->openPopup() : -1;
  if (menu_->isOpen()) {
    const Rect pr = menu_->popupRect();
    XMoveResizeWindow(c_.dpy, popup_, scale_.toDevice(pr.left), scale_.toDevice(pr.top),
                      static_cast<unsigned>(scale_.toDevice(pr.width())), static_cast<unsigned>(scale_.toDevice(pr.height())));
    XMapRaised(c_.dpy, popup_);
    if (!captured_)
      XGrabPointer(c_.dpy, xid_, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                   GrabModeAsync, None, None, CurrentTime);
    paintPopup();
  } else {
    XUnmapWindow(c_.dpy, popup_);
    XUngrabPointer(c_.dpy, CurrentTime);
  }
  paintBar();
  XFlush(c_.dpy);
  if (r.command) send(msgCommand, static_cast<uintptr_t>(r.command), 0);
}

void Window_X11::mouseEvent(uint32_t type, unsigned button, int32_t px, int32_t py) {
  if (blocked_) return;
  const int32_t x = scale_.toLogical(px), y = scale_.toLogical(py);
  // The menu bar is outside the client area: its events never reach the window procedure.
  if (menu_ && !captured_ && (menu_->isOpen() || (type == ButtonPress && button == Button1 && y < barHeight()))) {
    MenuBar::Result r;
    if (type == ButtonPress)
      r = menu_->press(x, y);
    else if (type == MotionNotify)
      r = menu_->move(x, y);
    else if (button == Button1)
      r = menu_->release(x, y);
    if (r.consumed) {
      applyMenu(r);
      return;
    }
  }
  const intptr_t lParam = pointParam(x, scale_.toLogical(py - barPixels()));
  if (type == MotionNotify) {
    send(msgMouseMove, 0, lParam);
    return;
  }
  const bool down = type == ButtonPress;
  switch (button) {
    case Button1:
      send(down ? msgLButtonDown : msgLButtonUp, 0, lParam);
      break;
    case Button2:
      send(down ? msgMButtonDown : msgMButtonUp, 0, lParam);
      break;
    case Button3:
      send(down ? msgRButtonDown : msgRButtonUp, 0, lParam);
      break;
    default:
      break;  // wheel steps are not mouse buttons to this window
  }
}

void Window_X11::keyEvent(XKeyEvent& key) {
  if (blocked_) return;
  char chars[8] = {};
  KeySym sym = NoSymbol;
  const int n = XLookupString(&key, chars, sizeof chars - 1, &sym, nullptr);
  if (sym == XK_Shift_L || sym == XK_Shift_R || sym == XK_Control_L || sym == XK_Control_R || sym == XK_Alt_L ||
      sym == XK_Alt_R || sym == XK_Meta_L || sym == XK_Meta_R || sym == XK_Super_L || sym == XK_Super_R)
    return;
  const uint32_t vk = virtualKey(sym);
  const bool alt = (key.state & Mod1Mask) != 0;
  if (menu_ && menu_->isOpen()) {
    applyMenu(menu_->key(vk, alt));
    return;
  }
  if (alt || vk == vkF10) {
    // The accelerator table: Alt + "?" and Alt + "/" (characters, not keys) open the About box.
    if (menu_ && alt && n == 1 && (chars[0] == '?' || chars[0] == '/')) {
      send(msgCommand, IDM_ABOUT, 0);
      return;
    }
    send(msgSysKeyDown, vk, 0);
    return;
  }
  send(msgKeyDown, vk, 0);
}

void Window_X11::handleEvent(XEvent& ev) {
  switch (ev.type) {
    case Expose:
      if (ev.xexpose.window == popup_) {
        if (ev.xexpose.count == 0) paintPopup();
      } else if (ev.xexpose.count == 0) {
        paintBar();
        needPaint_ = true;
      }
      break;
    case MapNotify:
      if (ev.xmap.window == xid_ && wantFocus_) {
        XSetInputFocus(c_.dpy, xid_, RevertToParent, CurrentTime);
        wantFocus_ = false;
      }
      break;
    case ClientMessage:
      if (!blocked_ && static_cast<Atom>(ev.xclient.data.l[0]) == c_.wmDeleteWindow) send(msgClose, 0, 0);
      break;
    case ButtonPress:
    case ButtonRelease:
      mouseEvent(ev.type, ev.xbutton.button, ev.xbutton.x, ev.xbutton.y);
      break;
    case MotionNotify:
      mouseEvent(MotionNotify, 0, ev.xmotion.x, ev.xmotion.y);
      break;
    case KeyPress:
      keyEvent(ev.xkey);
      break;
    case FocusOut:
      // Another window took the keyboard (not a grab of our own): a native menu closes then.
      if (menu_ && menu_->isOpen() && ev.xfocus.mode == NotifyNormal && ev.xfocus.detail != NotifyInferior) {
        menu_->close();
        applyMenu({true, true, 0});
      }
      break;
    default:
      break;
  }
}

bool Window_X11::deliverPending() {
  if (!xid_) return false;
  if (needPaint_) {
    needPaint_ = false;
    send(msgPaint, 0, 0);
    return true;
  }
  const int64_t now = monotonicMs();
  for (Timer& t : timers_) {
    if (now < t.dueMs) continue;
    t.dueMs = std::max(t.dueMs + t.periodMs, now + 1);
    send(msgTimer, t.id, 0);
    return true;
  }
  return false;
}

int64_t Window_X11::msUntilPending(int64_t limit) const {
  if (!xid_) return limit;
  if (needPaint_) return 0;
  const int64_t now = monotonicMs();
  for (const Timer& t : timers_) limit = std::min(limit, std::max<int64_t>(t.dueMs - now, 0));
  return limit;
}

Pumped pumpOneX11(bool takeQuit) {
  if (g_quit) {
    if (takeQuit) g_quit = false;
    return Pumped::quit;
  }
  x11::Connection* c = x11::current();
  if (!c) return Pumped::none;
  if (XPending(c->dpy) > 0) {
    XEvent ev;
    XNextEvent(c->dpy, &ev);
    // Like Windows, hand on only the latest of a run of pointer moves: the loop takes one
    // message per pass and must not fall behind the pointer.
    while (ev.type == MotionNotify && XPending(c->dpy) > 0) {
      XEvent next;
      XPeekEvent(c->dpy, &next);
      if (next.type != MotionNotify || next.xmotion.window != ev.xmotion.window) break;
      XNextEvent(c->dpy, &ev);
    }
    if (ev.type == MappingNotify) {
      // Keys were remapped (a layout switch, or a tool typing a character the map lacked).
      XRefreshKeyboardMapping(&ev.xmapping);
    } else if (ev.xany.window == RootWindow(c->dpy, c->screen)) {
      if (Window_X11* p = pickingWindow()) p->pickEvent(ev);
    } else if (Window_X11* w = windowOf(ev.xany.window)) {
      w->handleEvent(ev);
    }
    return Pumped::handled;
  }
  // A window that delivers a message may create or destroy windows, so the pass ends there;
  // one that delivers nothing changes nothing. No copy of the list: this runs every pass.
  for (size_t i = 0; i < g_windows.size(); ++i)
    if (g_windows[i]->deliverPending()) return Pumped::handled;
  return Pumped::none;
}

std::unique_ptr<Window> createWindow(const WindowSpec& windowSpec, WindowHandler& handler) {
  Window_X11::Options options;
  options.clientWidth = windowSpec.clientWidth > 0 ? windowSpec.clientWidth : windowSpec.outerWidth - 2 * kFrame;
  options.clientHeight = windowSpec.clientHeight > 0
                             ? windowSpec.clientHeight
                             : windowSpec.outerHeight - 2 * kFrame - kCaption - (windowSpec.mainMenu ? kMenu : 0);
  options.besideCapture = true;
  return Window_X11::create(windowSpec, options, handler);
}

Pumped pumpMessage() { return pumpOneX11(true); }

void waitForMessage(uint32_t ms, intptr_t alsoReadable) {
  if (g_quit) return;
  x11::Connection* c = x11::current();
  // XPending also sends what Xlib still holds, so the server answers before the wait.
  if (c && XPending(c->dpy) > 0) return;
  int64_t wait = ms;
  for (const Window_X11* w : g_windows) wait = w->msUntilPending(wait);
  if (wait <= 0) return;
  pollfd fds[2];
  nfds_t count = 0;
  if (c) fds[count++] = pollfd{ConnectionNumber(c->dpy), POLLIN, 0};
  if (alsoReadable >= 0) fds[count++] = pollfd{static_cast<int>(alsoReadable), POLLIN, 0};
  poll(fds, count, static_cast<int>(wait));
}

void postQuit() { g_quit = true; }

}  // namespace ui

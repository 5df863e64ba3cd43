#include <windows.h>

#include <string>

#include "comsrc/Windows_Win32.h"
#include "ui/AboutDialog_Win32.h"
#include "ui/DpiScale.h"
#include "ui/Painter_Win32.h"
#include "ui/ScaledPainter.h"
#include "ui/Window.h"
#include "ui/resource.h"

namespace ui {

namespace {

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

template <class F>
F user32Function(const char* name) {
  FARPROC f = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
  return reinterpret_cast<F>(reinterpret_cast<void*>(f));
}

// The dpi of the monitor the window is on (Windows 10 and later), else the system's.
int32_t windowDpi(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow)
    if (const UINT dpi = getDpiForWindow(hwnd)) return saneDpi(dpi);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return saneDpi(dpi);
}

// Frame, caption and menu bar around a client area at dpi.
SIZE nonClientSize(DWORD style, bool menu, int32_t dpi) {
  using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi = user32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  RECT rc{0, 0, 100, 100};
  if (adjustForDpi) {
    adjustForDpi(&rc, style, menu, 0, static_cast<UINT>(dpi));
    return {rc.right - rc.left - 100, rc.bottom - rc.top - 100};
  }
  // Before Windows 10 the frame has the system's metrics, whatever dpi is asked for.
  AdjustWindowRectEx(&rc, style, menu, 0);
  return {rc.right - rc.left - 100, rc.bottom - rc.top - 100};
}

constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// The window that takes the accelerator table's commands (the one with the main menu).
HWND g_acceleratorWindow = nullptr;
HACCEL g_accelerators = nullptr;

class DcPainter : public Painter_Win32 {
 public:
  DcPainter(HWND hwnd, HDC dc, int32_t dpi) : Painter_Win32(dc, dpi), hwnd_(hwnd) {}
  ~DcPainter() override { ReleaseDC(hwnd_, dc()); }

 private:
  HWND hwnd_;
};

class PaintPainter : public Painter_Win32 {
 public:
  PaintPainter(HWND hwnd, const PAINTSTRUCT& ps, int32_t dpi) : Painter_Win32(ps.hdc, dpi), hwnd_(hwnd), ps_(ps) {}
  ~PaintPainter() override { EndPaint(hwnd_, &ps_); }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_;
};

class Window_Win32 : public Window {
 public:
  explicit Window_Win32(WindowHandler& handler) : handler_(handler) {}
  ~Window_Win32() override {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  }

  bool create(const WindowSpec& windowSpec) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const std::wstring className = widen(windowSpec.className);
    WNDCLASSEXW wc{};
    if (!GetClassInfoExW(instance, className.c_str(), &wc)) {
      wc = WNDCLASSEXW{};
      wc.cbSize = sizeof wc;
      wc.style = CS_HREDRAW | CS_VREDRAW;
      wc.lpfnWndProc = &Window_Win32::proc;
      wc.hInstance = instance;
      wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_VANTELINK));
      wc.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
      wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
      wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
      wc.lpszMenuName = windowSpec.mainMenu ? MAKEINTRESOURCEW(IDC_VANTELINK) : nullptr;
      wc.lpszClassName = className.c_str();
      if (!RegisterClassExW(&wc)) return false;
    }
    const std::wstring title = widen(windowSpec.title);
    int32_t outerWidth = windowSpec.outerWidth, outerHeight = windowSpec.outerHeight;
    if (windowSpec.clientWidth > 0 && windowSpec.clientHeight > 0) {
      const SIZE nc96 = nonClientSize(kStyle, windowSpec.mainMenu, 96);
      outerWidth = windowSpec.clientWidth + nc96.cx;
      outerHeight = windowSpec.clientHeight + nc96.cy;
    }
    HWND hwnd = CreateWindowExW(0, className.c_str(), title.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT, outerWidth,
                                outerHeight, nullptr, nullptr, instance, this);
    if (!hwnd) return false;
    if (!scale_.identity()) {
      // The outer size is given at 96 dpi: the client area it leaves there, scaled, in this dpi's frame.
      const SIZE nc96 = nonClientSize(kStyle, windowSpec.mainMenu, 96);
      const SIZE nc = nonClientSize(kStyle, windowSpec.mainMenu, scale_.dpi);
      SetWindowPos(hwnd, nullptr, 0, 0, scale_.toDevice(outerWidth - nc96.cx) + nc.cx,
                   scale_.toDevice(outerHeight - nc96.cy) + nc.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (windowSpec.mainMenu) {
      g_acceleratorWindow = hwnd;
      if (!g_accelerators) g_accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_VANTELINK));
    }
    return true;
  }

  std::unique_ptr<Painter> painter() override {
    if (!alive()) return nullptr;
    HDC dc = GetDC(hwnd_);
    if (!dc) return nullptr;
    return scaledPainter(std::make_unique<DcPainter>(hwnd_, dc, scale_.dpi), scale_);
  }

  std::unique_ptr<Painter> beginPaint() override {
    if (!alive()) return nullptr;
    PAINTSTRUCT ps{};
    if (!BeginPaint(hwnd_, &ps)) return nullptr;
    return scaledPainter(std::make_unique<PaintPainter>(hwnd_, ps, scale_.dpi), scale_);
  }

  void invalidate(const Rect* r) override {
    if (!alive()) return;
    if (!r) {
      InvalidateRect(hwnd_, nullptr, FALSE);
      return;
    }
    const Rect d = scale_.toDevice(*r);
    const RECT rc{d.left, d.top, d.right, d.bottom};
    InvalidateRect(hwnd_, &rc, FALSE);
  }

  void setCapture() override {
    if (alive() && pick_ == Pick::none) SetCapture(hwnd_);
  }
  void releaseCapture() override {
    if (pick_ == Pick::none) ReleaseCapture();
  }
  // The mouse captured, every click on the desktop reaches this window first; the widgets see
  // none of the pick's messages.
  bool beginPick() override {
    if (!alive()) return false;
    SetCapture(hwnd_);
    pick_ = Pick::waitingForClick;
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_CROSS)));
    return true;
  }
  void setTimer(uint32_t id, uint32_t periodMs) override {
    if (alive()) SetTimer(hwnd_, id, periodMs, nullptr);
  }
  void setTitle(const char* utf8) override {
    if (alive()) SetWindowTextW(hwnd_, widen(utf8).c_str());
  }
  void show() override {
    if (!alive()) return;
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
  }
  void destroy() override {
    if (alive()) DestroyWindow(hwnd_);
  }
  bool alive() const override { return hwnd_ && IsWindow(hwnd_); }
  int32_t clientWidth() const override {
    RECT rc{};
    GetClientRect(hwnd_, &rc);
    return scale_.lengthToLogical(rc.right - rc.left);
  }
  int32_t clientHeight() const override {
    RECT rc{};
    GetClientRect(hwnd_, &rc);
    return scale_.lengthToLogical(rc.bottom - rc.top);
  }
  void checkMenuItem(int32_t command, bool checked) override {
    if (alive())
      CheckMenuItem(GetMenu(hwnd_), static_cast<UINT>(command), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }
  int32_t runAbout() override {
    if (!alive()) return 0;
    return static_cast<int32_t>(
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), hwnd_, aboutDialogProc, 0));
  }
  intptr_t defaultProc(uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
  }
  void drawBits(const uint8_t* bits, int32_t stride, int32_t width, int32_t height, int32_t x, int32_t y, Colour on,
                Colour off) override {
    if (!alive() || !bits || width <= 0 || height <= 0 || stride % 4 != 0 || stride * 8 < width) return;
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colours[2];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = stride * 8;
    info.header.biHeight = -height;  // top row first
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.header.biCompression = BI_RGB;
    info.header.biClrUsed = 2;
    const auto quad = [](Colour c) {
      const uint32_t rgb = colourRef(c);
      return RGBQUAD{static_cast<BYTE>(rgb >> 16), static_cast<BYTE>(rgb >> 8), static_cast<BYTE>(rgb), 0};
    };
    info.colours[0] = quad(off);
    info.colours[1] = quad(on);
    HDC dc = GetDC(hwnd_);
    if (!dc) return;
    // Stretched to the layout's scale, so that the image keeps its place among the widgets.
    const Rect d = scale_.toDevice(Rect{x, y, x + width, y + height});
    StretchDIBits(dc, d.left, d.top, d.width(), d.height(), 0, 0, width, height, bits,
                  reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
    ReleaseDC(hwnd_, dc);
  }

  HWND hwnd() const { return hwnd_; }

 private:
  static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
      auto* self = static_cast<Window_Win32*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      self->hwnd_ = hwnd;
      self->scale_.dpi = windowDpi(hwnd);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window_Win32*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_DPICHANGED) {
      // Moved to a monitor of another dpi: the size Windows suggests keeps the scaled layout.
      self->scale_.dpi = saneDpi(LOWORD(wParam));
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    }
    if (self->pick_ != Pick::none && self->pickMessage(msg, wParam, lParam)) return 0;
    if (msg >= WM_MOUSEFIRST && msg <= WM_MBUTTONDBLCLK)
      lParam = pointParam(self->scale_.toLogical(pointX(lParam)), self->scale_.toLogical(pointY(lParam)));
    const LRESULT result = self->handler_.message(*self, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      if (g_acceleratorWindow == hwnd) g_acceleratorWindow = nullptr;
      self->hwnd_ = nullptr;
    }
    return result;
  }

  // True when the pick took the message.
  bool pickMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case WM_LBUTTONDOWN:
        if (pick_ == Pick::waitingForClick) {
          // Client coordinates of this window, wherever on the virtual screen the click was.
          POINT pt{pointX(lParam), pointY(lParam)};
          ClientToScreen(hwnd_, &pt);
          DesktopPick pick;
          pick.x = pt.x;
          pick.y = pt.y;
          if (HWND under = WindowFromPoint(pt)) {
            HWND top = GetAncestor(under, GA_ROOT);
            pick.title = comsrc::win32::windowTitle(top);
            pick.windowClass = comsrc::win32::windowClass(top);
          }
          // The capture is kept until the button is up, so the picked window sees no half click.
          pick_ = Pick::waitingForRelease;
          handler_.message(*this, msgPicked, 0, reinterpret_cast<intptr_t>(&pick));
        }
        return true;
      case WM_LBUTTONUP:
        if (pick_ == Pick::waitingForRelease) endPick();
        return true;
      case WM_KEYDOWN:
        if (wParam != VK_ESCAPE) return false;
        cancelPick(true);
        return true;
      case WM_CAPTURECHANGED:  // another window took the mouse
        if (reinterpret_cast<HWND>(lParam) != hwnd_) cancelPick(false);
        return true;
      case WM_MOUSEMOVE:
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(pick_ == Pick::waitingForClick ? IDC_CROSS : IDC_ARROW)));
        return true;
      default:
        return msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST;
    }
  }
  void endPick() {
    pick_ = Pick::none;
    ReleaseCapture();
  }
  void cancelPick(bool release) {
    const bool waiting = pick_ == Pick::waitingForClick;
    pick_ = Pick::none;
    if (release) ReleaseCapture();
    if (!waiting) return;
    DesktopPick pick;
    pick.cancelled = true;
    handler_.message(*this, msgPicked, 0, reinterpret_cast<intptr_t>(&pick));
  }

  enum class Pick { none, waitingForClick, waitingForRelease };

  WindowHandler& handler_;
  Pick pick_ = Pick::none;
  HWND hwnd_ = nullptr;
  DpiScale scale_;  // the handler works in 96-dpi layout units
};

}  // namespace

std::unique_ptr<Window> createWindow(const WindowSpec& windowSpec, WindowHandler& handler) {
  auto w = std::make_unique<Window_Win32>(handler);
  if (!w->create(windowSpec)) return nullptr;
  return w;
}

Pumped pumpMessage() {
  MSG msg;
  if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return Pumped::none;
  if (msg.message == WM_QUIT) return Pumped::quit;
  if (g_accelerators && g_acceleratorWindow && TranslateAcceleratorW(g_acceleratorWindow, g_accelerators, &msg))
    return Pumped::handled;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return Pumped::handled;
}

// Drawing on the screen cannot be waited for through GDI: frames follow the 40 ms grid there.
void waitForMessage(uint32_t ms, intptr_t) { MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE); }

void postQuit() { PostQuitMessage(0); }

}  // namespace ui

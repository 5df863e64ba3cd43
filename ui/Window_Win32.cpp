#include <windows.h>

#include <string>

#include "ui/AboutDialog_Win32.h"
#include "ui/Painter_Win32.h"
#include "ui/Window.h"
#include "ui/resource.h"

namespace ui {

namespace {

std::wstring widen(const char* s) {
  if (!s || !*s) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  if (n <= 1) return {};
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
  w.resize(static_cast<size_t>(n - 1));
  return w;
}

// The window that takes the accelerator table's commands (the one with the main menu).
HWND g_acceleratorWindow = nullptr;
HACCEL g_accelerators = nullptr;

class DcPainter : public Painter_Win32 {
 public:
  DcPainter(HWND hwnd, HDC dc) : Painter_Win32(dc), hwnd_(hwnd) {}
  ~DcPainter() override { ReleaseDC(hwnd_, dc()); }

 private:
  HWND hwnd_;
};

class PaintPainter : public Painter_Win32 {
 public:
  PaintPainter(HWND hwnd, const PAINTSTRUCT& ps) : Painter_Win32(ps.hdc), hwnd_(hwnd), ps_(ps) {}
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
    HWND hwnd = CreateWindowExW(0, className.c_str(), title.c_str(), WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                CW_USEDEFAULT, CW_USEDEFAULT, windowSpec.outerWidth, windowSpec.outerHeight, nullptr, nullptr,
                                instance, this);
    if (!hwnd) return false;
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
    return std::make_unique<DcPainter>(hwnd_, dc);
  }

  std::unique_ptr<Painter> beginPaint() override {
    if (!alive()) return nullptr;
    PAINTSTRUCT ps{};
    if (!BeginPaint(hwnd_, &ps)) return nullptr;
    return std::make_unique<PaintPainter>(hwnd_, ps);
  }

  void invalidate(const Rect* r) override {
    if (!alive()) return;
    if (!r) {
      InvalidateRect(hwnd_, nullptr, FALSE);
      return;
    }
    const RECT rc{r->left, r->top, r->right, r->bottom};
    InvalidateRect(hwnd_, &rc, FALSE);
  }

  void setCapture() override {
    if (alive()) SetCapture(hwnd_);
  }
  void releaseCapture() override { ReleaseCapture(); }
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
    return rc.right - rc.left;
  }
  int32_t clientHeight() const override {
    RECT rc{};
    GetClientRect(hwnd_, &rc);
    return rc.bottom - rc.top;
  }
  int32_t runAbout() override {
    if (!alive()) return 0;
    return static_cast<int32_t>(
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), hwnd_, aboutDialogProc, 0));
  }
  intptr_t defaultProc(uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
  }

  HWND hwnd() const { return hwnd_; }

 private:
  static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
      auto* self = static_cast<Window_Win32*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window_Win32*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    const LRESULT result = self->handler_.message(*self, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      if (g_acceleratorWindow == hwnd) g_acceleratorWindow = nullptr;
      self->hwnd_ = nullptr;
    }
    return result;
  }

  WindowHandler& handler_;
  HWND hwnd_ = nullptr;
};

}  // namespace

std::unique_ptr<Window> createWindow(const WindowSpec& windowSpec, WindowHandler& handler) {
  auto w = std::make_unique<Window_Win32>(handler);
  if (!w->create(windowSpec)) return nullptr;
  return w;
}

int32_t pumpMessage() {
  MSG msg;
  if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return 0;
  if (msg.message == WM_QUIT) return -1;
  if (g_accelerators && g_acceleratorWindow && TranslateAcceleratorW(g_acceleratorWindow, g_accelerators, &msg))
    return 1;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return 1;
}

// Drawing on the screen cannot be waited for through GDI: frames follow the 40 ms grid there.
void waitForMessage(uint32_t ms, intptr_t) { MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE); }

void postQuit() { PostQuitMessage(0); }

}  // namespace ui

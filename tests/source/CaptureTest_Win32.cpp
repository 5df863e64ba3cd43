// The GDI screen source under Wine. Wine's screen holds only Wine's own windows, so the
// picture is drawn by a window of this test.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstring>
#include <vector>

#include "MirrorTileWalk.h"
#include "SourceFakes.h"
#include "source/ScreenMirrorSource.h"
#include "source/DisplayConnection.h"
#include "source/ScreenContext_Win32.h"
#include "settings/CaptureOptions.h"
#include "source/ScreenCapture.h"

using comsrc::Rect;

namespace {

struct Fill {
  RECT r;
  COLORREF colour;
};
std::vector<Fill> picture;

LRESULT CALLBACK paintPicture(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_ERASEBKGND) return 1;
  if (msg == WM_PAINT || msg == WM_PRINTCLIENT) {  // the latter is what PrintWindow asks for
    PAINTSTRUCT ps;
    HDC dc = msg == WM_PAINT ? BeginPaint(hwnd, &ps) : reinterpret_cast<HDC>(wp);
    for (const Fill& f : picture) {
      HBRUSH b = CreateSolidBrush(f.colour);
      FillRect(dc, &f.r, b);
      DeleteObject(b);
    }
    if (msg == WM_PAINT) EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

void pump(HWND hwnd) {
  InvalidateRect(hwnd, nullptr, FALSE);
  UpdateWindow(hwnd);
  for (int i = 0; i < 20; ++i) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    Sleep(10);
  }
  GdiFlush();
}

class PictureWindow {
 public:
  explicit PictureWindow(const char* title = "") {
    WNDCLASSA wc{};
    wc.lpfnWndProc = paintPicture;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VlCapturePicture";
    RegisterClassA(&wc);
    hwnd = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "VlCapturePicture", title, WS_POPUP | WS_VISIBLE, 0, 0, 640,
                           480, nullptr, nullptr, wc.hInstance, nullptr);
    pump(hwnd);
  }
  ~PictureWindow() { DestroyWindow(hwnd); }
  void add(int x, int y, int w, int h, COLORREF c) {
    picture.push_back(Fill{RECT{x, y, x + w, y + h}, c});
    pump(hwnd);
  }
  HWND hwnd;
};

uint32_t rgbAt(comsrc::DIBitmap& b, int x, int y) { return vltest::pixelAt(b, x, y) & 0xFFFFFF; }

}  // namespace

TEST(DisplayConnectionWin32, OpensTheDesktopOnceAndClosesIt) {
  DisplayConnection acquirer;
  EXPECT_EQ(acquirer.screenContext(), nullptr);
  ASSERT_EQ(acquirer.open(), 0);
  ASSERT_NE(acquirer.screenContext(), nullptr);
  HDC first = acquirer.screenContext()->dc;
  EXPECT_EQ(GetObjectType(first), DWORD(OBJ_DC));
  ASSERT_EQ(acquirer.open(), 0);
  HDC second = acquirer.screenContext()->dc;
  EXPECT_TRUE(second == first || GetObjectType(first) == 0);
  EXPECT_EQ(GetDeviceCaps(second, HORZRES), GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(acquirer.close(), 0);
  EXPECT_EQ(acquirer.screenContext(), nullptr);
  EXPECT_EQ(GetObjectType(second), 0u);
}

TEST(CaptureWin32, MirrorReportsTheFirstImageWholeThenTheDrawnTiles) {
  picture = {{RECT{0, 0, 640, 480}, RGB(0x20, 0x20, 0x20)}};
  for (int x = 0; x < 640; x += 40) picture.push_back({RECT{x, 0, x + 20, 240}, RGB(x / 3, 255 - x / 3, 90)});
  PictureWindow window;

  DisplayConnection acquirer;
  ASSERT_EQ(acquirer.open(), 0);
  vltest::FakeCounter counter;
  vltest::RecordingList list;
  ScreenMirrorSource source(acquirer, list, Rect{0, 0, 640, 480});
  // The platform capture, with the test's counter.
  ScreenMirrorSource timed(acquirer, list, Rect{0, 0, 640, 480}, makeScreenCapture(), counter);

  ASSERT_EQ(timed.refresh(), 1);
  ASSERT_EQ(list.added.size(), 1u);
  EXPECT_EQ(list.added[0], (Rect{0, 0, 640, 480}));
  comsrc::DIBitmap* image = timed.bitmap();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->getStride(), -2560);
  EXPECT_EQ(rgbAt(*image, 45, 10), uint32_t((40 / 3) << 16 | (255 - 40 / 3) << 8 | 90));
  EXPECT_EQ(rgbAt(*image, 30, 10), 0x202020u);
  EXPECT_EQ(rgbAt(*image, 639, 479), 0x202020u);

  vltest::walkDrawnTiles(
      timed, list, counter, [&] { window.add(100, 50, 70, 40, RGB(255, 255, 255)); },
      [&](int x, int y) { window.add(x, y, 1, 1, RGB(0, 0, 255)); });

  // The desktop context gone: the source opens it again by itself.
  acquirer.close();
  counter.advanceMs(40);
  EXPECT_EQ(timed.refresh(), 0);
  EXPECT_NE(acquirer.screenContext(), nullptr);
}

TEST(CaptureWin32, AnAreaOffTheScreenIsBlackThereAndAWindowPrintsItselfThoughCovered) {
  picture = {{RECT{0, 0, 640, 480}, RGB(0x20, 0x20, 0x20)}, {RECT{0, 0, 320, 240}, RGB(200, 40, 90)}};
  PictureWindow window("mirrored picture");
  DisplayConnection acquirer;
  ASSERT_EQ(acquirer.open(), 0);
  ScreenContext* sc = acquirer.screenContext();
  std::unique_ptr<ScreenCapture> screen = makeScreenCapture();
  std::unique_ptr<comsrc::DIBitmap> image = screen->createCaptureBitmap(sc, 640, 480);
  ASSERT_NE(image, nullptr);
  const auto expectPixels = [&](std::initializer_list<std::array<uint32_t, 3>> xyRgb) {
    for (auto [x, y, rgb] : xyRgb) EXPECT_EQ(rgbAt(*image, int(x), int(y)), rgb) << x << "," << y;
  };
  // Left of and above the screen: black there (over what the last copy left), the screen beside it.
  ASSERT_TRUE(screen->blitFromScreen(*image, sc, 0, 0));
  ASSERT_TRUE(screen->blitFromScreen(*image, sc, -100, -50));
  expectPixels({{99, 60, 0}, {120, 49, 0}, {100, 50, 0xC8285A}, {419, 289, 0xC8285A}, {420, 289, 0x202020}});

  // Covered, and then smaller than the area: the window's own picture from its client area's
  // top left, black beyond it.
  SetWindowPos(window.hwnd, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  HWND cover = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 300, 300,
                               nullptr, nullptr, nullptr, nullptr);
  pump(cover);
  ASSERT_TRUE(screen->blitFromScreen(*image, sc, 40, 30));
  EXPECT_NE(rgbAt(*image, 10, 10), 0xC8285Au);
  CaptureOptions options;
  options.windowClass = "VlCapturePicture";
  options.windowTitle = "mirrored picture";
  bool offered = false;
  std::unique_ptr<ScreenCapture> capture = makeWindowCapture(&options, nullptr, nullptr, offered);
  ASSERT_TRUE(offered && capture && !capture->lost());
  SetWindowPos(window.hwnd, nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER);
  ASSERT_TRUE(capture->blitFromScreen(*image, sc, 0, 0));
  expectPixels({{10, 10, 0xC8285A}, {319, 239, 0xC8285A}, {320, 240, 0x202020}, {399, 299, 0x202020}, {400, 50, 0},
                {50, 300, 0}});

  options.windowTitle = "another picture";
  EXPECT_TRUE(makeWindowCapture(&options, nullptr, nullptr, offered)->lost());
  ShowWindow(window.hwnd, SW_MINIMIZE);
  EXPECT_TRUE(capture->lost());
  ShowWindow(window.hwnd, SW_RESTORE);
  EXPECT_FALSE(capture->lost());
  DestroyWindow(window.hwnd);
  EXPECT_FALSE(capture->blitFromScreen(*image, sc, 0, 0));
  DestroyWindow(cover);
}

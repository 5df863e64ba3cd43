// The GDI screen source under Wine. Wine's screen holds only Wine's own windows, so the
// picture is drawn by a window of this test.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "MirrorTileWalk.h"
#include "SourceFakes.h"
#include "source/ScreenMirrorSource.h"
#include "source/DisplayConnection.h"
#include "source/ScreenContext_Win32.h"
#include "settings/CaptureOptions.h"
#include "source/ScreenCapture.h"
#include "comsrc/DIBitmap.h"

using comsrc::Rect;

namespace {

struct Fill {
  RECT r;
  COLORREF colour;
};
std::vector<Fill> picture;

void drawPicture(HDC dc) {
  for (const Fill& f : picture) {
    HBRUSH b = CreateSolidBrush(f.colour);
    FillRect(dc, &f.r, b);
    DeleteObject(b);
  }
}

LRESULT CALLBACK paintPicture(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_ERASEBKGND) return 1;
  if (msg == WM_PRINTCLIENT) drawPicture(reinterpret_cast<HDC>(wp));  // what PrintWindow asks for
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    drawPicture(BeginPaint(hwnd, &ps));
    EndPaint(hwnd, &ps);
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
  explicit PictureWindow(int x = 0, int y = 0, const char* title = "") {
    WNDCLASSA wc{};
    wc.lpfnWndProc = paintPicture;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VlCapturePicture";
    RegisterClassA(&wc);
    hwnd = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "VlCapturePicture", title, WS_POPUP | WS_VISIBLE, x, y, 640,
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
  std::unique_ptr<ScreenCapture> screen = makeScreenCapture();
  DisplayConnection acquirer;
  ASSERT_EQ(acquirer.open(), 0);
  std::unique_ptr<comsrc::DIBitmap> image = screen->createCaptureBitmap(acquirer.screenContext(), 640, 480);
  ASSERT_NE(image, nullptr);
  {
    PictureWindow window;
    ASSERT_TRUE(screen->blitFromScreen(*image, acquirer.screenContext(), 0, 0));
    EXPECT_EQ(rgbAt(*image, 100, 50), 0xC8285Au);
    // Left of and above the screen: black there, the screen's pixels beside it.
    ASSERT_TRUE(screen->blitFromScreen(*image, acquirer.screenContext(), -100, -50));
    EXPECT_EQ(rgbAt(*image, 99, 60), 0u);
    EXPECT_EQ(rgbAt(*image, 120, 49), 0u);
    EXPECT_EQ(rgbAt(*image, 100, 50), 0xC8285Au);
    EXPECT_EQ(rgbAt(*image, 419, 289), 0xC8285Au);
    EXPECT_EQ(rgbAt(*image, 420, 289), 0x202020u);
    ASSERT_TRUE(screen->blitFromScreen(*image, acquirer.screenContext(), -kAreaReach, kAreaReach));
    EXPECT_EQ(rgbAt(*image, 320, 240), 0u);
  }

  PictureWindow window(40, 30, "mirrored picture");
  HWND cover = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 300, 300,
                               nullptr, nullptr, nullptr, nullptr);
  pump(cover);
  CaptureOptions options;
  options.windowClass = "VlCapturePicture";
  options.windowTitle = "mirrored picture";
  bool offered = false;
  std::unique_ptr<ScreenCapture> capture = makeWindowCapture(&options, nullptr, nullptr, offered);
  ASSERT_NE(capture, nullptr);
  EXPECT_TRUE(offered);
  ASSERT_FALSE(capture->lost());
  // The screen shows the cover; the capture the window's own picture, from its client area's origin.
  ASSERT_TRUE(screen->blitFromScreen(*image, acquirer.screenContext(), 40, 30));
  EXPECT_NE(rgbAt(*image, 10, 10), 0xC8285Au);
  ASSERT_TRUE(capture->blitFromScreen(*image, acquirer.screenContext(), 0, 0));
  EXPECT_EQ(rgbAt(*image, 10, 10), 0xC8285Au);
  EXPECT_EQ(rgbAt(*image, 319, 239), 0xC8285Au);
  EXPECT_EQ(rgbAt(*image, 320, 240), 0x202020u);
  EXPECT_EQ(rgbAt(*image, 639, 479), 0x202020u);
  // Smaller: the rest is black.
  SetWindowPos(window.hwnd, nullptr, 0, 0, 200, 100, SWP_NOMOVE | SWP_NOZORDER);
  ASSERT_TRUE(capture->blitFromScreen(*image, acquirer.screenContext(), 0, 0));
  EXPECT_EQ(rgbAt(*image, 199, 99), 0xC8285Au);
  EXPECT_EQ(rgbAt(*image, 200, 50), 0u);
  EXPECT_EQ(rgbAt(*image, 50, 100), 0u);

  options.windowTitle = "another picture";
  EXPECT_TRUE(makeWindowCapture(&options, nullptr, nullptr, offered)->lost());
  ShowWindow(window.hwnd, SW_MINIMIZE);
  EXPECT_TRUE(capture->lost());
  ShowWindow(window.hwnd, SW_RESTORE);
  EXPECT_FALSE(capture->lost());
  DestroyWindow(window.hwnd);
  EXPECT_TRUE(capture->lost());
  EXPECT_FALSE(capture->blitFromScreen(*image, acquirer.screenContext(), 0, 0));
  DestroyWindow(cover);
}

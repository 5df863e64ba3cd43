// A picture for the program to mirror under Wine, whose screen holds Wine's windows only: a
// borderless topmost window over (0, 0, 640, 480) with gradients, stripes and shapes. It stays
// until it is closed or killed.
#include <windows.h>

#include <cstdint>
#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480;

std::vector<uint32_t> makePicture() {
  std::vector<uint32_t> px(size_t(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      uint32_t r = uint32_t(x * 255 / kWidth), g = uint32_t(y * 255 / kHeight), b = uint32_t((x + y) * 255 / (kWidth + kHeight));
      const int dx = x - 200, dy = y - 240, d2 = dx * dx + dy * dy;
      if (d2 < 160 * 160 && (d2 / 900) % 2) r = g = b = 255;
      if (x >= 400 && x < 600 && y >= 60 && y < 200) r = g = b = ((x + y) / 6) % 2 ? 250 : 10;
      if (y >= 250 && y < 420 && x >= 420 + (420 - y) * 100 / 170 && x < 620 - (420 - y) * 100 / 170) r = g = b = 20;
      px[size_t(y) * kWidth + size_t(x)] = (r << 16) | (g << 8) | b;
    }
  return px;
}

const std::vector<uint32_t>& picture() {
  static const std::vector<uint32_t> px = makePicture();
  return px;
}

LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      BITMAPINFO bi{};
      bi.bmiHeader.biSize = sizeof bi.bmiHeader;
      bi.bmiHeader.biWidth = kWidth;
      bi.bmiHeader.biHeight = -kHeight;
      bi.bmiHeader.biPlanes = 1;
      bi.bmiHeader.biBitCount = 32;
      bi.bmiHeader.biCompression = BI_RGB;
      SetDIBitsToDevice(dc, 0, 0, kWidth, kHeight, 0, 0, 0, kHeight, picture().data(), &bi, DIB_RGB_COLORS);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.lpszClassName = L"VlShowPicture";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, wc.lpszClassName, L"picture", WS_POPUP | WS_VISIBLE, 0, 0,
                              kWidth, kHeight, nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}

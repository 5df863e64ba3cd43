#pragma once

#include <windows.h>

#include "Image.h"

namespace vltest {

// The client area of a window as the screen shows it.
Image grabClient(HWND hwnd);

// A top-down 32-bit DIB section of w x h pixels for dc; *bits points to its pixels.
HBITMAP makeDib32(HDC dc, int w, int h, void** bits);

// A real left click at (x, y) on the screen: the pointer moved there, the button pressed and released.
void clickAt(int x, int y);

}  // namespace vltest

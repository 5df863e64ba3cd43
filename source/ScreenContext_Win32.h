#pragma once

#include <windows.h>

// The screen context of the Win32 adapters: a display device context.
struct ScreenContext {
  HDC dc = nullptr;
};

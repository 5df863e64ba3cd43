#pragma once

#include <windows.h>

#include "Image.h"

namespace vltest {

// The client area of a window as the screen shows it.
Image grabClient(HWND hwnd);

}  // namespace vltest

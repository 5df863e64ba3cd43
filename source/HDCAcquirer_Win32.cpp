#include <new>

#include "source/HDCAcquirer.h"
#include "source/ScreenContext_Win32.h"

int32_t HDCAcquirer::open() {
  close();
  HDC handle = CreateDCA("DISPLAY", hasDeviceName ? deviceName.c_str() : nullptr, nullptr, nullptr);
  if (!handle) return -1;
  dc = new (std::nothrow) ScreenContext{handle};
  if (!dc) {
    DeleteDC(handle);
    return -1;
  }
  return 0;
}

int32_t HDCAcquirer::close() {
  if (dc) {
    DeleteDC(dc->dc);
    delete dc;
    dc = nullptr;
  }
  return 0;
}

#include <new>

#include "source/DisplayConnection.h"
#include "source/ScreenContext_Win32.h"

namespace {

ScreenContext* openContext(const char* deviceName) {
  HDC handle = CreateDCA("DISPLAY", deviceName, nullptr, nullptr);
  if (!handle) return nullptr;
  auto* dc = new (std::nothrow) ScreenContext{handle};
  if (!dc) DeleteDC(handle);
  return dc;
}

void releaseContext(ScreenContext* dc) {
  DeleteDC(dc->dc);
  delete dc;
}

constexpr ScreenContextAccess kWin32Access{openContext, releaseContext};

}  // namespace

DisplayConnection::DisplayConnection(const char* name) : DisplayConnection(name, &kWin32Access) {}

#include <windows.h>
#include <shellapi.h>

#include "ui/Shell.h"

namespace ui {

int32_t openAddress(const char* address) {
  if (!address || !*address) return -1;
  const auto result = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32 ? 0 : -1;
}

}  // namespace ui

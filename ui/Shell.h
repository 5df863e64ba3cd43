#pragma once

#include <cstdint>

namespace ui {

// Opens an address (web page or file) with the desktop's handler, without waiting for it.
// Returns 0 when the handler was started, negative when it could not be.
int32_t openAddress(const char* address);

}  // namespace ui

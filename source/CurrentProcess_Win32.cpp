#include <windows.h>

#include <cstdint>

#include "source/CurrentProcess.h"

uint32_t currentProcessHandle() { return uint32_t(reinterpret_cast<uintptr_t>(GetCurrentProcess())); }

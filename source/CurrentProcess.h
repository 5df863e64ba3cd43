#pragma once

#include <cstdint>

// The handle the driver is given for this process when it maps its frame buffer into it:
// GetCurrentProcess on Windows, the process id elsewhere. 32 bits, as the escape carries it.
uint32_t currentProcessHandle();

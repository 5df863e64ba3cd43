#include <unistd.h>

#include "source/CurrentProcess.h"

uint32_t currentProcessHandle() { return uint32_t(getpid()); }

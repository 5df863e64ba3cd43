#include <windows.h>

#include "link/WriterPriority.h"

void lowerThisThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

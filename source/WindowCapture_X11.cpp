#include "source/WindowCapture_X11.h"

// Filled by the X11 window mirror: until then no window is captured on X11.
std::unique_ptr<ScreenCapture> makeWindowCapture_X11(CaptureOptions*) { return nullptr; }

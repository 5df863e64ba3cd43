#pragma once

#include <memory>

#include "source/ScreenCapture.h"

struct CaptureOptions;

// The X11 capture of the options' window (see makeWindowCapture); `options` must outlive it.
std::unique_ptr<ScreenCapture> makeWindowCapture_X11(CaptureOptions* options);

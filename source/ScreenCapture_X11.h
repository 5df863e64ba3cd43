#pragma once

#include <memory>

#include "source/ScreenCapture.h"

// The X11 capture; with allowSharedMemory false it always reads with plain XGetImage.
std::unique_ptr<ScreenCapture> makeScreenCapture_X11(bool allowSharedMemory);

#pragma once

#include "comsrc/Rect.h"

// The rectangle of the main screen that the mirror captures; no source hands the frame more.
inline constexpr comsrc::Rect kCaptureArea{0, 0, 640, 480};

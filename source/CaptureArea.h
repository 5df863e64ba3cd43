#pragma once

#include "comsrc/Rect.h"

// The size of what a mirror captures, as a rectangle at the origin of its image: the main
// screen's area (its top left is a setting) or the top left of the chosen window. No source hands
// the frame more.
inline constexpr comsrc::Rect kCaptureArea{0, 0, 640, 480};

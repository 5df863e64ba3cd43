#pragma once

#include <cstdint>

#include "comsrc/Rect.h"

struct FrameState;

// The captured size for a display rectangle: at most 640 × 480, then bounded by the shrink
// setting of the first device slot (1: 320 × 240, 2: 210 × 160, 3: 160 × 120).
void captureSize(const comsrc::Rect& displayRect, int32_t shrink, int32_t& width, int32_t& height);

void buildLumaTables(FrameState& frame);

// Luma of rows 0 … height − 1 of a 32-bit image (bytes blue, green, red, unused) into the
// frame's lumaBuffer with row stride width, clamped to 4096 … 61440.
void convertToLuma(FrameState& frame, const uint8_t* pixels, int32_t stride, int32_t width, int32_t height);

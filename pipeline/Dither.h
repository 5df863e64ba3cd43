#pragma once

#include <cstdint>

#include "comsrc/Rect.h"
#include "pipeline/Tone.h"

inline constexpr int32_t kPixelOn = 65280;
inline constexpr int32_t kLevelHigh = 61440;
inline constexpr int32_t kLevelLow = 4096;

// One device's working pixels and where they sit in the captured image: element (c, r) is
// pixels[stride·r + c] and holds capture pixel (area.left + c, area.top + r).
struct WorkArea {
  int32_t* pixels = nullptr;
  int32_t stride = 0;
  comsrc::Rect area;  // clipped to the captured image; at most 400 × 240
};

// The luma of the whole captured image, row stride width.
struct LumaImage {
  const int32_t* luma = nullptr;
  int32_t width = 0;
};

// Passes the pixels that changed and the device area have in common through the tone curve
// and the dithering mode (1 Floyd–Steinberg, 2 halftone, anything else the threshold) into
// the working pixels. frameCounter is the halftone phase.
void ditherChanged(int32_t mode, const LumaImage& image, const ToneCurve& tone, const comsrc::Rect& changed,
                   const WorkArea& work, uint32_t frameCounter);

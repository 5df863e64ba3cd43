#pragma once

#include <cstdint>

#include "pipeline/Dither.h"

// Floyd–Steinberg error diffusion of the pixels that `changed` and the device area have in
// common (the dithering mode 1 of ditherChanged), several rows at a time in vector lanes.
// bandRows 8 asks for bands of eight rows; anything else gets the fastest height for this
// processor (sixteen where it has 512-bit vectors, else eight).
void floydSteinbergBands(const LumaImage& image, const ToneCurve& tone, const comsrc::Rect& changed,
                         const WorkArea& work, int32_t bandRows = 0);

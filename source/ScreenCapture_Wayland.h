#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "source/ScreenCapture.h"

// The wlroots screen copy of one Wayland output (zwlr_screencopy_manager_v1, copy with damage,
// into shared memory). `outputName` picks an output by name, and the areas copied lie on it;
// empty means the one holding the area's top left in the compositor's layout, (areaX, areaY) at
// first and the point each copy asks for after that (else the output at the layout's origin).
// Returns null when the compositor cannot be reached or offers no screen copy,
// with the reason in `why` and `answered` telling whether a compositor answered at all; `why`
// otherwise describes what was chosen.
std::unique_ptr<ScreenCapture> makeScreenCapture_Wayland(const std::string& outputName, int32_t areaX,
                                                         int32_t areaY, std::string& why, bool& answered);


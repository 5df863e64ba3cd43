#pragma once

#include <memory>
#include <string>

#include "source/ScreenCapture.h"

// The wlroots screen copy of one Wayland output (zwlr_screencopy_manager_v1, copy with damage,
// into shared memory). `outputName` picks an output by name; empty means the one holding the
// desktop's origin. Returns null when the compositor cannot be reached or offers no screen copy,
// with the reason in `why` and `answered` telling whether a compositor answered at all; `why`
// otherwise describes what was chosen.
std::unique_ptr<ScreenCapture> makeScreenCapture_Wayland(const std::string& outputName, std::string& why,
                                                         bool& answered);


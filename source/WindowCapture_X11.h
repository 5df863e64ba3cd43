#pragma once

#include <memory>
#include <string>

#include "source/ScreenCapture.h"

struct CaptureOptions;

// The X11 capture of the options' window (see makeWindowCapture) through the Composite
// extension; `options` must outlive it. `tracedMatch` (may be null, else outliving it too) is
// the line traced last, the choice of backend, which the capture extends with the window it
// matched: a search repeated every second is traced once.
std::unique_ptr<ScreenCapture> makeWindowCapture_X11(CaptureOptions* options, std::string* tracedMatch);

#pragma once

#include <memory>
#include <string>

#include "source/ScreenCapture.h"

struct CaptureOptions;

// The desktop portal's screen cast of a monitor, read from its PipeWire stream on a thread of
// its own; the window never waits on the portal or PipeWire. Until the user has answered the
// permission dialog the screen reads black and nothing counts as drawn; a refusal, the session's
// end or a refused frame buffer make the capture lost(). The session asks with the options'
// restore token and puts the one it gets back there (on the window's thread, when it is next
// asked what was drawn); `options` may be null. A capture destroyed while its session runs leaves
// the session to the next one made, for a moment. Returns null when there is no session bus or
// no portal on it, or when the user refused before (portalRefused()), with the reason in `why`.
std::unique_ptr<ScreenCapture> makeScreenCapture_Portal(CaptureOptions* options, std::string& why);

#pragma once

#include <memory>
#include <string>

#include "source/ScreenCapture.h"

struct CaptureOptions;

// The desktop portal's screen cast of a monitor, read from its PipeWire stream on a thread of
// its own; the window never waits on the portal or PipeWire. Until the user has answered the
// permission dialog the screen reads black and nothing counts as drawn; a refusal, the session's
// end, a stream that stops streaming or a refused frame buffer make the capture lost(). The
// session asks with the options' restore token and puts the one it gets back there (on the
// window's thread, when it is next asked what was drawn); a refusal sets `*refused`. Either may
// be null and must outlive the capture. Destroying the capture ends the session. Returns null
// when there is no session bus or no portal on it, or when `*refused` is set, with the reason in
// `why`.
std::unique_ptr<ScreenCapture> makeScreenCapture_Portal(CaptureOptions* options, bool* refused, std::string& why);
// The same with the portal's window source: the portal's own dialog picks the window, whose
// content the frames are; its restore token is kept apart from the monitor's. A window closed
// ends the stream, and the capture is lost.
std::unique_ptr<ScreenCapture> makeWindowCapture_Portal(CaptureOptions* options, bool* refused, std::string& why);

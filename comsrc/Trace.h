#pragma once

#include <cstdint>
#include <string>

namespace comsrc {
struct Rect;
}

// The program's trace on the standard error, on when VANTELINK_DEBUG is set: lines of the form
// "vantelink: TOPIC: TEXT".
bool tracing();
void trace(const char* topic, const char* text);
// The same, unless it repeats `last`, the line its caller traced before (which it then becomes):
// discovery tries again every second. The caller keeps `last`, so the trace itself holds nothing.
void traceChanged(std::string& last, const char* topic, const std::string& text);
// A captured frame: "vantelink: PATH N: damage X,Y WxH", or "damage unknown" without `damage`.
void traceFrame(const char* path, uint32_t count, const comsrc::Rect* damage);

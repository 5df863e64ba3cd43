#pragma once

#include <cstdint>

namespace comsrc {
struct Rect;
}

// The program's trace on the standard error, on when VANTELINK_DEBUG is set: lines of the form
// "vantelink: TOPIC: TEXT".
bool tracing();
void trace(const char* topic, const char* text);
// The same, unless it repeats the last line of its topic: discovery tries again every second.
void traceOnce(const char* topic, const char* text);
// A captured frame: "vantelink: PATH N: damage X,Y WxH", or "damage unknown" without `damage`.
void traceFrame(const char* path, uint32_t count, const comsrc::Rect* damage);

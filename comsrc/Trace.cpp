#include "comsrc/Trace.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "comsrc/Rect.h"

bool tracing() {
  // Read each time rather than cached: one environment lookup a frame at most.
  return std::getenv("VANTELINK_DEBUG") != nullptr;
}

void trace(const char* topic, const char* text) {
  if (tracing() && text) std::fprintf(stderr, "vantelink: %s: %s\n", topic, text);
}

void traceChanged(std::string& last, const char* topic, const std::string& text) {
  if (!tracing() || text == last) return;
  last = text;
  trace(topic, text.c_str());
}

void traceFrame(const char* path, uint32_t count, const comsrc::Rect* damage) {
  if (!tracing()) return;
  char text[80];
  std::snprintf(text, sizeof text, "damage unknown");
  if (damage) std::snprintf(text, sizeof text, "damage %d,%d %dx%d", damage->left, damage->top, damage->width(), damage->height());
  std::fprintf(stderr, "vantelink: %s %u: %s\n", path, count, text);
}

#include "source/Trace.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

#include "comsrc/Rect.h"

bool tracing() {
  static const bool on = std::getenv("VANTELINK_DEBUG") != nullptr;
  return on;
}

void trace(const char* topic, const char* text) {
  if (tracing() && text) std::fprintf(stderr, "vantelink: %s: %s\n", topic, text);
}

void traceOnce(const char* topic, const char* text) {
  if (!tracing() || !text) return;
  // The one memory of the trace: the last line of each topic, for every thread that traces.
  static std::mutex lock;
  static std::deque<std::pair<std::string, std::string>> last;
  std::lock_guard<std::mutex> hold(lock);
  for (auto& [t, line] : last) {
    if (t != topic) continue;
    if (line == text) return;
    line = text;
    return trace(topic, text);
  }
  last.emplace_back(topic, text);
  trace(topic, text);
}

void traceFrame(const char* path, uint32_t count, const comsrc::Rect* damage) {
  if (!tracing()) return;
  char text[80];
  std::snprintf(text, sizeof text, "damage unknown");
  if (damage) std::snprintf(text, sizeof text, "damage %d,%d %dx%d", damage->left, damage->top, damage->width(), damage->height());
  std::fprintf(stderr, "vantelink: %s %u: %s\n", path, count, text);
}

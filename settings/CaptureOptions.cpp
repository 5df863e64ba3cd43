#include "settings/CaptureOptions.h"

#include <cstdio>
#include <string>

#include "settings/PrefStore.h"
#include "settings/SoundValues.h"

namespace {

constexpr char kOutputKey[] = "G.OUTPUT";
constexpr char kPortalTokenKey[] = "G.PORTAL.TOKEN";
constexpr char kPortalWindowTokenKey[] = "G.PORTAL.WINDOW.TOKEN";
constexpr char kAreaXKey[] = "G.AREA.X";
constexpr char kAreaYKey[] = "G.AREA.Y";
constexpr char kWindowTitleKey[] = "G.WINDOW.TITLE";
constexpr char kWindowClassKey[] = "G.WINDOW.CLASS";

// A value the file can hold: one line, not empty (an empty value is no entry at all).
void putText(PrefStore& store, const char* key, const std::string& value) {
  if (value.empty() || value.find_first_of("\r\n") != std::string::npos) return;
  store.setLine((std::string(key) + "=" + value).c_str());
}

// The window's keys follow every pick: one the new window lacks goes from the file, and so does
// the window's token when a pick forgot it.
void putOrErase(PrefStore& store, const char* key, const std::string& value) {
  store.erase(key);
  putText(store, key, value);
}

std::string takeText(const PrefStore& store, const char* key) {
  const char* value = store.find(key);
  return value ? value : "";
}

void putWhole(PrefStore& store, const char* key, int32_t value) {
  if (value == 0 && !store.find(key)) return;
  char line[64];
  std::snprintf(line, sizeof line, "%s = %d", key, static_cast<int>(value));
  store.setLine(line);
}

int32_t takeReach(const PrefStore& store, const char* key) {
  const int32_t read = store.getInt(key, 0);
  const int32_t sound = read < -kAreaReach ? -kAreaReach : read > kAreaReach ? kAreaReach : read;
  if (sound != read)
    if (std::FILE* trace = settingsTrace())
      std::fprintf(trace, "vantelink: settings: %s=%d taken as %d\n", key, static_cast<int>(read),
                   static_cast<int>(sound));
  return sound;
}

}  // namespace

void putCaptureOptions(PrefStore& store, const CaptureOptions& options) {
  putText(store, kOutputKey, options.waylandOutput);
  putText(store, kPortalTokenKey, options.portalToken);
  putOrErase(store, kPortalWindowTokenKey, options.portalWindowToken);
  putWhole(store, kAreaXKey, options.areaX);
  putWhole(store, kAreaYKey, options.areaY);
  putOrErase(store, kWindowTitleKey, options.windowTitle);
  putOrErase(store, kWindowClassKey, options.windowClass);
}

void takeCaptureOptions(const PrefStore& store, CaptureOptions& options) {
  options.waylandOutput = takeText(store, kOutputKey);
  options.portalToken = takeText(store, kPortalTokenKey);
  options.portalWindowToken = takeText(store, kPortalWindowTokenKey);
  options.areaX = takeReach(store, kAreaXKey);
  options.areaY = takeReach(store, kAreaYKey);
  options.windowTitle = takeText(store, kWindowTitleKey);
  options.windowClass = takeText(store, kWindowClassKey);
}

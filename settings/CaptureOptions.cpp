#include "settings/CaptureOptions.h"

#include <string>

#include "settings/PrefStore.h"

namespace {

constexpr char kOutputKey[] = "G.OUTPUT";
constexpr char kPortalTokenKey[] = "G.PORTAL.TOKEN";

// A value the file can hold: one line, not empty (an empty value is no entry at all).
void putText(PrefStore& store, const char* key, const std::string& value) {
  if (value.empty() || value.find_first_of("\r\n") != std::string::npos) return;
  store.setLine((std::string(key) + "=" + value).c_str());
}

std::string takeText(const PrefStore& store, const char* key) {
  const char* value = store.find(key);
  return value ? value : "";
}

}  // namespace

void putCaptureOptions(PrefStore& store, const CaptureOptions& options) {
  putText(store, kOutputKey, options.waylandOutput);
  putText(store, kPortalTokenKey, options.portalToken);
}

void takeCaptureOptions(const PrefStore& store, CaptureOptions& options) {
  options.waylandOutput = takeText(store, kOutputKey);
  options.portalToken = takeText(store, kPortalTokenKey);
}

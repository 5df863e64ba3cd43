#pragma once

#include <string>

class PrefStore;

// What the screen capture of a Linux desktop keeps between runs: the Wayland output to mirror
// (empty: the one at the desktop's origin) and the desktop portal's restore token, which spares
// the user the permission dialog at the next start. Both are kept in the settings file only
// when set.
struct CaptureOptions {
  std::string waylandOutput;
  std::string portalToken;
};

void putCaptureOptions(PrefStore& store, const CaptureOptions& options);
void takeCaptureOptions(const PrefStore& store, CaptureOptions& options);

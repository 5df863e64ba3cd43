#pragma once

#include <cstdint>
#include <string>

class PrefStore;

// What the captures keep between runs: where the main-screen mirror's area lies on the desktop,
// which window the window mirror shows, the Wayland output to mirror (empty: the one that holds
// the area's top left) and the desktop portal's restore tokens, which spare the user the
// permission dialog at the next start: one for the monitor shared, one for the window (a
// monitor's token offered for a window would restore the monitor). The texts are kept in the settings file only when set,
// the area only when it is not at the desktop's origin.
struct CaptureOptions {
  std::string waylandOutput;
  std::string portalToken;
  std::string portalWindowToken;
  // The area's top left in desktop coordinates (negative left of or above the primary monitor
  // on Windows).
  int32_t areaX = 0, areaY = 0;
  // The window to mirror: its title, matched exactly, and its class (X11: the class part of
  // WM_CLASS; Windows: the window class name). Empty matches any window.
  std::string windowTitle;
  std::string windowClass;
};

// The farthest an area's top left may lie from the desktop's origin: beyond every screen a
// desktop can have, and near enough that the area's far corner is still a number.
inline constexpr int32_t kAreaReach = 32767;

void putCaptureOptions(PrefStore& store, const CaptureOptions& options);
// Reads them back; an area beyond kAreaReach is moved to it (traced under VANTELINK_DEBUG).
void takeCaptureOptions(const PrefStore& store, CaptureOptions& options);

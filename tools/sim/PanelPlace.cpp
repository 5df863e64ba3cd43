#include "tools/sim/PanelPlace.h"

#include <algorithm>

#include "source/CaptureArea.h"
#include "ui/Window.h"

namespace {

// The program mirrors the screen's top left 640 x 480: a window there would show itself.
constexpr int kCapturedWidth = kCaptureArea.right;
constexpr int kCapturedHeight = kCaptureArea.bottom;
// The settings window opens right of the captured area, at its top; a little spare for a frame.
const ui::WindowSpec kSettings{};
const int kSettingsRoom = kSettings.outerHeight + 20;

bool besideCapture(int screenWidth, int screenHeight, PanelPlace& place) {
  if (kCapturedWidth + place.width() <= screenWidth) {
    const bool settingsThere = kCapturedWidth + kSettings.outerWidth <= screenWidth;
    if (settingsThere && kSettingsRoom + place.height() <= screenHeight) {
      place.x = kCapturedWidth, place.y = kSettingsRoom;
      return true;
    }
    if (place.height() <= screenHeight) {
      place.x = kCapturedWidth, place.y = 0;
      return true;
    }
  }
  if (place.width() <= screenWidth && kCapturedHeight + place.height() <= screenHeight) {
    place.x = 0, place.y = kCapturedHeight;
    return true;
  }
  return false;
}

}  // namespace

PanelPlace placePanel(int screenWidth, int screenHeight) {
  for (int scale : {2, 1}) {
    PanelPlace place;
    place.scale = scale;
    if (besideCapture(screenWidth, screenHeight, place)) return place;
  }
  // Nowhere beside it: over the captured area's far corner rather than off the screen.
  PanelPlace place;
  if (place.width() > screenWidth || place.height() > screenHeight) place.scale = 1;
  place.x = std::max(0, screenWidth - place.width());
  place.y = std::max(0, screenHeight - place.height());
  return place;
}

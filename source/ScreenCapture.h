#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "source/Drawing.h"

namespace comsrc {
class DIBitmap;
struct Rect;
}  // namespace comsrc
struct CaptureOptions;
struct ScreenContext;

// One capture of a screen (X11, the wlroots screen copy, the desktop portal, Windows GDI): it
// copies areas into 32-bit bitmaps it makes, says whether anything was drawn and what to wait
// on, knows what its last copy changed where it can, and whether it can still read at all.
class ScreenCapture {
 public:
  virtual ~ScreenCapture() = default;

  // A created 32-bit bitmap of width × height for this screen, or null.
  virtual std::unique_ptr<comsrc::DIBitmap> createCaptureBitmap(ScreenContext* screen, int32_t width,
                                                                 int32_t height) = 0;
  // Copies the screen area at (srcX, srcY) of the target's size into a bitmap made by
  // createCaptureBitmap. False when the screen could not be read: the target then holds nothing
  // to compare or show.
  virtual bool blitFromScreen(comsrc::DIBitmap& target, ScreenContext* screen, int32_t srcX, int32_t srcY) = 0;
  // Whether anything was drawn since the last copy; a drawing once reported stays reported until
  // the next copy.
  virtual Drawing drawing(ScreenContext*) { return Drawing::unknown; }
  // A descriptor that becomes readable when something is drawn (after drawing() said nothing);
  // -1 when there is none.
  virtual intptr_t drawingEvents(ScreenContext*) { return -1; }
  // Where the platform knows it: the part of the last copy's target that can differ from the
  // copy before it (possibly empty), and true; false when any of it can.
  virtual bool damagedArea(comsrc::Rect&) { return false; }
  // True once the screen can no longer be read through this capture (its server went away,
  // it handed out a frame that had to be refused); the source is then made anew.
  virtual bool lost() const { return false; }
  // True where the desktop's own dialog chooses the window a window capture shows (the desktop
  // portal): a pick on the screen cannot reach that choice, a new session asks anew.
  virtual bool choosesItsOwnWindow() const { return false; }
};

// The capture of this platform (ScreenCapture_Win32.cpp; on Linux ScreenCapture_Linux.cpp
// chooses between X11, the Wayland screen copy and the desktop portal).
// `options` (may be null) say which output to mirror and carry the portal's restore token; the
// capture may update the token, so they must outlive it. `portalRefused` (may be null) is set
// when the user refuses the desktop portal's screen cast; while set, no new cast is asked for.
// `tracedChoice` (may be null) keeps the last choice traced, so that a choice made again after
// each discovery is traced once.
std::unique_ptr<ScreenCapture> makeScreenCapture(CaptureOptions* options = nullptr, bool* portalRefused = nullptr,
                                                 std::string* tracedChoice = nullptr);

// The capture of one window's own content, also where other windows cover it: its client area,
// with its top left at (0, 0) of the screen this capture reads. The window is the topmost whose
// title and class equal the options' windowTitle and windowClass (an empty one matches any);
// while there is none, or once it is closed, minimised or unmapped, the capture is lost.
// `offered` is false when this desktop has no way to capture one window (the wlroots screen
// copy); the capture is then lost from the start. The other arguments are makeScreenCapture's.
std::unique_ptr<ScreenCapture> makeWindowCapture(CaptureOptions* options, bool* portalRefused,
                                                 std::string* tracedChoice, bool& offered);

#pragma once

#include <cstdint>
#include <memory>

namespace comsrc {
class Bitmap;
class DIBitmap;
struct Rect;
}  // namespace comsrc
struct CaptureOptions;
struct ScreenContext;

// What the GDI screen source needs from the platform: 32-bit bitmaps a screen blit can land
// in, the bitmap compatible with the screen, and the blit itself.
class ScreenCapture {
 public:
  virtual ~ScreenCapture() = default;

  // A created 32-bit bitmap of width × height for this screen, or null.
  virtual std::unique_ptr<comsrc::DIBitmap> createCaptureBitmap(ScreenContext* screen, int32_t width,
                                                                 int32_t height) = 0;
  // 0 on success, negative on failure; `out` may stay empty where the platform has no such bitmap.
  virtual int32_t createCompatBitmap(ScreenContext* screen, int32_t width, int32_t height,
                                     std::unique_ptr<comsrc::Bitmap>& out) = 0;
  // Copies the screen area at (srcX, srcY) of the target's size into a bitmap made by
  // createCaptureBitmap. False when the screen could not be read: the target then holds nothing
  // to compare or show.
  virtual bool blitFromScreen(comsrc::DIBitmap& target, ScreenContext* screen, int32_t srcX, int32_t srcY,
                              uint32_t rasterOp) = 0;
  // False only when the platform knows that nothing was drawn on the screen since the last
  // blitFromScreen; true whenever it cannot tell.
  virtual bool drawnSinceLastBlit(ScreenContext* screen) { return true; }
  // The same question for the main loop, which asks between blits: 1 something was drawn, 0
  // nothing was, -1 the platform cannot tell. The answer stays for drawnSinceLastBlit.
  virtual int32_t drawingPending(ScreenContext* screen) { return -1; }
  // A descriptor that becomes readable when something is drawn (after drawingPending said 0);
  // -1 when there is none.
  virtual intptr_t drawingEvents(ScreenContext* screen) { return -1; }
  // Where the platform knows it: the part of the last blit's target that can differ from the
  // blit before it (possibly empty), and true; false when any of it can.
  virtual bool damagedArea(comsrc::Rect& area) { return false; }
  // True once the screen can no longer be read through this capture (its server went away,
  // it handed out a frame that had to be refused); the source is then made anew.
  virtual bool lost() const { return false; }
};

// The capture of this platform (ScreenCapture_Win32.cpp; on Linux ScreenCapture_Linux.cpp
// chooses between X11 and the Wayland screen copy).
// `options` (may be null) say which output to mirror and carry the portal's restore token; the
// capture may update the token, so they must outlive it. `portalRefused` (may be null) is set
// when the user refuses the desktop portal's screen cast; while set, no new cast is asked for.
std::unique_ptr<ScreenCapture> makeScreenCapture(CaptureOptions* options = nullptr, bool* portalRefused = nullptr);

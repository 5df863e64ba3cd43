#pragma once

#include <cstdint>

struct Devices;
struct FrameState;
struct ScreenSources;

// One frame for every connected device: refresh the active screen source, convert the
// captured area to luma once, dither each device's changed pixels, and queue the changed
// panel lines on its link. Empties the change list at the end.
void produceFrame(FrameState& frame, ScreenSources& sources, Devices& devices);

// Whether a frame now has anything to do.
enum class FrameWork {
  change,     // the change list holds something, a device dithers in halftone (its pattern moves
              // every frame) or the source reports a drawing
  resendDue,  // nothing was drawn, but a device has lines due to be sent again
  nothing,
  unknown,  // the source cannot tell: frames follow the 40 ms grid
};
FrameWork frameWorkPending(const ScreenSources& sources, const Devices& devices);

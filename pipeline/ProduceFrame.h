#pragma once

#include <cstdint>

struct Devices;
struct FrameState;
struct ScreenSources;

// One frame for every connected device: refresh the active screen source, convert the
// captured area to luma once, dither each device's changed pixels, and queue the changed
// panel lines on its link. Empties the change list at the end.
void produceFrame(FrameState& frame, ScreenSources& sources, Devices& devices);

// Whether a frame now has anything to do: 1 when the change list holds something, a device
// dithers in halftone (its pattern moves every frame) or the source reports a drawing; else 2
// when a device has lines due to be resent, 0 when nothing is to do, -1 when the source cannot
// tell.
int32_t frameWorkPending(const ScreenSources& sources, const Devices& devices);

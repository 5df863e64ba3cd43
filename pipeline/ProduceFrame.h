#pragma once

struct Devices;
struct FrameState;
struct ScreenSources;

// One frame for every connected device: refresh the active screen source, convert the
// captured area to luma once, dither each device's changed pixels, and queue the changed
// panel lines on its link. Empties the change list at the end.
void produceFrame(FrameState& frame, ScreenSources& sources, Devices& devices);

#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <string>

class DeviceLink;

namespace vltest {

class SimProcess;
class TempDir;

// Both scenarios' device: a settings file with that dithering mode, the ports folders of dir in
// use, and vantela-sim linked as COM5, writing its panel to the returned path (empty when the
// simulator did not start).
std::string startSimulatorAsCom5(const TempDir& dir, SimProcess& sim, int dither);

// Shapes, stripes and ramps over an 800 × 600 screen (clipped to a smaller one), so that every
// dithering decision has something to decide.
void drawPicture(Display* d);

// The root window of the display as an RGB PNG.
bool screenshot(Display* d, const std::string& path, std::string& error);

// Pixels in rows 0 … rows − 1 that differ between the simulator's panel and what
// vantela-preview makes of a screenshot (with the settings file dir/settings.ini), and the
// bright pixels of the panel; differing is -1 when a file cannot be read.
struct Comparison {
  long differing = -1;
  long bright = 0;
};
Comparison compareWithPreview(Display* d, const TempDir& dir, const std::string& panelPath, const std::string& tag,
                              int rows = 240);

// What both end-to-end scenarios expect: the first panel and the lines above the change of the
// second equal their previews; both are pictures, not blank panels, and not the same one twice;
// the simulator counted the whole frames (fullLines lines) and then at most the changed band.
void expectTwoPanels(const Comparison& first, const Comparison& second, const std::string& simCounts, long fullLines);

// Runs frames 45 ms apart while the link holds lines back (a change larger than what the line
// carries in two frames goes out over several), then waits until its ring is empty again (at most
// 10 s in all) and the simulator has read it.
void waitUntilSent(DeviceLink& link, uint32_t empty, const std::function<void()>& frame);

}  // namespace vltest

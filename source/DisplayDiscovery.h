#pragma once

#include <cstdint>

#include "source/DisplayPlatform.h"

struct ScreenSources;

// Builds both displays and the source of the capture mode anew, keeping the main screen's
// display, source and change list when that mode stays and the desktop is the same; sets
// driverDisplayFound, driverDisplayAttached and sourceReady. A driver display that does not
// answer as the driver counts as not found. 0, or -1 when the driver's display was found but
// its context could not be made.
int32_t discoverDisplays(ScreenSources& sources, DisplayPlatform& platform);
// The same through the sources' own platform, made on first use.
int32_t discoverDisplays(ScreenSources& sources);

// Re-creates the source of the current mode with the rectangle of the one it replaces (and, on
// the main screen, its capture unless that was lost).
// 0, or -1 when sourceReady is false or what it needs is absent.
int32_t rebuildSource(ScreenSources& sources, DisplayPlatform& platform);
int32_t rebuildSource(ScreenSources& sources);

// The driver's identity check; when it fails the driver counts as gone (found, attached and, in
// the external-monitor mode, sourceReady cleared). The check's result, -1 without a driver source.
int32_t checkDriver(ScreenSources& sources);

#pragma once

#include <cstdint>

#include "source/DisplayPlatform.h"

struct AppState;

// Throws away the change list, both displays and both sources and builds them anew; sets
// driverDisplayFound, driverDisplayAttached and sourceReady. 0, or -1 when the driver's display
// was found but its context could not be made.
int32_t discoverDisplays(AppState& app, DisplayPlatform& platform = systemDisplayPlatform());

// Re-creates the source of the current mode with the rectangle of the one it replaces.
// 0, or -1 when sourceReady is 0 or what it needs is absent.
int32_t rebuildSource(AppState& app, DisplayPlatform& platform = systemDisplayPlatform());

#pragma once

#include <string>

#include "link/Devices.h"
#include "pipeline/FrameState.h"
#include "settings/PrefStore.h"
#include "source/ScreenSources.h"

// Everything one program run holds (one per test, too). Start-up wires the parts to the
// routines, and each routine takes only the parts it uses.
struct AppState {
  std::string settingsFile;  // the file a user named on the command line; empty: the default
  PrefStore prefStore;
  Devices devices;
  ScreenSources sources;
  FrameState frame;
};

#pragma once

#include <cstdint>
#include <string>

#include "settings/CaptureMode.h"
#include "settings/DeviceSettings.h"

// Applies a settings file to the slots and the capture mode by the program's own reading
// rules. False with a one-line reason when the file cannot be read.
bool loadSettingsFile(const std::string& path, DeviceSlots& slots, CaptureMode& captureMode, std::string& error);

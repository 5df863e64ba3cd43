#pragma once

#include <cstdio>

#include "settings/DeviceSettings.h"

// Gives every value that only a hand-edited file can hold the one meaning the program uses:
// a turn other than 0 or 2, dithering outside 0 to 2 and a shrink outside 0 to 3 count as 0
// (what such values always showed, and what the window never stores otherwise); a speed of 0 or
// less is the default 500000; a position is moved into the captured 640 x 480, so that the
// device's 400 x 240 lie within it. Each value changed is written to `trace` (when given) as
// one line "vantelink: settings: MO.N.KEY=READ taken as NOW".
void makeSettingsSound(DeviceSlots& slots, std::FILE* trace);

// Where those lines go in the program: the standard error under VANTELINK_DEBUG, else nowhere.
std::FILE* settingsTrace();

#pragma once

#include <cstdint>

struct AppState;

// The way out, in order: save the settings, shut down and delete every link, then the change
// list, the sources and the displays. Returns the exit code.
int32_t finishProgram(AppState& app);

// What must not be lost when the program cannot go on (the X server went away): the settings
// saved and the links shut down, nothing else touched.
void rescueProgram(AppState& app);

#pragma once

#include <cstdint>

struct Devices;

// The next port number after start, in the direction of step (+1 or -1, wrapping within 1 to
// 63), whose port opens; start itself is tried last. -1 when none opens.
int32_t findPort(int32_t start, int32_t step);

// Shuts down every link and opens a fresh one for each active slot. 0 when at least one port
// opened (linksOpen set), else -1.
int32_t openLinks(Devices& devices);

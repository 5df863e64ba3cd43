#pragma once

#include <cstdint>

namespace comsrc {
class RectList;
}

inline constexpr int32_t kCompareTile = 32;

// Compares a new 32-bit image of width × height with the baseline in 32 × 32 tiles and adds one
// rectangle per run of changed tiles in a band to `changes`; returns how many it added. Only
// every second pixel pair of a row is looked at: in row r of a tile the pairs (parity + r) mod 2,
// + 2, ...; the last column of an odd-width tile never. The baseline takes the new pixels of
// every run it reports, so that it holds what was reported and a change in a pair this parity
// skipped is still found by the other. Row y of an image starts at its pointer + y × stride.
// The rectangles are moved by (originX, originY): the images may be a part of larger ones.
int32_t compareTiles(uint8_t* baseline, int32_t baselineStride, const uint8_t* next, int32_t nextStride,
                     int32_t width, int32_t height, uint32_t parity, comsrc::RectList& changes,
                     int32_t originX = 0, int32_t originY = 0);

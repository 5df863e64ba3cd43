#pragma once

#include <cstdint>
#include <vector>

#include "comsrc/ZeroedArray.h"
#include "source/CaptureArea.h"

inline constexpr int32_t kMaxCaptureWidth = kCaptureArea.width();
inline constexpr int32_t kMaxCaptureHeight = kCaptureArea.height();
inline constexpr int32_t kLineRecordSize = 57;

// What the frame routine keeps from one frame to the next and reuses, so that a frame
// allocates nothing.
struct FrameState {
  int32_t lumaR[256] = {};
  int32_t lumaG[256] = {};
  int32_t lumaB[256] = {};
  int32_t tablesBuilt = 0;

  // Luma of the captured area, row stride captureWidth, row 0 the top row.
  comsrc::ZeroedArray<int32_t> lumaBuffer{size_t{kMaxCaptureWidth} * kMaxCaptureHeight};
  // Goes up by one in every frame that has changes and wraps; the halftone phase.
  uint32_t frameCounter = 0;
  int32_t captureWidth = 0;
  int32_t captureHeight = 0;

  // One device's line records of one frame: at most a whole panel.
  std::vector<uint8_t> lineBlock = std::vector<uint8_t>(240 * kLineRecordSize, 0);
};

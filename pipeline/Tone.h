#pragma once

#include <cmath>
#include <cstdint>

#include "settings/DeviceSettings.h"

// A device's tone curve: contrast around mid-grey, a brightness offset in 1/256 steps of full
// scale, then a power law (skipped when gamma is exactly 1).
struct ToneCurve {
  double contrast = 1.0;
  double gamma = 1.0;
  int64_t offsetTerm = 32768;  // (offset + 128) × 256
  bool gammaIsOne = true;
  // Contrast 1 and no power: the tone is the luma moved by the offset, with no real arithmetic.
  bool linear = true;

  static ToneCurve of(const DeviceSettings& slot) {
    const bool gammaIsOne = slot.gamma == 1.0;
    return ToneCurve{slot.contrast, slot.gamma, (int64_t{slot.offset} + 128) * 256, gammaIsOne,
                     gammaIsOne && slot.contrast == 1.0};
  }

  // Truncation toward zero that saturates instead of overflowing. What is not a number (a
  // negative base raised to a fractional power) becomes the darkest possible value.
  static int32_t truncToInt(double v) {
    if (!(v == v)) return INT32_MIN;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
  }

  static int32_t saturate(int64_t v) { return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : int32_t(v)); }

  int32_t apply(int32_t luma) const {
    if (linear) return saturate(int64_t{luma} - 32768 + offsetTerm);
    const int64_t sum = int64_t{truncToInt(double(luma - 32768) * contrast)} + offsetTerm;
    int32_t t = saturate(sum);
    if (!gammaIsOne) t = truncToInt(std::pow(t * (1.0 / 65536.0), gamma) * 65536.0);
    return t;
  }
};

inline int32_t clampTone(int32_t t) { return t < 4096 ? 4096 : (t > 61440 ? 61440 : t); }

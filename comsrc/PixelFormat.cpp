#include "comsrc/PixelFormat.h"

bool PixelFormat::equals(const PixelFormat& other) const {
  if (bitsPerPixel != other.bitsPerPixel || model != other.model || componentCount != other.componentCount ||
      flags != other.flags) {
    return false;
  }
  const int32_t n = componentCount < 0 ? 0 : (componentCount > kMaxComponents ? kMaxComponents : componentCount);
  for (int32_t k = 0; k < n; ++k) {
    if (componentMax[k] != other.componentMax[k] || componentShift[k] != other.componentShift[k]) return false;
  }
  return true;
}

int32_t buildStandardFormat(PixelFormat& out, int32_t bitsPerPixel) {
  PixelFormat f;
  f.bitsPerPixel = bitsPerPixel;
  f.model = 1;
  switch (bitsPerPixel) {
    case 1:
    case 2:
    case 4:
    case 8:
      f.componentCount = 1;
      f.componentMax[0] = (1 << bitsPerPixel) - 1;
      f.flags = PixelFormat::kFlagIndexed;
      break;
    case 16:
      f.componentCount = 3;
      f.componentMax[0] = 31, f.componentMax[1] = 63, f.componentMax[2] = 31;
      f.componentShift[0] = 11, f.componentShift[1] = 5, f.componentShift[2] = 0;
      break;
    case 24:
    case 32:
      f.componentCount = bitsPerPixel == 24 ? 3 : 4;
      for (int32_t k = 0; k < 4; ++k) f.componentMax[k] = 255;
      f.componentShift[0] = 16, f.componentShift[1] = 8, f.componentShift[2] = 0, f.componentShift[3] = 24;
      if (bitsPerPixel == 24) f.componentMax[3] = 0, f.componentShift[3] = 0;
      break;
    default:
      return -1;
  }
  out = f;
  return 0;
}

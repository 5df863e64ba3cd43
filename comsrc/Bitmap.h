#pragma once

#include <cstdint>
#include <memory>

#include "comsrc/DrawingContext.h"

namespace comsrc {

inline constexpr int32_t kBitmapKindCompat = 1;
inline constexpr int32_t kBitmapKindDIB = 2;
inline constexpr int32_t kBitmapKindDIBWin32 = 0x101;

// A pixel image that lends out the one drawing context it owns.
class Bitmap {
 public:
  virtual ~Bitmap();
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;

  virtual int32_t create(int32_t width, int32_t height) = 0;
  virtual DrawingContext* lockContext() = 0;
  virtual int32_t unlockContext(DrawingContext* context) = 0;
  virtual int32_t getWidth() { return width; }
  virtual int32_t getHeight() { return height; }
  virtual int32_t getKind() { return kind; }

 protected:
  explicit Bitmap(int32_t kindCode) : kind(kindCode) {}

  std::unique_ptr<DrawingContext> context;
  int32_t width = 0;
  int32_t height = 0;
  int32_t kind = 0;
};

}  // namespace comsrc

#pragma once

#include "source/ScreenCapture.h"

// What the GDI captures share: they copy into DIB sections, whose memory DC GDI draws into.
class GdiCapture : public ScreenCapture {
 public:
  std::unique_ptr<comsrc::DIBitmap> createCaptureBitmap(ScreenContext*, int32_t width, int32_t height) override;
};

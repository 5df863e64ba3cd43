#pragma once

#include <cstdint>
#include <memory>

#include "comsrc/DIBitmap.h"
#include "source/FrameSource.h"
#include "source/DisplayConnection.h"
#include "tools/common/PngFile.h"

namespace comsrc {
class RectList;
}

// A picture that stands in for the screen: its first refresh reports the whole picture as
// changed, as a first capture does; every later one reports nothing, as a still screen does.
class PictureSource : public FrameSource {
 public:
  PictureSource(comsrc::RectList& changes) : changeList(changes) {}

  // Takes the picture's pixels as the source's 32-bit image; false for an empty picture.
  bool load(vltools::PngPicture&& picture);

  int32_t refresh() override;
  comsrc::DIBitmap* bitmap() override { return image.get(); }

 private:
  comsrc::RectList& changeList;
  std::unique_ptr<comsrc::DIBitmap> image;
  int32_t refreshes = 0;
};

// The display the picture stands in for: only its rectangle, never a screen context.
class PictureDisplay : public DisplayConnection {
 public:
  explicit PictureDisplay(const comsrc::Rect& rect) : DisplayConnection(rect) {}
};

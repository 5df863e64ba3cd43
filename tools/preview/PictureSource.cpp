#include "tools/preview/PictureSource.h"

#include <utility>
#include <vector>

#include "comsrc/PixelFormat.h"
#include "comsrc/RectList.h"

namespace {

// The picture's own pixels, already in the layout of the program's 32-bit bitmaps, lent out
// as one without a second copy. It has no drawing context: nothing draws on the screen.
class PictureBitmap : public comsrc::DIBitmap {
 public:
  bool adopt(vltools::PngPicture&& picture) {
    if (pixels || buildStandardFormat(format, 32) != 0) return false;
    bgrx = std::move(picture.bgrx);
    pixels = bgrx.data();
    stride = picture.stride();
    width = picture.width;
    height = picture.height;
    pixelsLocked = 0;
    return true;
  }

 private:
  std::vector<uint8_t> bgrx;
};

}  // namespace

bool PictureSource::load(vltools::PngPicture&& picture) {
  if (picture.width < 1 || picture.height < 1 || picture.bgrx.size() != size_t(picture.stride()) * picture.height)
    return false;
  auto bitmap = std::make_unique<PictureBitmap>();
  if (!bitmap->adopt(std::move(picture))) return false;
  image = std::move(bitmap);
  return true;
}

int32_t PictureSource::refresh() {
  if (!image) return -1;
  if (refreshes++ > 0) return 0;
  changeList.add(comsrc::Rect{0, 0, image->getWidth(), image->getHeight()});
  return 1;
}

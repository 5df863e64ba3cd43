#include "tools/preview/PictureSource.h"

#include <cstring>

#include "comsrc/RectList.h"

bool PictureSource::load(const vltools::PngPicture& picture) {
  auto bitmap = std::make_unique<comsrc::DIBitmap>();
  if (bitmap->create(picture.width, picture.height) != 0) return false;
  uint8_t* pixels = bitmap->lockPixels();
  if (!pixels) return false;
  for (int32_t y = 0; y < picture.height; ++y)
    std::memcpy(pixels + int64_t{y} * bitmap->getStride(), picture.bgrx.data() + int64_t{y} * picture.stride(),
                size_t(picture.stride()));
  bitmap->unlockPixels();
  image = std::move(bitmap);
  return true;
}

int32_t PictureSource::refresh() {
  if (!image) return -1;
  if (refreshes++ > 0) return 0;
  changeList.add(comsrc::Rect{0, 0, image->getWidth(), image->getHeight()});
  return 1;
}

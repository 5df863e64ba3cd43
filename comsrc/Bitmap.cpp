#include "comsrc/Bitmap.h"

#include "comsrc/DrawingContext.h"

namespace comsrc {
Bitmap::~Bitmap() = default;
}  // namespace comsrc

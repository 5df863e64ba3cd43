#include "comsrc/RectList.h"

// Construction and destruction only, until the list's operations land.
namespace comsrc {
RectList::RectList() = default;
RectList::~RectList() = default;
}  // namespace comsrc

#include "ui/MenuModel.h"

#ifndef VL_WEB_PAGE
#error "VL_WEB_PAGE is set by the build"
#endif

namespace ui {

const char* webPageAddress() { return VL_WEB_PAGE; }

}  // namespace ui

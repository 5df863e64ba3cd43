#include "source/HDCAcquirer.h"

HDCAcquirer::HDCAcquirer(const char* name, const ScreenContextAccess* platform)
    : hasDeviceName(name != nullptr), deviceName(name ? name : ""), access(platform) {}

HDCAcquirer::HDCAcquirer(const comsrc::Rect& rect) : HDCAcquirer(nullptr, nullptr) { displayRect = rect; }

HDCAcquirer::~HDCAcquirer() { HDCAcquirer::close(); }

int32_t HDCAcquirer::open() {
  close();
  if (!access) return -1;
  dc = access->open(name());
  return dc ? 0 : -1;
}

int32_t HDCAcquirer::close() {
  if (dc && access) access->release(dc);
  dc = nullptr;
  return 0;
}

#include "source/DisplayConnection.h"

DisplayConnection::DisplayConnection(const char* name, const ScreenContextAccess* platform)
    : hasDeviceName(name != nullptr), deviceName(name ? name : ""), access(platform) {}

DisplayConnection::DisplayConnection(const comsrc::Rect& rect) : DisplayConnection(nullptr, nullptr) { displayRect = rect; }

DisplayConnection::~DisplayConnection() { DisplayConnection::close(); }

int32_t DisplayConnection::open() {
  close();
  if (!access) return -1;
  dc = access->open(name());
  return dc ? 0 : -1;
}

int32_t DisplayConnection::close() {
  if (dc && access) access->release(dc);
  dc = nullptr;
  return 0;
}

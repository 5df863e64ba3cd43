#include "link/PortPath_POSIX.h"

#include <sys/stat.h>

#include <cstdlib>
#include <mutex>

#include "link/PortName.h"

namespace {

std::mutex locationsLock;
bool locationsSet = false;
PortLocations locations;

}  // namespace

PortLocations defaultPortLocations() {
  PortLocations out;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (config && config[0] == '/')
    out.portsFolder = std::string(config) + "/vantela/ports";
  else if (home && home[0])
    out.portsFolder = std::string(home) + "/.config/vantela/ports";
  return out;
}

void setPortLocations(const PortLocations& l) {
  std::lock_guard<std::mutex> hold(locationsLock);
  locations = l;
  locationsSet = true;
}

PortLocations currentPortLocations() {
  std::lock_guard<std::mutex> hold(locationsLock);
  if (!locationsSet) {
    locations = defaultPortLocations();
    locationsSet = true;
  }
  return locations;
}

std::string portDevicePath(int32_t port, const PortLocations& l) {
  if (port < kFirstPort || port > kLastPort) return {};
  if (!l.portsFolder.empty()) {
    std::string link = l.portsFolder + "/com" + std::to_string(port);
    struct stat st;
    if (lstat(link.c_str(), &st) == 0) return link;
  }
  if (l.deviceFolder.empty()) return {};
  if (port <= 16) return l.deviceFolder + "/ttyACM" + std::to_string(port - 1);
  if (port <= 32) return l.deviceFolder + "/ttyUSB" + std::to_string(port - 17);
  return l.deviceFolder + "/ttyS" + std::to_string(port - 33);
}

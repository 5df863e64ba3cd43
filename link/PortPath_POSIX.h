#pragma once

#include <cstdint>
#include <string>

// Where COMn is found on Linux: the symbolic link comN in the ports folder (kept beside the
// settings, as Wine keeps dosdevices), else COM1-16 = ttyACM0-15, COM17-32 = ttyUSB0-15 and
// COM33-63 = ttyS0-30 in the device folder.
struct PortLocations {
  std::string portsFolder;           // empty: no links
  std::string deviceFolder = "/dev";  // empty: no fallback devices
};

// $XDG_CONFIG_HOME/vantela/ports, else $HOME/.config/vantela/ports.
PortLocations defaultPortLocations();

// The locations every later port lookup uses (tests point them into a folder of their own).
void setPortLocations(const PortLocations& locations);
PortLocations currentPortLocations();

// The file to open for port n (1 to 63) with the given locations; empty for other numbers.
std::string portDevicePath(int32_t port, const PortLocations& locations);
inline std::string portDevicePath(int32_t port) { return portDevicePath(port, currentPortLocations()); }

// The settings window as a program of its own, for tests that drive it from outside (xdotool).
// Usage: vl_settings_host STATE_FILE [DEVICE_FOLDER]
// Settings and port links come from $XDG_CONFIG_HOME/vantela; DEVICE_FOLDER replaces /dev for
// the ports without a link.
#include <chrono>
#include <thread>

#include "SettingsHost.h"
#include "link/PortPath_POSIX.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (argc > 2) setPortLocations({defaultPortLocations().portsFolder, argv[2]});
  vltest::SettingsHost host(argv[1]);
  if (!host.start()) return 1;
  for (;;) {
    const ui::Pumped r = ui::pumpMessage();
    if (r == ui::Pumped::quit) break;
    if (r == ui::Pumped::none) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return host.finish() == 0 ? 0 : 3;
}

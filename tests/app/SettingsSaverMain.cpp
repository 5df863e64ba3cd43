// vl_settings_saver N: loads the settings file as the program does at start, then saves it N
// times as the program does at exit (0: until killed), slot 0's contrast alternating between
// 0.75 and 1.25, so that the file is nearly always being written when a kill comes.
#include <cstdlib>

#include "settings/PrefStore.h"
#include "settings/Settings.h"

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
  PrefStore store;
  DeviceSlots slots = makeDefaultSlots();
  CaptureMode mode = CaptureMode::mainScreen;
  if (loadSettings(store, slots, mode) != kSettingsOk) return 1;
  for (long i = 0; count == 0 || i < count; ++i) {
    slots[0].contrast = i % 2 ? 1.25 : 0.75;
    if (saveSettings(store, slots, mode) != kSettingsOk) return 1;
  }
  return 0;
}

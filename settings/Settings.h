#pragma once

#include <cstdint>
#include <string>

#include "settings/CaptureMode.h"
#include "settings/DeviceSettings.h"

namespace comsrc {
class PrefFileOpener;
}
class PrefStore;

// Results of loadSettings and saveSettings.
enum SettingsResult : int32_t {
  kSettingsOk = 0,
  kSettingsNoBase = -1,      // the preference base folder was not found
  kSettingsNoFolder = -2,    // the folder "vantela" could not be entered or created
  kSettingsNotSaved = -3,    // save only: the file could not be written; the old one is intact
};

inline constexpr const char* kSettingsFolder = "vantela";
inline constexpr const char* kSettingsFile = "vantelink.ini";
inline constexpr const char* kSettingsTempFile = "vantelink.ini.tmp";

// Reads the settings file into captureMode and the slots. A missing or unreadable file, and
// every key it lacks, leave the values as they are.
int32_t loadSettings(PrefStore& store, DeviceSlots& slots, CaptureMode& captureMode);
// Writes captureMode, the slots and every other key the store holds. The file is replaced
// only once the new one is complete on disk.
int32_t saveSettings(PrefStore& store, const DeviceSlots& slots, CaptureMode captureMode);

// The same with the file a user named (empty: the default file). Its folder is used as it
// stands; the new file is written beside it as FILE.tmp and then put in its place.
int32_t loadSettings(const std::string& file, PrefStore& store, DeviceSlots& slots, CaptureMode& captureMode);
int32_t saveSettings(const std::string& file, PrefStore& store, const DeviceSlots& slots, CaptureMode captureMode);

// Whether `file` names a file in an existing folder, as the two above need it.
bool settingsFileUsable(const std::string& file);

// The same with a given preference opener, whose base is then located and entered.
int32_t loadSettings(comsrc::PrefFileOpener& opener, PrefStore& store, DeviceSlots& slots, CaptureMode& captureMode);
int32_t saveSettings(comsrc::PrefFileOpener& opener, PrefStore& store, const DeviceSlots& slots, CaptureMode captureMode);

// The halves of both: the current values into the store (known keys first, in file order),
// and the values back out of it (a G.MODE the program does not know becomes 0, and every other value
// only an edited file can hold gets its one meaning: settings/SoundValues.h).
void putSettings(PrefStore& store, const DeviceSlots& slots, CaptureMode captureMode);
void takeSettings(const PrefStore& store, DeviceSlots& slots, CaptureMode& captureMode);

#include "settings/Settings.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "comsrc/PrefFileOpener.h"
#include "multio/TextReader_Stream.h"
#include "multio/TextWriter_Stream.h"
#include "settings/PrefStore.h"
#include "settings/SoundValues.h"

namespace {

constexpr int32_t kLineBuffer = 512;
constexpr int32_t kFormatBuffer = 4096;

size_t slotCount(const DeviceSlots& slots) {
  return slots.size() < static_cast<size_t>(kDeviceSlotCount) ? slots.size() : static_cast<size_t>(kDeviceSlotCount);
}

// "%f" without the process locale: six decimals and a '.' whatever LC_NUMERIC says.
struct RealText {
  explicit RealText(double value) {
    const auto result = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed, 6);
    *(result.ec == std::errc() ? result.ptr : text) = '\0';
  }
  char text[400];
};

// The device keys, in the order the file lists them. A key holds a whole number, a real, or a
// flag (any number read, 0 or 1 written).
struct SlotKey {
  enum Kind { whole, real, flag };
  const char* name;
  Kind kind;
  int32_t DeviceSettings::*number = nullptr;
  double DeviceSettings::*fraction = nullptr;
};

constexpr SlotKey kSlotKeys[] = {
    {"ACTIVE", SlotKey::whole, &DeviceSettings::active},
    {"PORT", SlotKey::whole, &DeviceSettings::port},
    {"SPEED", SlotKey::whole, &DeviceSettings::speed},
    {"DITHER", SlotKey::whole, &DeviceSettings::dither},
    {"CONTRAST", SlotKey::real, nullptr, &DeviceSettings::contrast},
    {"OFFSET", SlotKey::whole, &DeviceSettings::offset},
    {"GAMMA", SlotKey::real, nullptr, &DeviceSettings::gamma},
    {"INVERT", SlotKey::flag, &DeviceSettings::invert},
    {"ROTATE", SlotKey::whole, &DeviceSettings::rotate},
    {"SHRINK", SlotKey::whole, &DeviceSettings::shrink},
    {"CTS", SlotKey::whole, &DeviceSettings::cts},
    {"POS.X", SlotKey::whole, &DeviceSettings::posX},
    {"POS.Y", SlotKey::whole, &DeviceSettings::posY},
};

constexpr char kModeKey[] = "G.MODE";

void putKey(PrefStore& store, size_t slot, const SlotKey& key, const DeviceSettings& s) {
  char line[kLineBuffer];
  if (key.kind == SlotKey::real) {
    std::snprintf(line, sizeof line, "MO.%d.%s = %s", static_cast<int>(slot), key.name, RealText(s.*key.fraction).text);
  } else {
    const int32_t value = key.kind == SlotKey::flag ? (s.*key.number != 0 ? 1 : 0) : s.*key.number;
    std::snprintf(line, sizeof line, "MO.%d.%s = %d", static_cast<int>(slot), key.name, static_cast<int>(value));
  }
  store.setLine(line);
}

void takeKey(const PrefStore& store, size_t slot, const SlotKey& key, DeviceSettings& s) {
  char name[64];
  std::snprintf(name, sizeof name, "MO.%d.%s", static_cast<int>(slot), key.name);
  if (key.kind != SlotKey::real) {
    s.*key.number = store.getInt(name, s.*key.number);
    return;
  }
  // "nan" and "inf" parse, but no window step leads out of them again: they count as missing.
  const double value = store.getReal(name, s.*key.fraction);
  if (std::isfinite(value)) s.*key.fraction = value;
}

int32_t enterSettingsFolder(comsrc::PrefFileOpener& opener) {
  if (opener.locateBase() != 0) return kSettingsNoBase;
  if (opener.enterFolder(kSettingsFolder) != 0) return kSettingsNoFolder;
  return kSettingsOk;
}

// The file a user named: its folder, as it stands (nothing is created), becomes the base;
// `name` is the file's name in it. False when the path names no file.
bool enterNamedFile(comsrc::PrefFileOpener& opener, const std::string& path, std::string& name) {
  size_t cut = path.size();
  while (cut > 0 && !opener.separates(path[cut - 1])) --cut;
  name = path.substr(cut);
  if (name.empty()) return false;
  // A file in the root keeps an empty base: the join puts the one separator back.
  const std::string folder = cut == 0 ? "." : path.substr(0, cut - 1);
  return opener.setBase(folder.c_str(), 0) == 0;
}

void readFile(comsrc::PrefFileOpener& opener, PrefStore& store, const char* name) {
  std::unique_ptr<multio::Stream> stream;
  if (opener.open(name, multio::kOpenRead, stream) != 0) return;
  {
    multio::TextReader_Stream reader(stream.get());
    store.readAll(reader);
  }
  stream->close();
}

// The lines go to a temporary file beside the settings file, which is replaced only when
// every line was written and flushed: a crash or a full disk midway leaves the old file.
int32_t writeFile(comsrc::PrefFileOpener& opener, const PrefStore& store, const char* name, const char* tempName) {
  std::unique_ptr<multio::Stream> stream;
  if (opener.open(tempName, multio::kOpenWrite | multio::kOpenTruncate | multio::kOpenCreate, stream) != 0)
    return kSettingsNotSaved;
  int32_t written;
  {
    multio::TextWriter_Stream writer(stream.get(), kFormatBuffer);
    written = store.writeAll(writer);
  }
  const int32_t flushed = written == 0 ? stream->flush() : written;
  const int32_t closed = stream->close();
  stream.reset();
  if (written == 0 && flushed == 0 && closed == 0 && opener.replaceFile(tempName, name) == 0) return kSettingsOk;
  opener.removeFile(tempName);
  return kSettingsNotSaved;
}

void loadFrom(comsrc::PrefFileOpener& opener, const char* name, PrefStore& store, DeviceSlots& slots,
              CaptureMode& captureMode) {
  // The table first takes the current values, so a key the file lacks keeps its value.
  putSettings(store, slots, captureMode);
  readFile(opener, store, name);
  takeSettings(store, slots, captureMode);
}

}  // namespace

void putSettings(PrefStore& store, const DeviceSlots& slots, CaptureMode captureMode) {
  char line[kLineBuffer];
  std::snprintf(line, sizeof line, "%s = %d", kModeKey, static_cast<int>(storedCaptureMode(captureMode)));
  store.setLine(line);
  for (size_t i = 0; i < slotCount(slots); ++i)
    for (const SlotKey& key : kSlotKeys) putKey(store, i, key, slots[i]);
}

void takeSettings(const PrefStore& store, DeviceSlots& slots, CaptureMode& captureMode) {
  for (size_t i = 0; i < slotCount(slots); ++i)
    for (const SlotKey& key : kSlotKeys) takeKey(store, i, key, slots[i]);
  makeSettingsSound(slots, settingsTrace());
  const int32_t mode = store.getInt(kModeKey, storedCaptureMode(captureMode));
  captureMode = captureModeOf(mode);
}

int32_t loadSettings(comsrc::PrefFileOpener& opener, PrefStore& store, DeviceSlots& slots, CaptureMode& captureMode) {
  const int32_t entered = enterSettingsFolder(opener);
  if (entered != kSettingsOk) return entered;
  loadFrom(opener, kSettingsFile, store, slots, captureMode);
  return kSettingsOk;
}

int32_t saveSettings(comsrc::PrefFileOpener& opener, PrefStore& store, const DeviceSlots& slots,
                     CaptureMode captureMode) {
  const int32_t entered = enterSettingsFolder(opener);
  if (entered != kSettingsOk) return entered;
  putSettings(store, slots, captureMode);
  return writeFile(opener, store, kSettingsFile, kSettingsTempFile);
}

int32_t loadSettings(const std::string& file, PrefStore& store, DeviceSlots& slots, CaptureMode& captureMode) {
  std::unique_ptr<comsrc::PrefFileOpener> opener = comsrc::makePrefFileOpener();
  if (!opener) return kSettingsNoBase;
  if (file.empty()) return loadSettings(*opener, store, slots, captureMode);
  std::string name;
  if (!enterNamedFile(*opener, file, name)) return kSettingsNoFolder;
  loadFrom(*opener, name.c_str(), store, slots, captureMode);
  return kSettingsOk;
}

int32_t saveSettings(const std::string& file, PrefStore& store, const DeviceSlots& slots, CaptureMode captureMode) {
  std::unique_ptr<comsrc::PrefFileOpener> opener = comsrc::makePrefFileOpener();
  if (!opener) return kSettingsNoBase;
  if (file.empty()) return saveSettings(*opener, store, slots, captureMode);
  std::string name;
  if (!enterNamedFile(*opener, file, name)) return kSettingsNoFolder;
  putSettings(store, slots, captureMode);
  return writeFile(*opener, store, name.c_str(), (name + ".tmp").c_str());
}

bool settingsFileUsable(const std::string& file) {
  std::unique_ptr<comsrc::PrefFileOpener> opener = comsrc::makePrefFileOpener();
  std::string name;
  return opener && enterNamedFile(*opener, file, name) && opener->baseIsFolder();
}

int32_t loadSettings(PrefStore& store, DeviceSlots& slots, CaptureMode& captureMode) {
  return loadSettings(std::string(), store, slots, captureMode);
}

int32_t saveSettings(PrefStore& store, const DeviceSlots& slots, CaptureMode captureMode) {
  return saveSettings(std::string(), store, slots, captureMode);
}

#include "settings/Settings.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

#include "comsrc/PrefFileOpener.h"
#include "multio/TextReader_Stream.h"
#include "multio/TextWriter_Stream.h"
#include "settings/PrefStore.h"

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

void putInt(PrefStore& store, size_t slot, const char* name, int32_t value) {
  char line[kLineBuffer];
  std::snprintf(line, sizeof line, "MO.%d.%s = %d", static_cast<int>(slot), name, static_cast<int>(value));
  store.setLine(line);
}

void putReal(PrefStore& store, size_t slot, const char* name, double value) {
  char line[kLineBuffer];
  std::snprintf(line, sizeof line, "MO.%d.%s = %s", static_cast<int>(slot), name, RealText(value).text);
  store.setLine(line);
}

int32_t takeInt(const PrefStore& store, size_t slot, const char* name, int32_t current) {
  char key[64];
  std::snprintf(key, sizeof key, "MO.%d.%s", static_cast<int>(slot), name);
  return store.getInt(key, current);
}

double takeReal(const PrefStore& store, size_t slot, const char* name, double current) {
  char key[64];
  std::snprintf(key, sizeof key, "MO.%d.%s", static_cast<int>(slot), name);
  // "nan" and "inf" parse, but no window step leads out of them again: they count as missing.
  const double value = store.getReal(key, current);
  return std::isfinite(value) ? value : current;
}

int32_t enterSettingsFolder(comsrc::PrefFileOpener& opener) {
  if (opener.locateBase() != 0) return kSettingsNoBase;
  if (opener.enterFolder(kSettingsFolder) != 0) return kSettingsNoFolder;
  return kSettingsOk;
}

void readFile(comsrc::PrefFileOpener& opener, PrefStore& store) {
  std::unique_ptr<multio::Stream> stream;
  if (opener.open(kSettingsFile, multio::kOpenRead, stream) != 0) return;
  {
    multio::TextReader_Stream reader(stream.get());
    store.readAll(reader);
  }
  stream->close();
}

// The lines go to a temporary file beside the settings file, which is replaced only when
// every line was written and flushed: a crash or a full disk midway leaves the old file.
int32_t writeFile(comsrc::PrefFileOpener& opener, const PrefStore& store) {
  std::unique_ptr<multio::Stream> stream;
  if (opener.open(kSettingsTempFile, multio::kOpenWrite | multio::kOpenTruncate | multio::kOpenCreate, stream) != 0)
    return kSettingsNotSaved;
  int32_t written;
  {
    multio::TextWriter_Stream writer(stream.get(), kFormatBuffer);
    written = store.writeAll(writer);
  }
  const int32_t flushed = written == 0 ? stream->flush() : written;
  const int32_t closed = stream->close();
  stream.reset();
  if (written == 0 && flushed == 0 && closed == 0 && opener.replaceFile(kSettingsTempFile, kSettingsFile) == 0)
    return kSettingsOk;
  opener.removeFile(kSettingsTempFile);
  return kSettingsNotSaved;
}

}  // namespace

void putSettings(PrefStore& store, const DeviceSlots& slots, int32_t captureMode) {
  char line[kLineBuffer];
  std::snprintf(line, sizeof line, "G.MODE = %d", static_cast<int>(captureMode));
  store.setLine(line);
  for (size_t i = 0; i < slotCount(slots); ++i) {
    const DeviceSettings& s = slots[i];
    putInt(store, i, "ACTIVE", s.active);
    putInt(store, i, "PORT", s.port);
    putInt(store, i, "SPEED", s.speed);
    putInt(store, i, "DITHER", s.dither);
    putReal(store, i, "CONTRAST", s.contrast);
    putInt(store, i, "OFFSET", s.offset);
    putReal(store, i, "GAMMA", s.gamma);
    putInt(store, i, "INVERT", s.invert != 0 ? 1 : 0);
    putInt(store, i, "ROTATE", s.rotate);
    putInt(store, i, "SHRINK", s.shrink);
    putInt(store, i, "CTS", s.cts);
    putInt(store, i, "POS.X", s.posX);
    putInt(store, i, "POS.Y", s.posY);
  }
}

void takeSettings(const PrefStore& store, DeviceSlots& slots, int32_t& captureMode) {
  for (size_t i = 0; i < slotCount(slots); ++i) {
    DeviceSettings& s = slots[i];
    s.active = takeInt(store, i, "ACTIVE", s.active);
    s.port = takeInt(store, i, "PORT", s.port);
    s.speed = takeInt(store, i, "SPEED", s.speed);
    s.dither = takeInt(store, i, "DITHER", s.dither);
    s.contrast = takeReal(store, i, "CONTRAST", s.contrast);
    s.offset = takeInt(store, i, "OFFSET", s.offset);
    s.gamma = takeReal(store, i, "GAMMA", s.gamma);
    s.invert = takeInt(store, i, "INVERT", s.invert);
    s.rotate = takeInt(store, i, "ROTATE", s.rotate);
    s.shrink = takeInt(store, i, "SHRINK", s.shrink);
    s.cts = takeInt(store, i, "CTS", s.cts);
    s.posX = takeInt(store, i, "POS.X", s.posX);
    s.posY = takeInt(store, i, "POS.Y", s.posY);
  }
  const int32_t mode = store.getInt("G.MODE", captureMode);
  captureMode = (mode == 0 || mode == 1) ? mode : 0;
}

int32_t loadSettings(comsrc::PrefFileOpener& opener, PrefStore& store, DeviceSlots& slots, int32_t& captureMode) {
  const int32_t entered = enterSettingsFolder(opener);
  if (entered != kSettingsOk) return entered;
  // The table first takes the current values, so a key the file lacks keeps its value.
  putSettings(store, slots, captureMode);
  readFile(opener, store);
  takeSettings(store, slots, captureMode);
  return kSettingsOk;
}

int32_t saveSettings(comsrc::PrefFileOpener& opener, PrefStore& store, const DeviceSlots& slots,
                     int32_t captureMode) {
  const int32_t entered = enterSettingsFolder(opener);
  if (entered != kSettingsOk) return entered;
  putSettings(store, slots, captureMode);
  return writeFile(opener, store);
}

int32_t loadSettings(PrefStore& store, DeviceSlots& slots, int32_t& captureMode) {
  std::unique_ptr<comsrc::PrefFileOpener> opener = comsrc::makePrefFileOpener();
  if (!opener) return kSettingsNoBase;
  return loadSettings(*opener, store, slots, captureMode);
}

int32_t saveSettings(PrefStore& store, const DeviceSlots& slots, int32_t captureMode) {
  std::unique_ptr<comsrc::PrefFileOpener> opener = comsrc::makePrefFileOpener();
  if (!opener) return kSettingsNoBase;
  return saveSettings(*opener, store, slots, captureMode);
}

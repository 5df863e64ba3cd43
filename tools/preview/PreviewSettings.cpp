#include "tools/preview/PreviewSettings.h"

#include <memory>

#include "multio/StreamOpener.h"
#include "multio/TextReader_Stream.h"
#include "settings/PrefStore.h"
#include "settings/Settings.h"

bool loadSettingsFile(const std::string& path, DeviceSlots& slots, CaptureMode& captureMode, std::string& error) {
  std::unique_ptr<multio::StreamOpener> opener = multio::makeFileStreamOpener();
  std::unique_ptr<multio::Stream> file;
  if (!opener || opener->open(path.c_str(), multio::kOpenRead, file) != 0 || !file) {
    error = path + ": cannot read settings file";
    return false;
  }
  // As loading at start-up does: the current values first, so that keys the file lacks keep them.
  PrefStore store;
  putSettings(store, slots, captureMode);
  {
    multio::TextReader_Stream reader(file.get());
    store.readAll(reader);
  }
  file->close();
  takeSettings(store, slots, captureMode);
  return true;
}

#include "tools/preview/Preview.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "app/AppState.h"
#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "pipeline/ProduceFrame.h"
#include "source/HDCAcquirer.h"
#include "tools/common/PanelDecoder.h"
#include "tools/common/PngFile.h"
#include "tools/preview/PictureSource.h"
#include "tools/preview/PreviewSettings.h"

namespace {

constexpr uint32_t kRingSize = 16384;

// Where the device's bytes go: the wire file, if any, and the panel they draw.
struct Device {
  FILE* wire = nullptr;
  bool wireFailed = false;
  PanelDecoder panel;
};

// The device end of the link. Only the link's writer thread writes; the panel is read after
// the link has been shut down.
class DeviceStream : public multio::Stream {
 public:
  explicit DeviceStream(Device& target) : device(target) {}

  int32_t write(const void* buffer, int32_t count, int32_t) override {
    if (count <= 0) return 0;
    if (device.wire && std::fwrite(buffer, 1, size_t(count), device.wire) != size_t(count)) device.wireFailed = true;
    device.panel.feed(static_cast<const uint8_t*>(buffer), size_t(count));
    bytesWritten = addCount(bytesWritten, count);
    return count;
  }

 private:
  Device& device;
};

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

int32_t saturatingAdd(int32_t a, int32_t b) {
  const int64_t s = int64_t{a} + b;
  return s > INT32_MAX ? INT32_MAX : (s < INT32_MIN ? INT32_MIN : int32_t(s));
}

// The preview stands for a device that keeps up with every frame: the next frame starts
// once the link has handed everything to the device.
void waitUntilSent(DeviceLink& link) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (link.freeSpace() < kRingSize - 1 && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

}  // namespace

int runPreview(const PreviewOptions& options, std::string& error) {
  vltools::PngPicture picture;
  if (!vltools::readPng(options.inputPath, picture, error)) return kExitBadInput;

  AppState app;
  if (!options.settingsPath.empty() &&
      !loadSettingsFile(options.settingsPath, app.deviceSlots, app.captureMode, error)) {
    return kExitBadInput;
  }

  app.changeList = std::make_unique<comsrc::RectList>();
  auto display = std::make_unique<HDCAcquirer>();
  *display->rect() = comsrc::Rect{0, 0, picture.width, picture.height};
  auto source = std::make_unique<PictureSource>(*app.changeList);
  if (!source->load(picture)) {
    error = options.inputPath + ": picture too large";
    return kExitBadInput;
  }
  // The picture is the screen in either capture mode.
  if (app.captureMode == 1) {
    app.driverDisplay = std::move(display);
    app.driverSource = std::move(source);
  } else {
    app.mainDisplay = std::move(display);
    app.gdiSource = std::move(source);
  }

  std::unique_ptr<FILE, FileCloser> wireFile;
  Device device;
  if (!options.wirePath.empty()) {
    wireFile.reset(std::fopen(options.wirePath.c_str(), "wb"));
    if (!wireFile) {
      error = options.wirePath + ": cannot create file";
      return 1;
    }
    device.wire = wireFile.get();
  }

  // As link opening sets up an active slot whose port opened.
  DeviceSettings& slot = app.deviceSlots[size_t(options.slot)];
  slot.active = 1;
  slot.portOk = 1;
  slot.workStride = kPanelWidth;
  auto link = std::make_unique<DeviceLink>(std::make_unique<DeviceStream>(device));
  link->sizeRing(kRingSize);
  link->area = comsrc::Rect{slot.posX, slot.posY, saturatingAdd(slot.posX, kPanelWidth),
                            saturatingAdd(slot.posY, kPanelHeight)};
  link->invert = slot.invert != 0 ? 1 : 0;
  link->rotate = slot.rotate;
  DeviceLink& deviceLink = *link;
  app.deviceLinks.resize(kDeviceSlotCount);
  app.deviceLinks[size_t(options.slot)] = std::move(link);
  app.anyDeviceActive = 1;
  app.linksOpen = 1;
  app.sourceReady = 1;

  for (int32_t frame = 0; frame < options.frames; ++frame) {
    produceFrame(app);
    waitUntilSent(deviceLink);
  }
  deviceLink.shutdown();
  device.panel.finish();

  if (wireFile) {
    const bool closed = std::fclose(wireFile.release()) == 0;
    if (device.wireFailed || !closed) {
      error = options.wirePath + ": cannot write file";
      return 1;
    }
  }
  const std::vector<uint8_t> grey = device.panel.grey();
  if (!vltools::writePng(options.outputPath, vltools::PngKind::mono1, PanelDecoder::kWidth, PanelDecoder::kHeight,
                         grey.data(), PanelDecoder::kWidth, error)) {
    return 1;
  }
  return 0;
}

#include "tools/preview/Preview.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "link/Devices.h"
#include "pipeline/FrameState.h"
#include "pipeline/ProduceFrame.h"
#include "source/ScreenSources.h"
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
    {
      std::lock_guard<std::mutex> hold(lock);
      ++writes;
    }
    wrote.notify_one();
    return count;
  }

  // The preview stands for a device that keeps up with every frame: the next frame starts
  // once the link has handed everything to the device. The writer frees the ring just after
  // a write returns, so a wake-up can find the last bytes not yet released; the short wait
  // then covers that step, which no write signals.
  void waitUntilSent(DeviceLink& link) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::unique_lock<std::mutex> hold(lock);
    while (link.freeSpace() < kRingSize - 1 && std::chrono::steady_clock::now() < giveUp) {
      const uint64_t seen = writes;
      wrote.wait_for(hold, std::chrono::milliseconds(1), [&] { return writes != seen; });
    }
  }

 private:
  Device& device;
  std::mutex lock;
  std::condition_variable wrote;
  uint64_t writes = 0;
};

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

int runPreview(const PreviewOptions& options, std::string& error) {
  vltools::PngPicture picture;
  if (!vltools::readPng(options.inputPath, picture, error)) return kExitBadInput;

  Devices devices;
  ScreenSources sources;
  DeviceSlots settings = devices.settings();
  if (!options.settingsPath.empty() && !loadSettingsFile(options.settingsPath, settings, sources.captureMode, error))
    return kExitBadInput;
  devices.takeSettings(settings);

  sources.changeList = std::make_unique<comsrc::RectList>();
  std::unique_ptr<DisplayConnection> display =
      std::make_unique<PictureDisplay>(comsrc::Rect{0, 0, picture.width, picture.height});
  auto source = std::make_unique<PictureSource>(*sources.changeList);
  if (!source->load(std::move(picture))) {
    error = options.inputPath + ": no pixels in the picture";
    return kExitBadInput;
  }
  // The picture is the screen in either capture mode.
  if (sources.mirrorsExternalMonitor()) {
    sources.driverDisplay = std::move(display);
    sources.driverDisplaySource = std::move(source);
  } else {
    sources.mainDisplay = std::move(display);
    sources.mirrorSource = std::move(source);
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
  const size_t slot = size_t(options.slot);
  devices.slots[slot].settings.active = 1;
  devices.slots[slot].work.portOk = true;
  devices.slots[slot].work.workStride = kPanelWidth;
  auto stream = std::make_unique<DeviceStream>(device);
  DeviceStream& deviceEnd = *stream;
  auto link = std::make_unique<DeviceLink>(std::move(stream));
  link->sizeRing(kRingSize);
  DeviceLink& deviceLink = *link;
  devices.slots[slot].link = std::move(link);
  devices.applySettings(slot);
  devices.anyDeviceActive = true;
  devices.linksOpen = true;
  sources.sourceReady = 1;

  FrameState frameState;
  for (int32_t frame = 0; frame < options.frames; ++frame) {
    produceFrame(frameState, sources, devices);
    // Also after the last frame: a link shut down while its writer is still busy waits for
    // it in steps of several milliseconds.
    deviceEnd.waitUntilSent(deviceLink);
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
  if (!vltools::writePng(options.outputPath, vltools::PngKind::onOff1, PanelDecoder::kWidth, PanelDecoder::kHeight,
                         device.panel.panel().data(), PanelDecoder::kWidth, error)) {
    return 1;
  }
  return 0;
}

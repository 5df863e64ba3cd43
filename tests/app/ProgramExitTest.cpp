#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "ScopedEnv.h"
#include "app/AppState.h"
#include "app/ProgramExit.h"
#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "source/DisplayConnection.h"
#include "support/TempDir.h"

namespace {

class CountingStream : public multio::Stream {
 public:
  explicit CountingStream(std::atomic<int32_t>& written) : written(written) {}
  int32_t write(const void*, int32_t n, int32_t) override {
    written += n;
    return n;
  }
  std::atomic<int32_t>& written;
};

TEST(ProgramExit, SavesTheSettingsDeliversWhatIsQueuedAndFreesEverything) {
  vltest::TempDir dir;
  vltest::ScopedEnv base(vltest::prefBaseVariable(), dir.path().c_str());
  AppState app;
  app.devices.slots[1].settings.contrast = 1.25;
  app.sources.captureMode = CaptureMode::externalMonitor;
  std::atomic<int32_t> written{0};
  app.devices.slots[1].link = std::make_unique<DeviceLink>(std::make_unique<CountingStream>(written));
  const uint8_t record[57] = {0xAA};
  ASSERT_EQ(app.devices.slots[1].link->enqueue(record, sizeof record), 0);
  app.sources.changeList = std::make_unique<comsrc::RectList>();
  app.sources.mainDisplay = std::make_unique<DisplayConnection>();

  EXPECT_EQ(finishProgram(app), 0);
  EXPECT_EQ(written.load(), 57);
  EXPECT_FALSE(app.devices.anyLink());
  EXPECT_FALSE(app.sources.changeList || app.sources.mainDisplay || app.sources.mirrorSource || app.sources.driverDisplaySource || app.sources.driverDisplay);
  const std::string saved =
      vltest::TempDir::readFile((std::filesystem::path(dir.path()) / "vantela" / "vantelink.ini").string());
  EXPECT_NE(saved.find("G.MODE=1\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("MO.1.CONTRAST=1.250000\n"), std::string::npos) << saved;
}

}  // namespace

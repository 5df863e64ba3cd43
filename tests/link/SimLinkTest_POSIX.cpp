#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <thread>

#include "app/AppState.h"
#include "link/DeviceLink.h"
#include "link/LinkOpening.h"
#include "link/PortPath_POSIX.h"
#include "link/SerialPort.h"
#include "support/TempDir.h"
#include "tools/common/PngFile.h"
#include "PortsFolderTest_POSIX.h"
#include "SimProcess_POSIX.h"

namespace {

using namespace std::chrono_literals;

std::vector<uint8_t> record(int address, uint8_t seed) {
  std::vector<uint8_t> r{0x80, 0x80, static_cast<uint8_t>(address)};
  for (int k = 0; k < 50; ++k) r.push_back(static_cast<uint8_t>(seed * 13 + k * 5));
  r.insert(r.end(), 4, 0);
  return r;
}

// The simulator linked as COM5 in a ports folder of the test's own.
class OverTheSimulator : public PortsFolderTest {
 protected:
  std::string com5() const { return ports() + "/com5"; }
  bool startSim(std::vector<std::string> args) {
    args.insert(args.begin(), {"--link", com5()});
    return sim.start(args, com5(), dir.file("sim.out"));
  }
  // Waits up to 5 s for room, then queues the block.
  static int32_t queue(DeviceLink& link, const std::vector<uint8_t>& block) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (link.freeSpace() < block.size() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    return link.enqueue(block.data(), static_cast<uint32_t>(block.size()));
  }

  vltest::SimProcess sim;
};

}  // namespace

TEST_F(OverTheSimulator, ThousandBlocksArriveByteForByte) {
  ASSERT_TRUE(startSim({"--speed", "0", "--wire", dir.file("wire.bin")}));
  DeviceLink link("COM5", 500000, 0);
  ASSERT_FALSE(link.serial()->failed());
  link.sizeRing(16384);
  std::vector<uint8_t> sent;
  size_t records = 0;
  for (int i = 0; i < 1000; ++i) {
    std::vector<uint8_t> block;
    const int count = 1 + (i * 37) % 100;
    for (int k = 0; k < count; ++k) {
      const std::vector<uint8_t> r = record((i + k) % 240 + 1, static_cast<uint8_t>(i + k));
      block.insert(block.end(), r.begin(), r.end());
    }
    ASSERT_GE(queue(link, block), 0) << "block " << i;
    sent.insert(sent.end(), block.begin(), block.end());
    records += static_cast<size_t>(count);
  }
  link.shutdown();
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (std::filesystem::file_size(dir.file("wire.bin")) < sent.size() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(5ms);
  const std::string counts = sim.stop();
  const std::string wire = vltest::TempDir::readFile(dir.file("wire.bin"));
  ASSERT_EQ(wire.size(), sent.size());
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), reinterpret_cast<const uint8_t*>(wire.data())));
  EXPECT_EQ(counts, "records " + std::to_string(records) + " bytes " + std::to_string(sent.size()) + " skipped 0\n");
}

TEST_F(OverTheSimulator, TheSimulatorShowsWhatItDecodedAndCountsWhatItSkipped) {
  ASSERT_TRUE(startSim({"--speed", "0", "--png", dir.file("panel.png"), "--log", dir.file("records.log")}));
  SerialPort port("COM5", 1000000, 0);
  ASSERT_FALSE(port.failed());
  std::vector<uint8_t> bytes{'n', 'o', 'i', 's', 'e'};
  std::vector<uint8_t> top(3 + 50 + 4, 0);
  top[0] = top[1] = 0x80;
  top[2] = 1;
  top[3] = 0x01;  // the top left pixel only
  bytes.insert(bytes.end(), top.begin(), top.end());
  std::vector<uint8_t> bottom = top;
  bottom[2] = 240;
  bottom[3] = 0;
  bottom[52] = 0x80;  // the bottom right pixel only
  bytes.insert(bytes.end(), bottom.begin(), bottom.end());
  bytes.insert(bytes.end(), top.begin(), top.end());  // changes nothing
  bytes.insert(bytes.end(), {0x80, 0x80, 7});  // a record cut short
  const auto monotonicNs = [] {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
  };
  const int64_t sentAt = monotonicNs();
  ASSERT_EQ(port.write(bytes.data(), static_cast<int32_t>(bytes.size()), 0), static_cast<int32_t>(bytes.size()));
  std::this_thread::sleep_for(200ms);
  const std::string counts = sim.stop();
  const int64_t stoppedAt = monotonicNs();
  EXPECT_EQ(counts, "records 3 bytes " + std::to_string(bytes.size()) + " skipped 8\n");
  // The log: when each record arrived, its address, its bright pixels and whether it changed
  // the panel.
  long long at[3] = {0, 0, 0};
  int address[3] = {0, 0, 0}, lit[3] = {0, 0, 0}, changed[3] = {0, 0, 0};
  const std::string log = vltest::TempDir::readFile(dir.file("records.log"));
  ASSERT_EQ(std::sscanf(log.c_str(), "%lld %d %d %d\n%lld %d %d %d\n%lld %d %d %d\n", &at[0], &address[0], &lit[0],
                        &changed[0], &at[1], &address[1], &lit[1], &changed[1], &at[2], &address[2], &lit[2],
                        &changed[2]),
            12)
      << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3);
  EXPECT_EQ(address[0], 1);
  EXPECT_EQ(address[1], 240);
  EXPECT_EQ(address[2], 1);
  EXPECT_EQ(lit[0], 1);
  EXPECT_EQ(lit[1], 1);
  EXPECT_EQ(changed[0], 1);
  EXPECT_EQ(changed[1], 1);
  EXPECT_EQ(changed[2], 0);
  EXPECT_LE(sentAt, at[0]);
  EXPECT_LE(at[0], at[2]);
  EXPECT_LE(at[2], stoppedAt);
  vltools::PngPicture picture;
  std::string error;
  ASSERT_TRUE(vltools::readPng(dir.file("panel.png"), picture, error)) << error;
  ASSERT_EQ(picture.width, 400);
  ASSERT_EQ(picture.height, 240);
  auto bright = [&](int x, int y) { return picture.bgrx[static_cast<size_t>(y) * picture.stride() + 4 * x] > 128; };
  EXPECT_TRUE(bright(0, 0));
  EXPECT_FALSE(bright(1, 0));
  EXPECT_TRUE(bright(399, 239));
  EXPECT_FALSE(bright(398, 239));
  EXPECT_FALSE(bright(200, 120));
}

TEST_F(OverTheSimulator, PullingTheDeviceAwayFailsTheLinkAndOpenLinksFindsItAgainWhenBack) {
  ASSERT_TRUE(startSim({"--speed", "0", "--away", "1.5"}));
  AppState app;
  app.devices.slots[0].settings.active = 1;
  app.devices.slots[0].settings.port = 5;
  ASSERT_EQ(openLinks(app.devices), 0);
  ASSERT_TRUE(app.devices.slots[0].work.portOk);
  DeviceLink* link = app.devices.slots[0].link.get();
  const std::vector<uint8_t> block = record(1, 1);
  ASSERT_GE(link->enqueue(block.data(), 57), 0);
  sim.signal(SIGUSR2);
  // Mid-stream: blocks keep coming until a write finds the device gone.
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (!link->serial()->failed() && std::chrono::steady_clock::now() < end) {
    link->enqueue(block.data(), 57);
    std::this_thread::sleep_for(2ms);
  }
  ASSERT_TRUE(link->serial()->failed());

  EXPECT_EQ(openLinks(app.devices), -1);
  EXPECT_FALSE(app.devices.slots[0].work.portOk);
  EXPECT_FALSE(app.devices.linksOpen);

  ASSERT_TRUE(sim.waitForLink(true, 5s));
  EXPECT_EQ(openLinks(app.devices), 0);
  EXPECT_TRUE(app.devices.slots[0].work.portOk);
  link = app.devices.slots[0].link.get();
  ASSERT_GE(link->enqueue(block.data(), 57), 0);
  const auto sent = std::chrono::steady_clock::now() + 5s;
  while (link->freeSpace() != 16383u && std::chrono::steady_clock::now() < sent) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(link->freeSpace(), 16383u);
  EXPECT_FALSE(link->serial()->failed());
}

TEST_F(OverTheSimulator, ShutdownReturnsSoonWhenTheDeviceHasStoppedReading) {
  ASSERT_TRUE(startSim({"--speed", "0"}));
  sim.signal(SIGSTOP);
  DeviceLink link("COM5", 500000, 1);
  ASSERT_FALSE(link.serial()->failed());
  link.sizeRing(16384);
  const std::vector<uint8_t> block(16383, 0x5A);
  // Fill the terminal's buffer and then the ring, until the ring no longer drains.
  bool stuck = false;
  for (int i = 0; i < 20 && !stuck; ++i) {
    const auto end = std::chrono::steady_clock::now() + 300ms;
    while (link.freeSpace() < block.size() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    stuck = link.enqueue(block.data(), 16383) < 0;
  }
  ASSERT_TRUE(stuck);
  const auto start = std::chrono::steady_clock::now();
  link.shutdown();
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, 1200ms);
  EXPECT_EQ(link.serial(), nullptr);
}

TEST(SimulatorPortsFolder, PortOptionLinksTheTerminalAsComNBesideTheSettings) {
  vltest::TempDir dir;
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  vltest::SimProcess sim;
  const std::string link = dir.path() + "/vantela/ports/com17";
  const bool started = sim.start({"--port", "17", "--speed", "0"}, link, dir.file("sim.out"));
  setPortLocations(PortLocations{dir.path() + "/vantela/ports", ""});
  const bool opened = started && !SerialPort("\\\\.\\COM17", 9600, 0).failed();
  setPortLocations(defaultPortLocations());
  if (old)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  EXPECT_TRUE(started);
  EXPECT_TRUE(opened);
  EXPECT_EQ(sim.stop(), "records 0 bytes 0 skipped 0\n");
  EXPECT_FALSE(vltest::TempDir::exists(link));  // the simulator takes its link away at exit
}

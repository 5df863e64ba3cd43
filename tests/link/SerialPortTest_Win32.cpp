// The serial port stream under Wine, against vantela-sim linked as a COM port of the Wine
// prefix. tests/link/wine-sio.sh starts the simulator, plays the device's side on request
// (a marker file in the control folder) and checks what the simulator received.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "link/DeviceLink.h"
#include "link/PortName.h"
#include "link/SerialPort.h"

namespace {

using namespace std::chrono_literals;

int simPort() {
  const char* v = std::getenv("VL_SIM_PORT");
  return v ? std::atoi(v) : 0;
}
std::string control(const char* name) {
  const char* v = std::getenv("VL_SIM_CONTROL");
  return std::string(v ? v : ".") + "\\" + name;
}
std::string simName() {
  char name[64];
  formatPortName(simPort(), name, sizeof name);
  return name;
}
// Asks the script to act on the simulator, and waits until it has.
bool ask(const char* marker) {
  const std::string path = control(marker);
  { std::ofstream(path) << marker; }
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
    if (std::chrono::steady_clock::now() > end) return false;
    else std::this_thread::sleep_for(10ms);
  return true;
}
std::vector<uint8_t> record(int address, uint8_t seed) {
  std::vector<uint8_t> r{0x80, 0x80, static_cast<uint8_t>(address)};
  for (int k = 0; k < 50; ++k) r.push_back(static_cast<uint8_t>(seed * 13 + k * 5));
  r.insert(r.end(), 4, 0);
  return r;
}

class UnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (simPort() < 1) GTEST_SKIP() << "run through tests/link/wine-sio.sh";
  }
};

}  // namespace

TEST_F(UnderWine, A1_AMissingPortFailsAndRefusesWrites) {
  SerialPort port("\\\\.\\COM60", 500000, 0);
  EXPECT_TRUE(port.failed());
  char b = 1;
  EXPECT_EQ(port.write(&b, 1, 0), -1);
}

TEST_F(UnderWine, A2_ThousandBlocksArriveByteForByte) {
  DeviceLink link(simName().c_str(), 500000, 0);
  ASSERT_FALSE(link.serial()->failed());
  link.sizeRing(16384);
  std::vector<uint8_t> sent;
  for (int i = 0; i < 1000; ++i) {
    std::vector<uint8_t> block;
    for (int k = 0; k < 1 + (i * 37) % 100; ++k) {
      const std::vector<uint8_t> r = record((i + k) % 240 + 1, static_cast<uint8_t>(i + k));
      block.insert(block.end(), r.begin(), r.end());
    }
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (link.freeSpace() < block.size() && std::chrono::steady_clock::now() < end) Sleep(1);
    ASSERT_GE(link.enqueue(block.data(), static_cast<uint32_t>(block.size())), 0) << i;
    sent.insert(sent.end(), block.begin(), block.end());
  }
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (link.freeSpace() != 16383u && std::chrono::steady_clock::now() < end) Sleep(1);
  link.shutdown();
  // The script compares this with what the simulator received.
  std::ofstream(control("expected.bin"), std::ios::binary).write(reinterpret_cast<const char*>(sent.data()),
                                                                   static_cast<std::streamsize>(sent.size()));
}

TEST_F(UnderWine, A3_PullingTheDeviceAwayFailsThePortUntilItIsBack) {
  SerialPort port(simName().c_str(), 500000, 0);
  ASSERT_FALSE(port.failed());
  ASSERT_TRUE(ask("unplug"));
  const std::vector<uint8_t> r = record(1, 1);
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (!port.failed() && std::chrono::steady_clock::now() < end) {
    port.write(r.data(), 57, 0);
    Sleep(5);
  }
  EXPECT_TRUE(port.failed());
  EXPECT_EQ(port.write(r.data(), 57, 0), -1);
  bool back = false;
  const auto wait = std::chrono::steady_clock::now() + 10s;
  while (!back && std::chrono::steady_clock::now() < wait) {
    back = !SerialPort(simName().c_str(), 500000, 0).failed();
    if (!back) Sleep(50);
  }
  EXPECT_TRUE(back);
}

TEST_F(UnderWine, A4_ShutdownReturnsSoonWhenTheDeviceHasStoppedReading) {
  ASSERT_TRUE(ask("stop"));
  DeviceLink link(simName().c_str(), 500000, 0);
  ASSERT_FALSE(link.serial()->failed());
  link.sizeRing(16384);
  const std::vector<uint8_t> block(16383, 0x5A);
  bool stuck = false;
  for (int i = 0; i < 20 && !stuck; ++i) {
    const auto end = std::chrono::steady_clock::now() + 300ms;
    while (link.freeSpace() < block.size() && std::chrono::steady_clock::now() < end) Sleep(1);
    stuck = link.enqueue(block.data(), 16383) < 0;
  }
  EXPECT_TRUE(stuck);
  const auto start = std::chrono::steady_clock::now();
  link.shutdown();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1200ms);
  EXPECT_TRUE(ask("cont"));
}

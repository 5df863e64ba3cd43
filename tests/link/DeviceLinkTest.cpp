#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "link/DeviceLink.h"

namespace {

using namespace std::chrono_literals;

// A device that takes bytes only as far as the test allows, recording each write call; a
// write with nothing allowed blocks, as a port whose device does not read.
class GatedStream : public multio::Stream {
 public:
  struct Shared {
    std::mutex lock;
    std::condition_variable changed;
    size_t allowance = 0;
    std::vector<uint8_t> bytes;
    std::vector<int32_t> calls;  // the count asked for in each write
    bool destroyed = false;
  };

  explicit GatedStream(std::shared_ptr<Shared> s) : s(std::move(s)) {}
  ~GatedStream() override {
    std::lock_guard<std::mutex> hold(s->lock);
    s->destroyed = true;
    s->changed.notify_all();
  }

  int32_t write(const void* buffer, int32_t count, int32_t) override {
    std::unique_lock<std::mutex> hold(s->lock);
    s->calls.push_back(count);
    s->changed.notify_all();
    s->changed.wait(hold, [&] { return s->allowance > 0; });
    const size_t n = std::min<size_t>(s->allowance, static_cast<size_t>(count));
    s->allowance -= n;
    const auto* p = static_cast<const uint8_t*>(buffer);
    s->bytes.insert(s->bytes.end(), p, p + n);
    s->changed.notify_all();
    return static_cast<int32_t>(n);
  }

 private:
  std::shared_ptr<Shared> s;
};

class DeviceLinkRing : public ::testing::Test {
 protected:
  void SetUp() override { link = std::make_unique<DeviceLink>(std::make_unique<GatedStream>(device)); }
  void TearDown() override {
    allow(SIZE_MAX / 2);
    link.reset();
  }

  void allow(size_t n) {
    std::lock_guard<std::mutex> hold(device->lock);
    device->allowance += n;
    device->changed.notify_all();
  }
  // Waits until the device has taken count bytes in all.
  bool waitReceived(size_t count) {
    std::unique_lock<std::mutex> hold(device->lock);
    return device->changed.wait_for(hold, 5s, [&] { return device->bytes.size() >= count; });
  }
  // Waits until the writer is blocked in its write number `calls`.
  bool waitCalls(size_t calls) {
    std::unique_lock<std::mutex> hold(device->lock);
    return device->changed.wait_for(hold, 5s, [&] { return device->calls.size() >= calls; });
  }
  static std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return v;
  }

  std::shared_ptr<GatedStream::Shared> device = std::make_shared<GatedStream::Shared>();
  std::unique_ptr<DeviceLink> link;
};

TEST_F(DeviceLinkRing, AnEmptyRingHoldsOneByteLessThanItsSize) {
  EXPECT_EQ(link->freeSpace(), 3071u);  // as constructed
  link->sizeRing(16384);
  EXPECT_EQ(link->freeSpace(), 16383u);
  const std::vector<uint8_t> block = pattern(16383, 1);
  EXPECT_GE(link->enqueue(block.data(), 16383), 0);
  EXPECT_EQ(link->freeSpace(), 0u);
  const uint8_t one = 9;
  EXPECT_EQ(link->enqueue(&one, 1), -1);
  ASSERT_TRUE(waitCalls(1));
  EXPECT_EQ(link->enqueue(&one, 1), -1);  // still nothing sent
  allow(10);
  ASSERT_TRUE(waitCalls(2));  // the writer has moved on past the 10 bytes
  EXPECT_GE(link->enqueue(&one, 1), 0);
  allow(SIZE_MAX / 2);
  ASSERT_TRUE(waitReceived(16384));
  std::vector<uint8_t> expected = block;
  expected.push_back(one);
  std::lock_guard<std::mutex> hold(device->lock);
  EXPECT_EQ(device->bytes, expected);
}

TEST_F(DeviceLinkRing, ABlockWrapsAroundTheEndAndIsSentEndFirstThenStart) {
  link->sizeRing(16384);
  const std::vector<uint8_t> a = pattern(100, 3), b = pattern(15900, 5), c = pattern(483, 11);
  ASSERT_GE(link->enqueue(a.data(), 100), 0);
  allow(100);
  ASSERT_TRUE(waitReceived(100));
  ASSERT_TRUE(waitCalls(1));
  // writePos 16000 (384 before the end), readPos 100.
  ASSERT_GE(link->enqueue(b.data(), 15900), 0);
  ASSERT_TRUE(waitCalls(2));
  EXPECT_EQ(link->freeSpace(), 483u);
  EXPECT_EQ(link->enqueue(c.data(), 484), -1);
  ASSERT_GE(link->enqueue(c.data(), 483), 0);  // 384 at the end, 99 at the start
  EXPECT_EQ(link->freeSpace(), 0u);
  allow(15900);
  ASSERT_TRUE(waitCalls(3));  // the writer has taken in the 15900 bytes and gone on to the end
  // The ring now holds the 483 bytes from 16000 on, wrapping to 99: free is 16383 - 483.
  EXPECT_EQ(link->freeSpace(), 16383u - 483u);
  allow(483);
  ASSERT_TRUE(waitReceived(16483));
  std::vector<uint8_t> expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  expected.insert(expected.end(), c.begin(), c.end());
  std::lock_guard<std::mutex> hold(device->lock);
  EXPECT_EQ(device->bytes, expected);
  EXPECT_EQ(device->calls, (std::vector<int32_t>{100, 15900, 384, 99}));
}

TEST_F(DeviceLinkRing, WithReadPosAtTheStartOneByteIsTakenOffTheEnd) {
  link->sizeRing(16384);
  const std::vector<uint8_t> b = pattern(16000, 2);
  ASSERT_GE(link->enqueue(b.data(), 16000), 0);
  ASSERT_TRUE(waitCalls(1));
  EXPECT_EQ(link->freeSpace(), 383u);
}

TEST_F(DeviceLinkRing, AShortWriteIsContinuedFromWhereItStopped) {
  link->sizeRing(1000);
  const std::vector<uint8_t> b = pattern(900, 4);
  ASSERT_GE(link->enqueue(b.data(), 900), 0);
  for (size_t sent = 0; sent < 900; sent += 128) {
    allow(128);
    ASSERT_TRUE(waitReceived(std::min<size_t>(sent + 128, 900)));
  }
  std::lock_guard<std::mutex> hold(device->lock);
  EXPECT_EQ(device->bytes, b);
  EXPECT_EQ(device->calls[0], 900);
  EXPECT_EQ(device->calls[1], 900 - 128);
}

TEST(DeviceLink, ShutdownOfAnIdleLinkIsQuickAndFinal) {
  auto device = std::make_shared<GatedStream::Shared>();
  DeviceLink link(std::make_unique<GatedStream>(device));
  ASSERT_NE(link.serial(), nullptr);
  const auto start = std::chrono::steady_clock::now();
  link.shutdown();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
  EXPECT_EQ(link.serial(), nullptr);
  EXPECT_TRUE(device->destroyed);
  const uint8_t one = 1;
  EXPECT_EQ(link.enqueue(&one, 1), -1);
  EXPECT_EQ(link.freeSpace(), 0u);
  link.shutdown();  // a second time does nothing
}

TEST(DeviceLink, ShutdownRightAfterConstructionWaitsForTheThread) {
  for (int i = 0; i < 50; ++i) {
    auto device = std::make_shared<GatedStream::Shared>();
    DeviceLink link(std::make_unique<GatedStream>(device));
    link.shutdown();
    EXPECT_TRUE(device->destroyed);
  }
}

TEST(DeviceLink, ShutdownLetsTheWriterFinishWhatTheDeviceTakes) {
  auto device = std::make_shared<GatedStream::Shared>();
  device->allowance = SIZE_MAX / 2;
  DeviceLink link(std::make_unique<GatedStream>(device));
  link.sizeRing(16384);
  std::vector<uint8_t> block(16383, 0x5A);
  ASSERT_GE(link.enqueue(block.data(), 16383), 0);
  link.shutdown();
  EXPECT_EQ(device->bytes, block);
}

TEST(DeviceLink, AWriterStuckInAStreamThatCannotBeInterruptedIsLeftToFinishNotKilled) {
  auto device = std::make_shared<GatedStream::Shared>();
  {
    DeviceLink link(std::make_unique<GatedStream>(device));
    const uint8_t byte = 7;
    ASSERT_GE(link.enqueue(&byte, 1), 0);
    {
      std::unique_lock<std::mutex> hold(device->lock);
      ASSERT_TRUE(device->changed.wait_for(hold, 5s, [&] { return !device->calls.empty(); }));
    }
    const auto start = std::chrono::steady_clock::now();
    link.shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
    EXPECT_EQ(link.serial(), nullptr);
  }
  // The stream lives on with the thread until its write returns, then goes with it.
  std::unique_lock<std::mutex> hold(device->lock);
  EXPECT_FALSE(device->destroyed);
  device->allowance = 1;
  device->changed.notify_all();
  EXPECT_TRUE(device->changed.wait_for(hold, 5s, [&] { return device->destroyed; }));
}

}  // namespace

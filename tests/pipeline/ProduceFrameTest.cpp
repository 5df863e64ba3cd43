#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "app/AppState.h"
#include "comsrc/DIBitmap.h"
#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "pipeline/FrameState.h"
#include "pipeline/ProduceFrame.h"
#include "source/FrameSource.h"
#include "source/DisplayConnection.h"

namespace {

// The device end of a link: keeps every byte the writer thread hands it.
class RecordingStream : public multio::Stream {
 public:
  struct Bytes {
    std::mutex lock;
    std::vector<uint8_t> data;
  };
  explicit RecordingStream(std::shared_ptr<Bytes> sink) : bytes(std::move(sink)) {}
  int32_t write(const void* buffer, int32_t count, int32_t) override {
    std::lock_guard<std::mutex> hold(bytes->lock);
    const auto* p = static_cast<const uint8_t*>(buffer);
    bytes->data.insert(bytes->data.end(), p, p + count);
    return count;
  }

 private:
  std::shared_ptr<Bytes> bytes;
};

// A device end that takes bytes only as far as the test lets it: the line, stopped at will.
class GatedStream : public RecordingStream {
 public:
  struct Gate {
    std::mutex lock;
    std::condition_variable moved;
    int64_t allowed = 0;
    void openWide() {
      {
        std::lock_guard<std::mutex> hold(lock);
        allowed = INT64_MAX / 2;
      }
      moved.notify_all();
    }
    // Lets `bytes` more through and waits until the link's ring has handed them over.
    void let(uint32_t bytes, DeviceLink& link) {
      const uint32_t target = link.queued() > bytes ? link.queued() - bytes : 0;
      {
        std::lock_guard<std::mutex> hold(lock);
        allowed += bytes;
      }
      moved.notify_all();
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (link.queued() > target && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  GatedStream(std::shared_ptr<Bytes> sink, std::shared_ptr<Gate> gate)
      : RecordingStream(std::move(sink)), gate(std::move(gate)) {}
  int32_t write(const void* buffer, int32_t count, int32_t flags) override {
    std::unique_lock<std::mutex> hold(gate->lock);
    if (!gate->moved.wait_for(hold, std::chrono::seconds(10), [&] { return gate->allowed > 0; })) return -1;
    const int32_t n = int32_t(std::min<int64_t>(count, gate->allowed));
    gate->allowed -= n;
    hold.unlock();
    return RecordingStream::write(buffer, n, flags);
  }

 private:
  std::shared_ptr<Gate> gate;
};

// A screen source over a fixed picture that reports the rectangles it is told to, once each.
class FakeSource : public FrameSource {
 public:
  FakeSource(comsrc::RectList& list, int32_t width, int32_t height) : changes(list) {
    if (width > 0) image.create(width, height);
    if (width > 0) fill(0, 0, 0);
  }
  int32_t refresh() override {
    ++refreshes;
    for (const comsrc::Rect& r : pending) changes.add(r);
    pending.clear();
    return result;
  }
  Drawing changePending() override { return drawn; }
  comsrc::DIBitmap* bitmap() override {
    ++bitmapCalls;
    return image.getPixels() ? &image : nullptr;
  }
  void fill(uint8_t b, uint8_t g, uint8_t r, comsrc::Rect area = {0, 0, INT32_MAX, INT32_MAX}) {
    for (int32_t y = std::max(area.top, 0); y < std::min(area.bottom, image.getHeight()); ++y)
      for (int32_t x = std::max(area.left, 0); x < std::min(area.right, image.getWidth()); ++x) {
        uint8_t* p = image.getPixels() + y * image.getStride() + 4 * x;
        p[0] = b, p[1] = g, p[2] = r, p[3] = 0;
      }
  }

  comsrc::RectList& changes;
  comsrc::DIBitmap image;
  std::vector<comsrc::Rect> pending;
  int32_t result = 1;
  int32_t refreshes = 0;
  int32_t bitmapCalls = 0;
  Drawing drawn = Drawing::unknown;  // what changePending answers
};

constexpr uint32_t kRing = 16384;

struct Rig {
  AppState app;
  FakeSource* source = nullptr;
  std::shared_ptr<RecordingStream::Bytes> wire[kDeviceSlotCount];

  Rig(int32_t displayW, int32_t displayH, int32_t imageW, int32_t imageH) {
    app.sources.changeList = std::make_unique<comsrc::RectList>();
    app.sources.mainDisplay = std::make_unique<DisplayConnection>();
    *app.sources.mainDisplay->rect() = comsrc::Rect{0, 0, displayW, displayH};
    auto s = std::make_unique<FakeSource>(*app.sources.changeList, imageW, imageH);
    source = s.get();
    app.sources.mirrorSource = std::move(s);
    app.devices.linksOpen = app.devices.anyDeviceActive = true;
    app.sources.sourceReady = true;
  }

  // A connected device in slot i, as link opening leaves it.
  DeviceLink& connect(size_t i, int32_t dither, int32_t posX = 0, int32_t posY = 0, uint32_t ring = kRing,
                      int32_t speed = 0) {
    DeviceSettings& slot = app.devices.slots[i].settings;
    slot.active = 1;
    slot.dither = dither;
    app.devices.slots[i].work.portOk = true;
    app.devices.slots[i].work.workStride = 400;
    wire[i] = std::make_shared<RecordingStream::Bytes>();
    auto link = std::make_unique<DeviceLink>(std::make_unique<RecordingStream>(wire[i]), speed);
    link->sizeRing(ring);
    link->area = comsrc::Rect{posX, posY, posX + 400, posY + 240};
    app.devices.slots[i].link = std::move(link);
    return *app.devices.slots[i].link;
  }

  // The same behind a stream that takes bytes only when the test lets it.
  DeviceLink& connectGated(size_t i, std::shared_ptr<GatedStream::Gate> gate, int32_t speed) {
    connect(i, 0, 0, 0, kRing, speed);
    auto link = std::make_unique<DeviceLink>(std::make_unique<GatedStream>(wire[i], std::move(gate)), speed);
    link->sizeRing(kRing);
    link->area = app.devices.slots[i].link->area;
    app.devices.slots[i].link = std::move(link);
    rings[i] = 0;  // drain() does not wait for it
    return *app.devices.slots[i].link;
  }

  // Frames and then waits until every link has handed its bytes to its device.
  void frame(int32_t count = 1) {
    for (int32_t f = 0; f < count; ++f) {
      produceFrame(app.frame, app.sources, app.devices);
      drain();
    }
  }
  void drain() {
    for (size_t i = 0; i < app.devices.slots.size(); ++i) {
      if (!app.devices.slots[i].link || rings[i] == 0) continue;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (app.devices.slots[i].link->freeSpace() < ringOf(i) - 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  uint32_t ringOf(size_t i) const { return rings[i]; }

  std::vector<uint8_t> sent(size_t i) {
    std::lock_guard<std::mutex> hold(wire[i]->lock);
    return wire[i]->data;
  }
  FrameState& state() { return app.frame; }

  uint32_t rings[kDeviceSlotCount] = {kRing, kRing, kRing, kRing};
};

std::vector<int32_t> addressesOf(const std::vector<uint8_t>& bytes) {
  std::vector<int32_t> out;
  for (size_t i = 0; i + 57 <= bytes.size(); i += 57) out.push_back(bytes[i + 2]);
  return out;
}

TEST(ProduceFrame, NothingHappensUntilLinksAndSourceAreUp) {
  Rig rig(640, 480, 640, 480);
  rig.connect(0, 0);
  rig.source->pending = {{0, 0, 640, 480}};
  rig.app.devices.linksOpen = false;
  rig.frame();
  EXPECT_EQ(rig.state().tablesBuilt, 1);
  EXPECT_EQ(rig.state().lumaG[2], 258);
  EXPECT_EQ(rig.source->refreshes, 0);
  rig.app.devices.linksOpen = true;
  rig.app.sources.sourceReady = 0;
  rig.frame();
  EXPECT_EQ(rig.source->refreshes, 0);
  rig.app.sources.sourceReady = 1;
  rig.frame();
  EXPECT_EQ(rig.source->refreshes, 1);
  EXPECT_EQ(rig.sent(0).size(), 240u * 57);
}

TEST(ProduceFrame, AnEmptyChangeListCostsOneRefresh) {
  Rig rig(640, 480, 640, 480);
  rig.connect(0, 0);
  rig.frame(3);
  EXPECT_EQ(rig.source->refreshes, 3);
  EXPECT_EQ(rig.source->bitmapCalls, 0);
  EXPECT_EQ(rig.state().frameCounter, 0u);
  EXPECT_TRUE(rig.sent(0).empty());
}

TEST(ProduceFrame, WholePictureGoesToTheDeviceAsLineRecords) {
  Rig rig(640, 480, 640, 480);
  rig.connect(0, 0, 100, 50);
  rig.source->fill(255, 255, 255, {100, 50, 500, 290});  // exactly the device's area is white
  rig.source->pending = {{0, 0, 640, 480}};
  rig.frame();
  EXPECT_EQ(rig.state().frameCounter, 1u);
  EXPECT_EQ(rig.app.sources.changeList->count(), 0u);
  const std::vector<uint8_t> bytes = rig.sent(0);
  ASSERT_EQ(bytes.size(), 240u * 57);
  for (int32_t l = 0; l < 240; ++l) {
    const uint8_t* rec = &bytes[size_t(l) * 57];
    ASSERT_EQ(rec[2], l + 1);
    for (int32_t k = 0; k < 50; ++k) ASSERT_EQ(rec[3 + k], 0xFF) << l << " " << k;
  }
}

TEST(ProduceFrame, OnlyLinesTheDeviceDoesNotShowGoOut) {
  Rig rig(640, 480, 640, 480);
  rig.connect(0, 0);
  rig.source->fill(255, 255, 255);
  rig.source->pending = {{0, 0, 640, 480}};
  rig.frame();
  ASSERT_EQ(rig.sent(0).size(), 240u * 57);  // a new link knows nothing: every line

  // Two small drawings 200 rows apart: their own lines, not the 200 between them.
  rig.source->fill(0, 0, 0, {20, 10, 30, 14});
  rig.source->fill(0, 0, 0, {20, 210, 30, 212});
  rig.source->pending = {{16, 0, 48, 16}, {16, 208, 48, 224}};
  rig.frame();
  std::vector<uint8_t> bytes = rig.sent(0);
  bytes.erase(bytes.begin(), bytes.begin() + 240 * 57);
  EXPECT_EQ(addressesOf(bytes), (std::vector<int32_t>{11, 12, 13, 14, 211, 212}));

  // The whole area again, nothing drawn: nothing goes out; the device shows it all already.
  rig.source->pending = {{0, 0, 640, 480}};
  rig.frame();
  EXPECT_EQ(rig.sent(0).size(), 246u * 57);
  EXPECT_EQ(frameWorkPending(rig.app.sources, rig.app.devices), FrameWork::unknown);  // the source cannot tell
  rig.source->drawn = Drawing::nothing;
  EXPECT_EQ(frameWorkPending(rig.app.sources, rig.app.devices), FrameWork::nothing);
  rig.app.devices.resendAll();
  EXPECT_EQ(frameWorkPending(rig.app.sources, rig.app.devices), FrameWork::resendDue);
  rig.source->drawn = Drawing::drawn;
  EXPECT_EQ(frameWorkPending(rig.app.sources, rig.app.devices), FrameWork::change);
}

// A device line at 96000 bit/s (384 bytes a frame) whose bytes leave the ring only when the test
// lets them: news may queue two frames of the line's time, the refresh one; what does not fit
// waits, ahead of the refresh, and the refresh goes on where it stopped.
TEST(ProduceFrame, TheLineIsKeptBusyButNeverFarAhead) {
  Rig rig(640, 480, 640, 480);
  auto gate = std::make_shared<GatedStream::Gate>();
  DeviceLink& link = rig.connectGated(0, gate, 96000);
  struct OpenAtEnd {
    std::shared_ptr<GatedStream::Gate> gate;
    ~OpenAtEnd() { gate->openWide(); }
  } openAtEnd{gate};
  const auto range = [](int32_t from, int32_t to, std::vector<int32_t> more = {}) {
    std::vector<int32_t> v;
    for (int32_t a = from; a <= to; ++a) v.push_back(a);
    v.insert(v.end(), more.begin(), more.end());
    return v;
  };
  size_t seen = 0;
  const auto sentSince = [&] {
    const std::vector<uint8_t> all = rig.sent(0);
    std::vector<uint8_t> fresh(all.begin() + std::min(seen, all.size()), all.end());
    seen = all.size();
    return addressesOf(fresh);
  };
  rig.source->fill(255, 255, 255);
  rig.source->pending = {{0, 0, 640, 480}};
  rig.frame();
  EXPECT_EQ(link.queued(), 14u * 57) << "fourteen records reach 768 bytes, two frames of the line";
  EXPECT_EQ(link.shown.heldBackCount(), 240 - 14);
  gate->let(link.queued(), link);
  EXPECT_EQ(sentSince(), range(1, 14));
  rig.frame();
  gate->let(link.queued(), link);
  EXPECT_EQ(sentSince(), range(15, 28)) << "held-back lines go as the line takes them";
  for (int32_t f = 0; f < 50 && link.shown.heldBackCount() > 0; ++f) {
    rig.frame();
    gate->let(link.queued(), link);
  }
  EXPECT_EQ(link.shown.heldBackCount(), 0);
  EXPECT_EQ(sentSince(), range(29, 240));

  // The forced refresh: one frame of the line (seven records), from the top at first, then on
  // from where it stopped even when every line is marked due again.
  rig.app.devices.resendAll();
  rig.frame();
  EXPECT_EQ(link.queued(), 7u * 57);
  gate->let(link.queued(), link);
  rig.frame();
  gate->let(link.queued(), link);
  rig.app.devices.resendAll();
  rig.frame();
  gate->let(link.queued(), link);
  EXPECT_EQ(sentSince(), range(1, 21));

  // A change while the refresh waits on the line: what fits within two frames goes at once, the
  // rest in the next frame before any refreshed line.
  rig.frame();
  ASSERT_EQ(link.queued(), 7u * 57);
  rig.source->fill(0, 0, 0, {0, 200, 640, 211});
  rig.source->pending = {{0, 200, 640, 211}};
  rig.frame();
  EXPECT_EQ(link.queued(), 14u * 57);
  std::vector<int32_t> order;
  for (int32_t f = 0; f < 5; ++f) {
    gate->let(link.queued(), link);
    const std::vector<int32_t> got = sentSince();
    order.insert(order.end(), got.begin(), got.end());
    rig.frame();
  }
  ASSERT_GE(order.size(), 19u);
  EXPECT_EQ(std::vector<int32_t>(order.begin(), order.begin() + 19), range(22, 28, range(201, 211, {29})));
  EXPECT_LE(link.queued(), 7u * 57) << "never more than a frame of refresh (and one record) waits";
}

TEST(ProduceFrame, ShrinkOfTheFirstSlotBoundsTheCaptureForEveryDevice) {
  Rig rig(1920, 1080, 640, 480);
  rig.app.devices.slots[0].settings.shrink = 2;
  rig.connect(1, 0);  // slot 1 has shrink 0 but is bound by slot 0's
  rig.source->fill(255, 255, 255);
  rig.source->pending = {{0, 0, 640, 480}};
  rig.frame();
  EXPECT_EQ(rig.state().captureWidth, 210);
  EXPECT_EQ(rig.state().captureHeight, 160);
  const std::vector<uint8_t> bytes = rig.sent(1);
  // Every line of the changed rectangle is sent, but only the captured 210 × 160 is bright.
  ASSERT_EQ(bytes.size(), 240u * 57);
  EXPECT_EQ(bytes[3 + 25], 0xFF);        // pixels 200 … 207
  EXPECT_EQ(bytes[3 + 26], 0x03);        // 208, 209
  EXPECT_EQ(bytes[159 * 57 + 3], 0xFF);  // row 159
  EXPECT_EQ(bytes[160 * 57 + 3], 0x00);  // row 160 was never written
}

TEST(ProduceFrame, HalftoneDevicesAreRedrawnEveryFrame) {
  Rig rig(640, 480, 640, 480);
  rig.source->fill(0x80, 0x80, 0x80);
  rig.connect(0, 2);
  rig.frame(3);
  EXPECT_EQ(rig.state().frameCounter, 3u);
  EXPECT_EQ(rig.sent(0).size(), 3u * 240 * 57);

  // Grey 128 is 220 × 128 = 28160: the checkerboard, which flips between frames.
  const std::vector<uint8_t> bytes = rig.sent(0);
  EXPECT_EQ(bytes[3], 0x55);             // frame 1 (n = 1): x + y + 1 odd for even x
  EXPECT_EQ(bytes[240 * 57 + 3], 0xAA);  // frame 2
  EXPECT_EQ(bytes[57 + 3], 0xAA);        // frame 1, row 1

  // An inactive slot's link still marks its area, and dither 3 refreshes like halftone.
  Rig other(640, 480, 640, 480);
  other.connect(1, 3, 240, 240);
  other.app.devices.slots[1].settings.active = 0;
  other.frame(2);
  EXPECT_EQ(other.state().frameCounter, 2u);
  EXPECT_TRUE(other.sent(1).empty());
}

TEST(ProduceFrame, AFailedRefreshClearsSourceReadyButTheFrameGoesOn) {
  Rig rig(640, 480, 640, 480);
  rig.connect(0, 0);
  rig.source->result = -2;
  rig.app.sources.changeList->add({0, 0, 16, 16});
  rig.frame();
  EXPECT_EQ(rig.app.sources.sourceReady, 0);
  EXPECT_EQ(rig.state().frameCounter, 1u);
  EXPECT_EQ(rig.sent(0).size(), 16u * 57);
  EXPECT_EQ(rig.app.sources.changeList->count(), 0u);
}

TEST(ProduceFrame, PixelsThatCannotBeLockedDropTheFramesChanges) {
  Rig rig(640, 480, 640, 480);
  rig.connect(0, 0);
  ASSERT_NE(rig.source->image.lockPixels(), nullptr);  // lent out elsewhere
  rig.source->pending = {{0, 0, 640, 480}};
  rig.frame();
  EXPECT_EQ(rig.state().frameCounter, 1u);
  EXPECT_TRUE(rig.sent(0).empty());
  EXPECT_EQ(rig.app.sources.changeList->count(), 0u);
  EXPECT_EQ(rig.source->image.unlockPixels(), 0);  // the frame left the other loan alone

  Rig blank(640, 480, 0, 0);  // a source without an image yet
  blank.connect(0, 0);
  blank.source->pending = {{0, 0, 640, 480}};
  blank.frame();
  EXPECT_TRUE(blank.sent(0).empty());
  EXPECT_EQ(blank.app.sources.changeList->count(), 0u);
}

TEST(ProduceFrame, ChangesOutsideTheAreaStillWidenTheLinesSent) {
  Rig rig(640, 480, 640, 480);
  rig.connect(0, 0, 200, 100);
  rig.source->fill(255, 255, 255);
  rig.source->pending = {{0, 112, 192, 128}};  // left of the area, its rows 12 … 27
  rig.frame();
  const std::vector<uint8_t> bytes = rig.sent(0);
  ASSERT_EQ(addressesOf(bytes).size(), 16u);
  EXPECT_EQ(addressesOf(bytes).front(), 13);
  for (size_t i = 3; i < 53; ++i) EXPECT_EQ(bytes[i], 0x00);  // no pixel was touched
}

TEST(ProduceFrame, AnAreaPartlyOutsideTheCaptureIsClipped) {
  Rig rig(500, 300, 500, 300);
  DeviceLink& link = rig.connect(0, 0, 300, 200);  // 200 × 100 of it inside the capture
  DeviceWork& slot = rig.app.devices.slots[0].work;
  std::fill(slot.workPixels.begin(), slot.workPixels.end(), 65280);
  rig.source->fill(0, 0, 0);
  rig.source->pending = {{0, 0, 500, 300}};
  rig.frame();
  EXPECT_EQ(slot.workPixels[0], 0);
  EXPECT_EQ(slot.workPixels[199], 0);
  EXPECT_EQ(slot.workPixels[200], 65280);         // beyond the clipped area: kept
  EXPECT_EQ(slot.workPixels[400 * 100], 65280);
  const std::vector<uint8_t> bytes = rig.sent(0);
  // The change, on the 16-pixel grid, reaches row 304 of the capture: lines 0 … 103. Lines
  // 0 … 99 are dark on the left and keep their bright beyond; 100 … 103 were never written.
  ASSERT_EQ(bytes.size(), 104u * 57);
  EXPECT_EQ(bytes[3 + 24], 0x00);
  EXPECT_EQ(bytes[3 + 25], 0xFF);
  EXPECT_EQ(bytes[100 * 57 + 3], 0xFF);
  EXPECT_EQ(link.area, (comsrc::Rect{300, 200, 700, 440}));
}

TEST(ProduceFrame, AnImageSmallerThanTheDisplayIsReadOnlyAsFarAsItGoes) {
  Rig rig(640, 480, 100, 60);
  rig.connect(0, 0);
  rig.source->fill(255, 255, 255);
  rig.source->pending = {{0, 0, 640, 480}};
  rig.frame();
  EXPECT_EQ(rig.state().captureWidth, 100);
  EXPECT_EQ(rig.state().captureHeight, 60);
  const std::vector<uint8_t> bytes = rig.sent(0);
  ASSERT_EQ(bytes.size(), 240u * 57);
  EXPECT_EQ(bytes[3 + 12], 0x0F);  // pixels 96 … 99 bright, 100 … 103 never written
  EXPECT_EQ(bytes[60 * 57 + 3], 0x00);
}

TEST(ProduceFrame, EachDeviceGetsItsOwnAreaAndABlockThatDoesNotFitIsDropped) {
  Rig rig(640, 480, 640, 480);
  rig.source->fill(255, 255, 255, {0, 0, 320, 480});  // left half white
  rig.connect(0, 0, 0, 0);
  rig.connect(1, 0, 240, 240, 1000);  // a ring too small for the whole panel
  rig.rings[1] = 1000;
  rig.connect(2, 0, 240, 0);
  rig.app.devices.slots[2].work.portOk = false;  // its port did not open
  rig.source->pending = {{0, 0, 640, 480}};
  rig.frame();
  const std::vector<uint8_t> first = rig.sent(0);
  ASSERT_EQ(first.size(), 240u * 57);
  EXPECT_EQ(first[3 + 39], 0xFF);  // pixels 312 … 319
  EXPECT_EQ(first[3 + 40], 0x00);
  EXPECT_EQ(rig.sent(1).size(), 17u * 57) << "as many lines as the ring holds";
  EXPECT_TRUE(rig.sent(2).empty());
  // The others wait, and go as soon as there is room.
  EXPECT_EQ(rig.app.devices.slots[1].link->shown.heldBackCount(), 240 - 17);
  rig.frame(14);
  EXPECT_EQ(rig.sent(1).size(), 240u * 57);
  EXPECT_FALSE(rig.app.devices.resendDue());
}

TEST(ProduceFrame, WorkingPixelsThatCannotHoldAPanelAreLeftAlone) {
  for (int32_t stride : {0, 399, 401}) {
    Rig rig(640, 480, 640, 480);
    rig.connect(0, 1);
    DeviceWork& slot = rig.app.devices.slots[0].work;
    slot.workStride = stride;
    std::fill(slot.workPixels.begin(), slot.workPixels.end(), 7);
    rig.source->pending = {{0, 0, 640, 480}};
    rig.frame();
    EXPECT_TRUE(rig.sent(0).empty()) << stride;
    EXPECT_EQ(slot.workPixels.back(), 7) << stride;
  }
}

}  // namespace

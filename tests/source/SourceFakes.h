#pragma once

#include <cstring>
#include <memory>
#include <vector>

#include "comsrc/DIBitmap.h"
#include "comsrc/TickClock.h"
#include "comsrc/RectList.h"
#include "source/DisplayConnection.h"
#include "source/ScreenCapture.h"

namespace vltest {

// The 32-bit pixel at (x, y) of a bitmap a source or capture filled.
inline uint32_t pixelAt(comsrc::DIBitmap& b, int32_t x, int32_t y) {
  uint32_t v = 0;
  std::memcpy(&v, b.getPixels() + ptrdiff_t{y} * b.getStride() + 4 * x, 4);
  return v;
}

// A counter the test moves by hand; readings are in milliseconds at 1e6 counts per second.
class FakeCounter : public comsrc::PerfCounter {
 public:
  bool frequency(int64_t& f) override {
    f = 1000000;
    return readable;
  }
  bool now(int64_t& c) override {
    c = count;
    return readable;
  }
  // Time asleep, when tellsSleep; the count stands still while the machine sleeps.
  bool suspended(int64_t& c) override {
    c = asleep;
    return tellsSleep;
  }
  void setMs(int64_t ms) { count = ms * 1000; }
  void advanceMs(int64_t ms) { count += ms * 1000; }

  int64_t count = 1000 * 1000;
  bool readable = true;
  int64_t asleep = 0;
  bool tellsSleep = false;
};

// The change list, with every rectangle a source hands it kept as given.
class RecordingList : public comsrc::RectList {
 public:
  int32_t add(const comsrc::Rect& r) override {
    added.push_back(r);
    return RectList::add(r);
  }
  std::vector<comsrc::Rect> added;
};

// An acquirer whose context is a token; `openable` decides whether open succeeds.
class FakeAcquirer : public DisplayConnection {
 public:
  int32_t open() override {
    ++opens;
    isOpen = openable;
    return isOpen ? 0 : -1;
  }
  int32_t close() override {
    isOpen = false;
    return 0;
  }
  ScreenContext* screenContext() override { return isOpen ? reinterpret_cast<ScreenContext*>(&token) : nullptr; }

  bool openable = true;
  bool isOpen = false;
  int opens = 0;
  int token = 0;
};

// A screen held in memory (0x00RRGGBB words, top-down); capture bitmaps on the heap.
class FakeScreen : public ScreenCapture {
 public:
  struct Shared {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
    int blits = 0;
    int creations = 0;
    int failCreationAt = -1;  // the creation with this number (from 0) fails
    FakeCounter* clock = nullptr;  // a blit lasts blitMs on it
    int64_t blitMs = 0;
    bool tracksDrawing = false;  // else it cannot tell whether anything was drawn
    bool drawn = false;          // since the last blit
    bool tracksDamage = false;   // else it cannot tell where
    comsrc::Rect damage;         // of the last blit
    bool lost = false;
    uint32_t& at(int32_t x, int32_t y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
  };

  explicit FakeScreen(std::shared_ptr<Shared> s) : state(std::move(s)) {}

  std::unique_ptr<comsrc::DIBitmap> createCaptureBitmap(ScreenContext*, int32_t w, int32_t h) override {
    if (state->creations++ == state->failCreationAt) return nullptr;
    auto b = std::make_unique<comsrc::DIBitmap>();
    if (b->create(w, h) != 0) return nullptr;
    b->clear();
    return b;
  }
  bool blitFromScreen(comsrc::DIBitmap& target, ScreenContext*, int32_t srcX, int32_t srcY) override {
    ++state->blits;
    if (state->clock) state->clock->advanceMs(state->blitMs);
    state->drawn = false;
    // Written behind any lock, as the X11 capture's shared memory is.
    uint8_t* p = target.getPixels();
    if (!p) return false;
    for (int32_t y = 0; y < target.getHeight(); ++y)
      for (int32_t x = 0; x < target.getWidth(); ++x) {
        const int32_t sx = srcX + x, sy = srcY + y;
        if (sx < 0 || sy < 0 || sx >= state->width || sy >= state->height) continue;
        std::memcpy(p + ptrdiff_t{y} * target.getStride() + 4 * x, &state->at(sx, sy), 4);
      }
    return true;
  }

  Drawing drawing(ScreenContext*) override {
    if (!state->tracksDrawing) return Drawing::unknown;
    return state->drawn ? Drawing::drawn : Drawing::nothing;
  }
  bool damagedArea(comsrc::Rect& area) override {
    area = state->damage;
    return state->tracksDamage;
  }
  bool lost() const override { return state->lost; }

  std::shared_ptr<Shared> state;
};

}  // namespace vltest

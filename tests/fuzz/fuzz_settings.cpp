// Arbitrary bytes as a settings file: the text reader, the store's reading rules, the number
// parsers and the writer must neither crash nor hang, and what the store writes must read
// back to the same table.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "multio/Stream.h"
#include "multio/TextReader_Stream.h"
#include "multio/TextWriter_Stream.h"
#include "settings/DeviceSettings.h"
#include "settings/PrefStore.h"
#include "settings/Settings.h"

namespace {

// A read-only stream over a block of memory, handing out at most `chunk` bytes per read.
class MemoryStream : public multio::Stream {
 public:
  MemoryStream(const uint8_t* data, size_t size, int32_t chunk) : data_(data), size_(size), chunk_(chunk) {}
  int32_t read(void* buffer, int32_t count, int32_t flags) override {
    if (flags != 0) return multio::kErrUnsupported;
    size_t n = std::min(static_cast<size_t>(count < 0 ? 0 : count), size_ - position_);
    n = std::min(n, static_cast<size_t>(chunk_));
    if (n == 0 && count > 0) end_ = true;
    std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return static_cast<int32_t>(n);
  }
  bool atEnd() override { return end_; }

 private:
  const uint8_t* data_;
  size_t size_;
  int32_t chunk_;
  size_t position_ = 0;
  bool end_ = false;
};

class StringSink : public multio::Stream {
 public:
  int32_t write(const void* buffer, int32_t count, int32_t flags) override {
    text.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
    return count;
  }
  std::string text;
};

void check(bool condition) {
  if (!condition) __builtin_trap();
}

bool sameTable(const PrefStore& a, const PrefStore& b) {
  if (a.size() != b.size()) return false;
  for (int32_t i = 0; i < a.size(); ++i)
    if (std::strcmp(a.keyAt(i), b.keyAt(i)) != 0 || std::strcmp(a.valueAt(i), b.valueAt(i)) != 0) return false;
  return true;
}

std::string writeOut(const PrefStore& store) {
  StringSink sink;
  multio::TextWriter_Stream writer(&sink, 4096);
  check(store.writeAll(writer) == 0);
  return sink.text;
}

void readIn(PrefStore& store, const uint8_t* data, size_t size, int32_t chunk) {
  MemoryStream stream(data, size, chunk);
  multio::TextReader_Stream reader(&stream);
  store.readAll(reader);
}

void resetToDefaults(DeviceSlots& slots) {
  static const DeviceSettings defaults;
  for (DeviceSettings& s : slots) {
    s.active = defaults.active;
    s.port = defaults.port;
    s.speed = defaults.speed;
    s.cts = defaults.cts;
    s.dither = defaults.dither;
    s.contrast = defaults.contrast;
    s.gamma = defaults.gamma;
    s.offset = defaults.offset;
    s.rotate = defaults.rotate;
    s.shrink = defaults.shrink;
    s.invert = defaults.invert;
    s.posX = defaults.posX;
    s.posY = defaults.posY;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The reader delivers every byte exactly once, whatever the read-ahead and stream pace.
  {
    const int32_t readAhead = size > 0 ? static_cast<int32_t>(data[0] % 64) - 1 : -1;
    const int32_t chunk = size > 1 ? 1 + data[1] % 97 : 1;
    MemoryStream stream(data, size, chunk);
    multio::TextReader_Stream reader(&stream);
    std::string all, line;
    while (!reader.atEnd()) {
      reader.readRawLine(line, readAhead);
      check(line.size() <= 4096);
      all += line;
      if (line.empty() && !reader.atEnd()) break;
    }
    check(all.size() == size && std::memcmp(all.data(), data, size) == 0);
  }

  // The load path: defaults first, then the file, then the values back out.
  // The slots are made once: each carries a large working area that the store never touches.
  static DeviceSlots slots = makeDefaultSlots();
  resetToDefaults(slots);
  PrefStore store;
  CaptureMode mode = CaptureMode::mainScreen;
  putSettings(store, slots, mode);
  readIn(store, data, size, 1 << 20);
  takeSettings(store, slots, mode);
  check(storedCaptureMode(mode) == 0 || storedCaptureMode(mode) == 1);
  check(store.size() <= PrefStore::kCapacity);
  for (int32_t i = 0; i < store.size(); ++i) {
    store.getInt(store.keyAt(i), 0);
    store.getReal(store.keyAt(i), 0.0);
  }

  // What is written reads back to the same table, and writes the same bytes again.
  const std::string first = writeOut(store);
  PrefStore again;
  readIn(again, reinterpret_cast<const uint8_t*>(first.data()), first.size(), 4096);
  check(sameTable(store, again));
  check(writeOut(again) == first);
  return 0;
}

// Arbitrary change-record lists and size replies from the driver: the source must neither
// crash, hang nor read outside the fetched bytes, and must report only rectangles inside the
// frame, each copied into its image.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "SourceFakes.h"
#include "VtdrvFakes.h"
#include "comsrc/DIBitmap.h"
#include "source/DriverDisplaySource.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

constexpr int32_t kWidth = 64, kHeight = 48;

uint32_t take(const uint8_t*& data, size_t& size, size_t bytes) {
  uint32_t v = 0;
  const size_t n = size < bytes ? size : bytes;
  std::memcpy(&v, data, n);
  data += n;
  size -= n;
  return v;
}

// Bytes read as records of the known types with 16-bit lengths and payload offsets, so that
// lists reaching past the fetched buffer, or almost, come up often: per record a length, a
// payload offset, a type selector, a count, then rectangles of 4 bytes each.
std::vector<uint8_t> shapedList(const uint8_t* data, size_t size) {
  static constexpr uint32_t kTypes[4] = {16, 127, 256, 3};
  vltest::RecordList list;
  while (size >= 6) {
    const uint32_t length = uint32_t(data[0] | data[1] << 8), offset = uint32_t(data[2] | data[3] << 8);
    const uint32_t type = kTypes[data[4] & 3], count = data[5];
    data += 6;
    size -= 6;
    const size_t start = list.bytes.size();
    list.word(length).word(offset).word(type);
    list.bytes.resize(start + (offset > 12 && offset < 0x8000 ? offset : 12), 0);
    list.word(0).word(0).word(count);
    for (uint32_t i = 0; i < count && size >= 4; ++i, data += 4, size -= 4)
      list.word(int8_t(data[0])).word(int8_t(data[1])).word(data[0] + data[2] % 80).word(data[1] + data[3] % 60);
    if (length >= 12 && length < 0x8000 && start + length > list.bytes.size()) list.bytes.resize(start + length, 0);
  }
  return list.bytes;
}

}  // namespace

// Up to four rounds, each: a 16-bit list length, a 32-bit size reply, a byte of flags, then the
// list's bytes, taken as they are or shaped into records.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto driver = std::make_shared<vltest::FakeDriver>(kWidth, kHeight);
  for (int32_t i = 0; i < kWidth * kHeight; ++i) driver->frame[size_t(i)] = 0x01000000u + uint32_t(i);
  vltest::FakeAcquirer acquirer;
  vltest::RecordingList list;
  vltest::FakeCalendar calendar;
  DriverDisplaySource source(acquirer, list, comsrc::Rect{0, 0, kWidth, kHeight},
                      std::make_unique<vltest::FakeEscapeChannel>(driver), calendar);

  for (int round = 0; round < 4 && size > 0; ++round) {
    const size_t listBytes = take(data, size, 2);
    const uint32_t reply = take(data, size, 4);
    const uint32_t flags = take(data, size, 1);
    const size_t n = listBytes < size ? listBytes : size;
    if (flags & 0x80)
      driver->records = shapedList(data, n);
    else
      driver->records.assign(data, data + n);
    data += n;
    size -= n;
    // Mostly sizes that lead to a fetch; now and then one beyond what is accepted.
    const uint32_t announced = flags & 2 ? DriverDisplaySource::kMaxFetchBytes + 1 + (reply & 0xFFFFFF) : reply & 0x7FFF;
    driver->queueSize(flags & 1 ? -1 : 0, announced);
    driver->fetchResult = flags & 4 ? -1 : 0;
    calendar.now += (flags >> 3) & 15;

    list.added.clear();
    const int32_t result = source.refresh();
    check(result == 0 || result == 1);
    comsrc::DIBitmap* image = source.bitmap();
    check(image != nullptr);
    for (const comsrc::Rect& r : list.added) {
      check(r.left >= 0 && r.top >= 0 && r.right <= kWidth && r.bottom <= kHeight);
      if (result != 1 || source.mappedFrame() == nullptr) continue;
      for (int32_t y = r.top; y < r.bottom; ++y)
        for (int32_t x = r.left; x < r.right; ++x)
          check(std::memcmp(image->getPixels() + ptrdiff_t{y} * image->getStride() + 4 * x,
                            &driver->pixel(x, y), 4) == 0);
    }
  }
  return 0;
}

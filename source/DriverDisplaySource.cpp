#include "source/DriverDisplaySource.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "comsrc/DIBitmap.h"
#include "comsrc/RectList.h"
#include "source/CalendarClock.h"
#include "source/CurrentProcess.h"
#include "source/EscapeChannel.h"
#include "source/DisplayConnection.h"
#include "source/VtdrvEscapes.h"


namespace {

uint32_t readWord(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

DriverDisplaySource::DriverDisplaySource(DisplayConnection& display, comsrc::RectList& changes, const comsrc::Rect& displayRect,
                           std::unique_ptr<EscapeChannel> escapes)
    : DriverDisplaySource(display, changes, displayRect, std::move(escapes), ownClock) {}

DriverDisplaySource::DriverDisplaySource(DisplayConnection& display, comsrc::RectList& changes, const comsrc::Rect& displayRect,
                           std::unique_ptr<EscapeChannel> escapes, CalendarClock& calendar)
    : acquirer(&display),
      rectList(&changes),
      channel(std::move(escapes)),
      clock(&calendar),
      frameRect{0, 0, displayRect.width(), displayRect.height()} {}

DriverDisplaySource::~DriverDisplaySource() {
  image.reset();
  unmap();
}

int32_t DriverDisplaySource::send(uint32_t code, int32_t inLength, const void* in, int32_t outLength, void* out) {
  return channel ? channel->escape(code, inLength, in, outLength, out) : -1;
}

int32_t DriverDisplaySource::refresh() {
  if (!startSent) {
    send(vtdrv::kEscStart, 0, nullptr, 0, nullptr);
    startSent = 1;
  }

  if (!image) {
    image.reset(new (std::nothrow) comsrc::DIBitmap());
    const int32_t made = image ? image->createWithDepth(frameRect.width(), frameRect.height(), 32) : -4;
    if (made != 0) {
      image.reset();
      return made < 0 ? made : -1;
    }
    pending.uniteRect(frameRect);
  }

  uint32_t size = 0;
  if (send(vtdrv::kEscChangesSize, 0, nullptr, 4, &size) != 0) {
    if (++failedPolls > kMaxFailedPolls) {
      acquirer->open();
      failedPolls = 0;
    }
    keepMapped();
    return 0;
  }
  if (size == 0) {
    keepMapped();
    return 0;
  }

  const int32_t result = fetchAndWalk(size);
  failedPolls = 0;
  copyRegion(pending);
  keepMapped();
  return result;
}

// 1 when a record list was fetched and walked; 0 when this round's records are lost (a size
// beyond reason, no memory, a failed fetch).
int32_t DriverDisplaySource::fetchAndWalk(uint32_t size) {
  if (size > kMaxFetchBytes) return 0;
  size = std::max(size, vtdrv::kMinFetchBytes);
  if (size > fetchCapacity) {
    fetchBuffer.reset(new (std::nothrow) uint8_t[size]);
    fetchCapacity = fetchBuffer ? size : 0;
    if (!fetchBuffer) return 0;
  }
  // A driver that writes less than it announced must not make the last round's records count
  // again.
  std::memset(fetchBuffer.get(), 0, size);
  if (send(vtdrv::kEscChangesFetch, 4, nullptr, int32_t(size), fetchBuffer.get()) < 0) return 0;
  walkRecords(size);
  return 1;
}

// Walks the records inside the fetched bytes only: a record too short to hold its header, or
// one whose length or payload reaches past the buffer, ends the walk like the zero length that
// should end it; what was handled before stays.
void DriverDisplaySource::walkRecords(uint32_t size) {
  const uint8_t* list = fetchBuffer.get();
  uint32_t at = 0;
  while (size - at >= vtdrv::kRecordHeaderBytes) {
    const uint8_t* record = list + at;
    const uint32_t length = readWord(record);
    const uint32_t payloadOffset = readWord(record + 4);
    const uint32_t type = readWord(record + 8);
    if (length == 0 || length < vtdrv::kRecordHeaderBytes || length > size - at) return;
    if (payloadOffset > size - at) return;
    const uint8_t* payload = record + payloadOffset;
    const uint32_t available = size - at - payloadOffset;
    int32_t handled = 0;
    switch (type) {
      case vtdrv::kRecordType16: handled = handleType16(payload, available); break;
      case vtdrv::kRecordChangedRects: handled = handleChangedRects(payload, available); break;
      case vtdrv::kRecordType256: handled = handleType256(payload, available); break;
      default: break;
    }
    if (handled < 0) return;
    at += length;
  }
}

int32_t DriverDisplaySource::handleType16(const uint8_t*, uint32_t) { return 0; }
int32_t DriverDisplaySource::handleType256(const uint8_t*, uint32_t) { return 0; }

comsrc::Rect DriverDisplaySource::clampToFrame(const comsrc::Rect& r) const {
  return comsrc::Rect{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, frameRect.right),
                      std::min(r.bottom, frameRect.bottom)};
}

int32_t DriverDisplaySource::handleChangedRects(const uint8_t* payload, uint32_t available) {
  if (available < vtdrv::kChangedRectsFirstRect) return failure(SourceFailure::unavailable);
  const uint32_t count = readWord(payload + vtdrv::kChangedRectsCountOffset);
  if (uint64_t{count} * vtdrv::kRectBytes > available - vtdrv::kChangedRectsFirstRect)
    return failure(SourceFailure::unavailable);
  const uint8_t* p = payload + vtdrv::kChangedRectsFirstRect;
  for (uint32_t i = 0; i < count; ++i, p += vtdrv::kRectBytes) {
    comsrc::Rect r;
    std::memcpy(&r, p, sizeof r);
    r = clampToFrame(r);
    rectList->add(r);
    if (r.isEmpty()) continue;
    scratchRegion.setRect(r);
    pending.uniteRegion(scratchRegion);
  }
  return 0;
}

int32_t DriverDisplaySource::copyAll() {
  comsrc::Region whole;
  whole.setRect(frameRect);
  copyRegion(whole);
  return 0;
}

int32_t DriverDisplaySource::copyRegion(comsrc::Region& region) {
  if (!image) return failure(SourceFailure::noImage);

  alignas(8) uint8_t data[kRegionDataBytes];
  int32_t count = region.rectangles(data, sizeof data);
  if (count == 0) return 0;
  if (count < 0) {
    std::memcpy(data, &frameRect, sizeof frameRect);
    count = 1;
  }

  if (keepMapped() < 0) return failure(SourceFailure::mappingNotKept);
  if (!frameBuffer) return failure(SourceFailure::frameNotMapped);

  uint8_t* pixels = image->lockPixels();
  if (!pixels) return failure(SourceFailure::noImage);
  const ptrdiff_t stride = image->getStride();
  const ptrdiff_t frameStride = ptrdiff_t{frameRect.right} * vtdrv::kFrameBytesPerPixel;
  for (int32_t i = 0; i < count; ++i) {
    comsrc::Rect r;
    std::memcpy(&r, data + size_t(i) * sizeof r, sizeof r);
    r = clampToFrame(r);
    // Whole pixel pairs: the left edge down to an even column, the right one up, within the frame.
    r.left &= ~1;
    r.right = std::min(r.right + (r.right & 1), frameRect.right);
    if (r.isEmpty()) continue;
    const size_t span = size_t(r.right - r.left) * vtdrv::kFrameBytesPerPixel;
    const ptrdiff_t column = ptrdiff_t{r.left} * vtdrv::kFrameBytesPerPixel;
    if (stride == frameStride && ptrdiff_t(span) == frameStride) {
      // Whole rows lie end to end in both: one copy.
      std::memcpy(pixels + r.top * stride, frameBuffer + r.top * frameStride, span * size_t(r.bottom - r.top));
      continue;
    }
    for (int32_t y = r.top; y < r.bottom; ++y)
      std::memcpy(pixels + y * stride + column, frameBuffer + y * frameStride + column, span);
  }
  image->unlockPixels();
  // Emptied without giving up the region's handle, which the next unions reuse.
  region.setRect(comsrc::Rect{});
  return 0;
}

int32_t DriverDisplaySource::mapFrame() {
  mapProcess = currentProcessHandle();
  uint8_t in[vtdrv::kMapFrameInBytes] = {};
  std::memcpy(in, &mapProcess, 4);
  const uint8_t* address = nullptr;
  static_assert(sizeof address == vtdrv::kAddressBytes);
  const int32_t result = send(vtdrv::kEscMapFrame, sizeof in, in, sizeof address, &address);
  // A success without an address would leave nothing to read; it counts as a failure.
  if (result < 1 || !address) return failure(SourceFailure::unavailable);
  frameBuffer = address;
  lastKeepAlive = clock->seconds();
  return result;
}

int32_t DriverDisplaySource::keepMapped() {
  if (!frameBuffer) return mapFrame();
  const int64_t now = clock->seconds();
  const int64_t elapsed = now - lastKeepAlive;
  if (elapsed < 10) return 0;
  if (elapsed <= 12) {
    send(vtdrv::kEscKeepAlive, 0, nullptr, 0, nullptr);
    lastKeepAlive = now;
    return 0;
  }
  // Too long without a keep-alive (the program was held up): the driver may have let the
  // mapping go, so it is given back and made anew rather than left stale for good.
  unmap();
  const int32_t mapped = mapFrame();
  return mapped < 0 ? failure(SourceFailure::noImage) : mapped;
}

int32_t DriverDisplaySource::unmap() {
  if (frameBuffer) {
    uint8_t in[vtdrv::kUnmapFrameInBytes];
    std::memcpy(in, &mapProcess, 4);
    std::memcpy(in + 4, &frameBuffer, sizeof frameBuffer);
    send(vtdrv::kEscUnmapFrame, sizeof in, in, 0, nullptr);
    frameBuffer = nullptr;
    mapProcess = 0;
  }
  return 0;
}

int32_t DriverDisplaySource::identify(void* buffer, int32_t length) {
  const int32_t first = identifyOnce(buffer, length);
  if (first != failure(SourceFailure::unavailable)) return first;
  acquirer->open();
  return identifyOnce(buffer, length);
}

int32_t DriverDisplaySource::identifyOnce(void* buffer, int32_t length) {
  char reply[vtdrv::kIdentifyReplyBytes] = {};
  const int32_t answered = send(vtdrv::kEscIdentify, 0, nullptr, sizeof reply, reply);
  if (answered < 1 || answered > vtdrv::kIdentifyMaxAnswer) return failure(SourceFailure::unavailable);
  if (buffer && length > 0) std::memcpy(buffer, reply, size_t(std::min(answered, length)));
  return std::memcmp(reply, vtdrv::kIdentifyTag, vtdrv::kIdentifyTagBytes) == 0 ? 0 : failure(SourceFailure::noScreenContext);
}

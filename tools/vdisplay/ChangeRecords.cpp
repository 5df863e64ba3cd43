#include "tools/vdisplay/ChangeRecords.h"

#include "source/VDisplayProtocol.h"

using namespace vdisplay;

void ChangeRecords::add(const comsrc::Rect& r) {
  comsrc::Rect clipped;
  if (!comsrc::intersectRect(clipped, r, frame_)) return;
  if (rects_.size() == 1 && rects_[0] == frame_) return;
  if (rects_.size() >= kLimit) {
    rects_.assign(1, frame_);
    return;
  }
  if (rects_.capacity() == 0) rects_.reserve(kLimit);
  rects_.push_back(clipped);
}

uint32_t ChangeRecords::bytesFor(uint32_t count) {
  if (count == 0) return 0;
  return vtdrv::kRecordHeaderBytes + vtdrv::kChangedRectsFirstRect + count * vtdrv::kRectBytes + vtdrv::kRecordHeaderBytes;
}

uint32_t ChangeRecords::take(uint8_t* out, uint32_t capacity) {
  if (rects_.empty()) return 0;
  if (bytesFor(uint32_t(rects_.size())) > capacity) {
    if (bytesFor(1) > capacity) return 0;
    rects_.assign(1, frame_);
  }
  const uint32_t count = uint32_t(rects_.size());
  const uint32_t recordBytes = vtdrv::kRecordHeaderBytes + vtdrv::kChangedRectsFirstRect + count * vtdrv::kRectBytes;
  put32(out, recordBytes);
  put32(out + 4, vtdrv::kRecordHeaderBytes);
  put32(out + 8, vtdrv::kRecordChangedRects);
  uint8_t* p = out + vtdrv::kRecordHeaderBytes;
  put64(p, 0);
  put32(p + 8, count);
  p += vtdrv::kChangedRectsFirstRect;
  for (const comsrc::Rect& r : rects_) {
    put32(p, uint32_t(r.left)), put32(p + 4, uint32_t(r.top)), put32(p + 8, uint32_t(r.right)), put32(p + 12, uint32_t(r.bottom));
    p += vtdrv::kRectBytes;
  }
  for (uint32_t i = 0; i < vtdrv::kRecordHeaderBytes; ++i) p[i] = 0;
  rects_.clear();
  return recordBytes + vtdrv::kRecordHeaderBytes;
}

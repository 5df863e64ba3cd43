#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "comsrc/Rect.h"
#include "source/CalendarClock.h"
#include "source/EscapeChannel.h"
#include "source/VtdrvEscapes.h"

namespace vltest {

// The driver's side of the escapes, in memory: a frame buffer, a queue of size replies and the
// record list the next fetch returns. Every call is recorded.
struct FakeDriver {
  struct Call {
    uint32_t code = 0;
    int32_t inLength = 0;
    bool inNull = true;
    std::vector<uint8_t> in;
    int32_t outLength = 0;
  };

  FakeDriver(int32_t w, int32_t h) : width(w), height(h), frame(size_t(w) * size_t(h), 0) {}

  uint32_t& pixel(int32_t x, int32_t y) { return frame[size_t(y) * size_t(width) + size_t(x)]; }
  int count(uint32_t code) const {
    int n = 0;
    for (const Call& c : calls) n += c.code == code;
    return n;
  }
  const Call* last(uint32_t code) const {
    for (auto it = calls.rbegin(); it != calls.rend(); ++it)
      if (it->code == code) return &*it;
    return nullptr;
  }
  // The next size query answers (result, size); without one queued it answers (0, 0).
  void queueSize(int32_t result, uint32_t size) { sizeReplies.emplace_back(result, size); }

  int32_t escape(uint32_t code, int32_t inLength, const void* in, int32_t outLength, void* out) {
    Call c;
    c.code = code;
    c.inLength = inLength;
    c.inNull = in == nullptr;
    if (in && inLength > 0) c.in.assign(static_cast<const uint8_t*>(in), static_cast<const uint8_t*>(in) + inLength);
    c.outLength = outLength;
    calls.push_back(std::move(c));

    switch (code) {
      case vtdrv::kEscIdentify: {
        int32_t result = int32_t(identifyReply.size());
        if (!identifyResults.empty()) {
          result = identifyResults.front();
          identifyResults.pop_front();
        }
        if (result > 0 && out) std::memcpy(out, identifyReply.data(), std::min(identifyReply.size(), size_t(outLength)));
        return result;
      }
      case vtdrv::kEscMapFrame: {
        if (mapResult < 1) return mapResult;
        const void* address = mapNullAddress ? nullptr : frame.data();
        std::memcpy(out, &address, sizeof address);
        ++mapped;
        return mapResult;
      }
      case vtdrv::kEscUnmapFrame: --mapped; return 1;
      case vtdrv::kEscChangesSize: {
        std::pair<int32_t, uint32_t> reply{0, 0};
        if (!sizeReplies.empty()) {
          reply = sizeReplies.front();
          sizeReplies.pop_front();
        }
        if (out) std::memcpy(out, &reply.second, 4);
        return reply.first;
      }
      case vtdrv::kEscChangesFetch:
        if (fetchResult >= 0 && out)
          std::memcpy(out, records.data(), std::min(records.size(), size_t(outLength)));
        records.clear();
        return fetchResult;
      default: return 1;
    }
  }

  int32_t width, height;
  std::vector<uint32_t> frame;
  std::vector<Call> calls;
  std::string identifyReply = "VTDRV 1.0";
  std::deque<int32_t> identifyResults;
  int32_t mapResult = 1;
  bool mapNullAddress = false;
  int mapped = 0;
  std::deque<std::pair<int32_t, uint32_t>> sizeReplies;
  std::vector<uint8_t> records;  // what the next fetch writes (then it is gone)
  int32_t fetchResult = 0;
};

class FakeEscapeChannel : public EscapeChannel {
 public:
  explicit FakeEscapeChannel(std::shared_ptr<FakeDriver> d) : driver(std::move(d)) {}
  int32_t escape(uint32_t code, int32_t inLength, const void* in, int32_t outLength, void* out) override {
    return driver->escape(code, inLength, in, outLength, out);
  }
  std::shared_ptr<FakeDriver> driver;
};

class FakeCalendar : public CalendarClock {
 public:
  int64_t seconds() override { return now; }
  int64_t now = 1000000;
};

// Builds a change-record list word by word.
class RecordList {
 public:
  RecordList& word(uint32_t w) {
    const size_t at = bytes.size();
    bytes.resize(at + 4);
    std::memcpy(bytes.data() + at, &w, 4);
    return *this;
  }
  // A record of `type` whose payload follows its header directly.
  RecordList& record(uint32_t type, const std::vector<uint8_t>& payload) {
    word(uint32_t(vtdrv::kRecordHeaderBytes + payload.size())).word(vtdrv::kRecordHeaderBytes).word(type);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return *this;
  }
  RecordList& rects(const std::vector<comsrc::Rect>& list) {
    RecordList p;
    p.word(0xDEADBEEF).word(0x0BADF00D).word(uint32_t(list.size()));
    for (const comsrc::Rect& r : list) p.word(uint32_t(r.left)).word(uint32_t(r.top)).word(uint32_t(r.right)).word(uint32_t(r.bottom));
    return record(vtdrv::kRecordChangedRects, p.bytes);
  }
  RecordList& end() { return word(0); }

  std::vector<uint8_t> bytes;
};

}  // namespace vltest

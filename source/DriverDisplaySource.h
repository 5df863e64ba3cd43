#pragma once

#include <cstdint>
#include <memory>

#include "comsrc/Rect.h"
#include "comsrc/Region.h"
#include "source/CalendarClock.h"
#include "source/FrameSource.h"

namespace comsrc {
class DIBitmap;
class RectList;
}  // namespace comsrc
class EscapeChannel;
class DisplayConnection;

// The external monitor: the virtual display driver keeps the display's image in a frame buffer
// it maps into this process and records which rectangles were drawn to. Each refresh fetches
// those records, reports them to the change list and copies the changed areas out of the
// mapping into the source's own 32-bit image. Everything goes through the escape channel,
// polled from the main thread.
class DriverDisplaySource : public FrameSource {
 public:
  // Size replies above this are taken as garbage, not as a reason to allocate.
  static constexpr uint32_t kMaxFetchBytes = 16u << 20;
  // Consecutive failed size queries that are tolerated before the context is reopened.
  static constexpr int32_t kMaxFailedPolls = 256;
  // Room for the rectangles of a region; more than fit make the whole frame be copied.
  static constexpr uint32_t kRegionDataBytes = 2048;

  // Reads the driver behind `driverDisplay` through `channel` and reports into `changeList`;
  // both must outlive the source. `displayRect` is the driver display's desktop rectangle; the
  // source keeps its size only.
  DriverDisplaySource(DisplayConnection& driverDisplay, comsrc::RectList& changeList, const comsrc::Rect& displayRect,
               std::unique_ptr<EscapeChannel> channel);
  // The same with the calendar clock replaced (tests).
  DriverDisplaySource(DisplayConnection& driverDisplay, comsrc::RectList& changeList, const comsrc::Rect& displayRect,
               std::unique_ptr<EscapeChannel> channel, CalendarClock& clock);
  ~DriverDisplaySource() override;
  DriverDisplaySource(const DriverDisplaySource&) = delete;
  DriverDisplaySource& operator=(const DriverDisplaySource&) = delete;

  // 1 when change records were fetched, 0 otherwise; negative only when the image cannot be made.
  int32_t refresh() override;
  comsrc::DIBitmap* bitmap() override { return image.get(); }

  // Copies the whole frame; 0.
  virtual int32_t copyAll();
  // Each handler gets its record's payload and the bytes of the fetched list from there on;
  // 0, or -1 when the payload runs past those bytes (the walk stops there).
  virtual int32_t handleType256(const uint8_t* payload, uint32_t available);
  virtual int32_t handleChangedRects(const uint8_t* payload, uint32_t available);
  virtual int32_t handleType16(const uint8_t* payload, uint32_t available);
  // 0 when the driver answers as itself, noScreenContext when something else answers,
  // unavailable when nothing answers even after reopening the context once. Up to `length` reply bytes go to `buffer`.
  virtual int32_t identify(void* buffer, int32_t length);
  virtual int32_t check() { return identify(nullptr, 0); }
  // The frame: (0, 0, width, height).
  virtual comsrc::Rect* sourceRect() { return &frameRect; }
  // Copies `region` from the frame buffer into the image and empties it. 0 (also when there is
  // nothing to copy); noImage without an image, mappingNotKept when the mapping cannot be kept,
  // frameNotMapped when the frame buffer is not mapped.
  virtual int32_t copyRegion(comsrc::Region& region);
  // Maps the frame buffer when it is not, keeps a mapping alive every 10 to 12 s and replaces a
  // stale one. >= 1 after a new mapping, 0 when nothing was due or a keep-alive was sent,
  // unavailable when mapping failed, noImage when a stale mapping could not be replaced.
  virtual int32_t keepMapped();
  virtual int32_t unmap();

  // Consecutive failed size queries so far.
  int32_t failedPollCount() const { return failedPolls; }
  const uint8_t* mappedFrame() const { return frameBuffer; }

 private:
  // identify's one question, without reopening.
  int32_t identifyOnce(void* buffer, int32_t length);
  int32_t send(uint32_t code, int32_t inLength, const void* in, int32_t outLength, void* out);
  int32_t fetchAndWalk(uint32_t size);
  void walkRecords(uint32_t size);
  int32_t mapFrame();
  comsrc::Rect clampToFrame(const comsrc::Rect& r) const;

  DisplayConnection* acquirer;
  comsrc::RectList* rectList;
  std::unique_ptr<EscapeChannel> channel;
  CalendarClock ownClock;  // the system's, unless a test hands in another
  CalendarClock* clock;
  int32_t startSent = 0;
  int32_t failedPolls = 0;
  std::unique_ptr<comsrc::DIBitmap> image;
  comsrc::Rect frameRect;
  comsrc::Region pending;
  comsrc::Region scratchRegion;  // one rectangle at a time, kept to spare an allocation per record
  uint32_t mapProcess = 0;
  const uint8_t* frameBuffer = nullptr;
  int64_t lastKeepAlive = 0;
  std::unique_ptr<uint8_t[]> fetchBuffer;  // grows, never shrinks
  uint32_t fetchCapacity = 0;
};

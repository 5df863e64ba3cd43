#include <gtest/gtest.h>

#include "SourceFakes.h"
#include "VtdrvFakes.h"
#include "comsrc/DIBitmap.h"
#include "comsrc/Region.h"
#include "source/CurrentProcess.h"
#include "source/DriverDisplaySource.h"

using comsrc::Rect;
using vltest::FakeAcquirer;
using vltest::FakeCalendar;
using vltest::FakeDriver;
using vltest::FakeEscapeChannel;
using vltest::RecordingList;
using vltest::RecordList;
namespace esc = vtdrv;

namespace {

struct Rig {
  Rig(int32_t w, int32_t h) : driver(std::make_shared<FakeDriver>(w, h)) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) driver->pixel(x, y) = uint32_t(y) << 16 | uint32_t(x);
    acquirer.open();
    // A desktop rectangle off the origin: the source keeps its size only.
    source = std::make_unique<DriverDisplaySource>(acquirer, list, Rect{100, 50, 100 + w, 50 + h},
                                            std::make_unique<FakeEscapeChannel>(driver), calendar);
  }
  // A refresh whose size query reports `records` and whose fetch returns them.
  int32_t refreshWith(const RecordList& records) {
    driver->queueSize(0, uint32_t(records.bytes.size()));
    driver->records = records.bytes;
    return source->refresh();
  }
  uint32_t image(int32_t x, int32_t y) { return vltest::pixelAt(*source->bitmap(), x, y); }
  bool imageMatchesFrame() {
    for (int32_t y = 0; y < driver->height; ++y)
      for (int32_t x = 0; x < driver->width; ++x)
        if (image(x, y) != driver->pixel(x, y)) return false;
    return true;
  }
  void scribble() {
    for (uint32_t& p : driver->frame) p ^= 0x00FF0000;
  }

  std::shared_ptr<FakeDriver> driver;
  FakeAcquirer acquirer;
  RecordingList list;
  FakeCalendar calendar;
  std::unique_ptr<DriverDisplaySource> source;
};

}  // namespace

TEST(DriverDisplaySource, FirstRefreshesStartMapAndCopyTheWholeFrame) {
  Rig rig(64, 32);
  EXPECT_EQ(*rig.source->sourceRect(), (Rect{0, 0, 64, 32}));
  EXPECT_EQ(rig.source->bitmap(), nullptr);

  // Nothing pending at the driver: the image is made and the frame mapped, not yet copied.
  EXPECT_EQ(rig.source->refresh(), 0);
  ASSERT_NE(rig.source->bitmap(), nullptr);
  EXPECT_EQ(rig.source->bitmap()->getWidth(), 64);
  EXPECT_EQ(rig.driver->count(esc::kEscStart), 1);
  ASSERT_EQ(rig.driver->count(esc::kEscMapFrame), 1);
  const FakeDriver::Call* map = rig.driver->last(esc::kEscMapFrame);
  ASSERT_EQ(map->inLength, 8);
  uint32_t words[2];
  std::memcpy(words, map->in.data(), 8);
  EXPECT_EQ(words[0], currentProcessHandle());
  EXPECT_EQ(words[1], 0u);
  EXPECT_EQ(map->outLength, int32_t(sizeof(void*)));
  EXPECT_EQ(rig.source->mappedFrame(), reinterpret_cast<const uint8_t*>(rig.driver->frame.data()));
  EXPECT_FALSE(rig.imageMatchesFrame());

  // 100 bytes announced, an empty list fetched: a 0x4000-byte fetch, result 1, the whole frame
  // copied and nothing reported for it.
  RecordList empty;
  empty.end();
  rig.driver->queueSize(0, 100);
  rig.driver->records = empty.bytes;
  EXPECT_EQ(rig.source->refresh(), 1);
  const FakeDriver::Call* fetch = rig.driver->last(esc::kEscChangesFetch);
  ASSERT_NE(fetch, nullptr);
  EXPECT_EQ(fetch->outLength, 0x4000);
  EXPECT_EQ(fetch->inLength, 4);
  EXPECT_TRUE(fetch->inNull);
  EXPECT_TRUE(rig.imageMatchesFrame());
  EXPECT_TRUE(rig.list.added.empty());
  EXPECT_EQ(rig.driver->count(esc::kEscStart), 1);
  EXPECT_EQ(rig.driver->count(esc::kEscMapFrame), 1);

  // A large list gets a buffer of its size; a size beyond reason is refused without a fetch.
  rig.driver->queueSize(0, 0x5004);
  EXPECT_EQ(rig.source->refresh(), 1);
  EXPECT_EQ(rig.driver->last(esc::kEscChangesFetch)->outLength, 0x5004);
  const int fetches = rig.driver->count(esc::kEscChangesFetch);
  rig.driver->queueSize(0, DriverDisplaySource::kMaxFetchBytes + 1);
  EXPECT_EQ(rig.source->refresh(), 0);
  EXPECT_EQ(rig.driver->count(esc::kEscChangesFetch), fetches);
  // A failed fetch drops the round: result 0.
  rig.driver->fetchResult = -1;
  rig.driver->queueSize(0, 100);
  EXPECT_EQ(rig.source->refresh(), 0);

  // Destruction gives the mapping back.
  rig.source.reset();
  EXPECT_EQ(rig.driver->count(esc::kEscUnmapFrame), 1);
  EXPECT_EQ(rig.driver->mapped, 0);
}

TEST(DriverDisplaySource, RecordsAreReportedClampedAndCopiedInPixelPairs) {
  Rig rig(640, 480);
  ASSERT_EQ(rig.refreshWith(RecordList().end()), 1);
  ASSERT_TRUE(rig.imageMatchesFrame());
  rig.scribble();

  // An unknown type is skipped by its length; 16 and 256 are handled as nothing.
  RecordList records;
  records.record(99, std::vector<uint8_t>(20, 0xFF))
      .record(esc::kRecordType16, std::vector<uint8_t>(8, 0))
      .rects({{-5, -5, 700, 500}})
      .record(esc::kRecordType256, std::vector<uint8_t>(4, 0))
      .end();
  EXPECT_EQ(rig.refreshWith(records), 1);
  ASSERT_EQ(rig.list.added.size(), 1u);
  EXPECT_EQ(rig.list.added[0], (Rect{0, 0, 640, 480}));
  EXPECT_TRUE(rig.imageMatchesFrame());

  // Odd edges widen to whole pairs: (3, 2, 5, 4) copies columns 2 to 5, no more.
  rig.list.added.clear();
  rig.scribble();
  EXPECT_EQ(rig.refreshWith(RecordList().rects({{3, 2, 5, 4}}).end()), 1);
  EXPECT_EQ(rig.list.added, (std::vector<Rect>{{3, 2, 5, 4}}));
  for (int32_t y = 1; y <= 4; ++y)
    for (int32_t x = 1; x <= 6; ++x) {
      const bool copied = y >= 2 && y < 4 && x >= 2 && x < 6;
      EXPECT_EQ(rig.image(x, y) == rig.driver->pixel(x, y), copied) << x << "," << y;
    }

  // A fetch that writes nothing does not bring back the previous round's records.
  rig.list.added.clear();
  rig.driver->queueSize(0, 100);
  EXPECT_EQ(rig.source->refresh(), 1);
  EXPECT_TRUE(rig.list.added.empty());
  // A list whose first length word is 0 handles nothing and still counts as fetched.
  EXPECT_EQ(rig.refreshWith(RecordList().end().rects({{0, 0, 8, 8}})), 1);
  EXPECT_TRUE(rig.list.added.empty());
}

TEST(DriverDisplaySource, BrokenRecordListsEndTheWalkKeepingWhatCameBefore) {
  const Rect good{16, 16, 32, 32};
  const uint32_t fetched = esc::kMinFetchBytes;
  struct Case {
    const char* name;
    RecordList tail;  // follows a sound record reporting `good`
  };
  std::vector<Case> cases;
  // Each broken record is followed by bytes that a walk going on would take for `never`.
  const Rect never{48, 48, 64, 64};
  cases.push_back({"length below the header", RecordList().word(8).word(12).rects({never}).end()});
  cases.push_back({"length past the end",
                   RecordList().word(fetched).word(12).word(127).word(0).word(0).word(1).word(48).word(48).word(64).word(64)});
  cases.push_back({"payload offset past the end", RecordList().word(100).word(fetched).word(127).end()});
  {
    RecordList count;
    count.word(44).word(12).word(127).word(0).word(0).word(0x10000000);
    count.word(48).word(48).word(64).word(64).end();
    cases.push_back({"rectangle count past the end", count});
  }
  {
    // Records that fill the buffer exactly with no zero length; the last one would report
    // another rectangle if its count were believed.
    RecordList full;
    const uint32_t used = 12 + 12 + 16, last = 64;
    const uint32_t filler = fetched - used - last;
    full.word(filler).word(12).word(77);
    full.bytes.resize(filler, 0);
    full.word(last).word(12).word(127).word(0).word(0).word(1000);
    full.word(48).word(48).word(64).word(64);
    full.bytes.resize(filler + last, 0);
    cases.push_back({"no terminating zero", full});
  }
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(128, 128);
    RecordList list;
    list.rects({good});
    list.bytes.insert(list.bytes.end(), c.tail.bytes.begin(), c.tail.bytes.end());
    ASSERT_LE(list.bytes.size(), fetched);
    rig.driver->queueSize(0, 100);  // 0x4000 fetched
    rig.driver->records = list.bytes;
    EXPECT_EQ(rig.source->refresh(), 1);
    EXPECT_EQ(rig.list.added, (std::vector<Rect>{good}));
    EXPECT_TRUE(rig.imageMatchesFrame());
  }
}

TEST(DriverDisplaySource, FailedSizeQueriesReopenTheContextAfter256) {
  Rig rig(32, 32);
  const int opens = rig.acquirer.opens;
  for (int i = 0; i < 256; ++i) rig.driver->queueSize(-1, 0);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(rig.source->refresh(), 0);
  EXPECT_EQ(rig.acquirer.opens, opens);
  EXPECT_EQ(rig.source->failedPollCount(), 256);
  rig.driver->queueSize(1, 0);  // any result but 0 is a failure
  EXPECT_EQ(rig.source->refresh(), 0);
  EXPECT_EQ(rig.acquirer.opens, opens + 1);
  EXPECT_EQ(rig.source->failedPollCount(), 0);
  EXPECT_EQ(rig.driver->count(esc::kEscChangesFetch), 0);

  // A successful query of size 0 leaves the count; one with records resets it.
  for (int i = 0; i < 100; ++i) rig.driver->queueSize(-1, 0);
  for (int i = 0; i < 100; ++i) rig.source->refresh();
  rig.driver->queueSize(0, 0);
  rig.source->refresh();
  EXPECT_EQ(rig.source->failedPollCount(), 100);
  EXPECT_EQ(rig.refreshWith(RecordList().end()), 1);
  EXPECT_EQ(rig.source->failedPollCount(), 0);
  EXPECT_EQ(rig.acquirer.opens, opens + 1);
}

TEST(DriverDisplaySource, MappingIsKeptAliveAndAStaleOneReplaced) {
  Rig rig(32, 16);
  ASSERT_EQ(rig.refreshWith(RecordList().end()), 1);
  const int64_t mappedAt = rig.calendar.now;
  ASSERT_EQ(rig.driver->count(esc::kEscMapFrame), 1);

  rig.calendar.now = mappedAt - 5;  // a clock set back is not a reason for anything
  EXPECT_EQ(rig.source->keepMapped(), 0);
  rig.calendar.now = mappedAt + 9;
  EXPECT_EQ(rig.source->keepMapped(), 0);
  EXPECT_EQ(rig.driver->count(esc::kEscKeepAlive), 0);
  rig.calendar.now = mappedAt + 11;
  EXPECT_EQ(rig.source->keepMapped(), 0);
  EXPECT_EQ(rig.driver->count(esc::kEscKeepAlive), 1);
  rig.calendar.now = mappedAt + 11 + 12;
  EXPECT_EQ(rig.source->keepMapped(), 0);
  EXPECT_EQ(rig.driver->count(esc::kEscKeepAlive), 2);

  // 13 s since the last keep-alive: the mapping is given back and made anew in the same call.
  rig.calendar.now += 13;
  rig.driver->mapResult = 7;
  EXPECT_EQ(rig.source->keepMapped(), 7);
  EXPECT_EQ(rig.driver->count(esc::kEscKeepAlive), 2);
  const FakeDriver::Call* unmap = rig.driver->last(esc::kEscUnmapFrame);
  ASSERT_NE(unmap, nullptr);
  ASSERT_EQ(unmap->inLength, esc::kUnmapFrameInBytes);
  uint32_t handle;
  const uint8_t* address;
  std::memcpy(&handle, unmap->in.data(), 4);
  std::memcpy(&address, unmap->in.data() + 4, sizeof address);
  EXPECT_EQ(handle, currentProcessHandle());
  EXPECT_EQ(address, reinterpret_cast<const uint8_t*>(rig.driver->frame.data()));
  EXPECT_EQ(rig.driver->count(esc::kEscMapFrame), 2);
  EXPECT_EQ(rig.driver->mapped, 1);

  // Stale again and the driver refuses a new mapping: noImage, then unavailable while it keeps
  // refusing; the changes meanwhile wait in the pending area and are copied once a mapping is made.
  rig.calendar.now += 13;
  rig.driver->mapResult = 0;
  EXPECT_EQ(rig.source->keepMapped(), failure(SourceFailure::noImage));
  EXPECT_EQ(rig.source->keepMapped(), failure(SourceFailure::unavailable));
  rig.scribble();
  rig.list.added.clear();
  EXPECT_EQ(rig.refreshWith(RecordList().rects({{0, 0, 8, 8}}).end()), 1);
  EXPECT_EQ(rig.list.added, (std::vector<Rect>{{0, 0, 8, 8}}));
  EXPECT_NE(rig.image(0, 0), rig.driver->pixel(0, 0));
  rig.driver->mapResult = 1;
  EXPECT_EQ(rig.refreshWith(RecordList().rects({{8, 8, 10, 10}}).end()), 1);
  EXPECT_EQ(rig.image(0, 0), rig.driver->pixel(0, 0));
  EXPECT_EQ(rig.image(7, 7), rig.driver->pixel(7, 7));
  EXPECT_EQ(rig.image(9, 9), rig.driver->pixel(9, 9));
  EXPECT_NE(rig.image(12, 12), rig.driver->pixel(12, 12));

  // A success that names no address is no mapping.
  rig.source->unmap();
  rig.driver->mapNullAddress = true;
  EXPECT_EQ(rig.source->keepMapped(), failure(SourceFailure::unavailable));
  EXPECT_EQ(rig.source->mappedFrame(), nullptr);
}

TEST(DriverDisplaySource, CopyRegionResults) {
  Rig rig(32, 16);
  comsrc::Region region;
  region.setRect(Rect{0, 0, 4, 4});
  EXPECT_EQ(rig.source->copyRegion(region), failure(SourceFailure::noImage));  // no image yet

  rig.driver->mapResult = 0;
  ASSERT_EQ(rig.source->refresh(), 0);
  EXPECT_EQ(rig.source->copyRegion(region), failure(SourceFailure::mappingNotKept));
  EXPECT_FALSE(region.isEmpty());

  rig.driver->mapResult = 1;
  comsrc::Region nothing;
  EXPECT_EQ(rig.source->copyRegion(nothing), 0);
  EXPECT_EQ(rig.driver->count(esc::kEscMapFrame), 2);  // both failed attempts, none for nothing
  EXPECT_EQ(rig.source->copyRegion(region), 0);
  EXPECT_TRUE(region.isEmpty());
  EXPECT_EQ(rig.image(3, 3), rig.driver->pixel(3, 3));
  EXPECT_NE(rig.image(4, 4), rig.driver->pixel(4, 4));

  // More rectangles than fit are copied as the whole frame.
  comsrc::Region many;
  for (int32_t i = 0; i < 16; ++i)
    for (int32_t j = 0; j < 10; ++j) many.uniteRect(Rect{2 * i + (j & 1), j, 2 * i + (j & 1) + 1, j + 1});
  std::vector<uint8_t> data(32 + 16 * 200);
  ASSERT_GT(many.rectangles(data.data(), uint32_t(data.size())), 126);
  EXPECT_EQ(rig.source->copyRegion(many), 0);
  EXPECT_TRUE(rig.imageMatchesFrame());
  rig.scribble();
  EXPECT_EQ(rig.source->copyAll(), 0);
  EXPECT_TRUE(rig.imageMatchesFrame());
}

TEST(DriverDisplaySource, IdentifyRetriesOnceAfterReopening) {
  Rig rig(16, 16);
  char reply[4] = {};
  EXPECT_EQ(rig.source->identify(reply, sizeof reply), 0);
  EXPECT_EQ(std::string(reply, 4), "VTDR");
  EXPECT_EQ(rig.driver->last(esc::kEscIdentify)->outLength, 128);
  EXPECT_EQ(rig.source->check(), 0);

  const int opens = rig.acquirer.opens;
  const int calls = rig.driver->count(esc::kEscIdentify);
  rig.driver->identifyReply = "OTHERDRV";
  EXPECT_EQ(rig.source->check(), failure(SourceFailure::noScreenContext));
  EXPECT_EQ(rig.driver->count(esc::kEscIdentify), calls + 1);
  EXPECT_EQ(rig.acquirer.opens, opens);

  rig.driver->identifyReply = "VTDRV";
  rig.driver->identifyResults = {0, -1};
  EXPECT_EQ(rig.source->check(), failure(SourceFailure::unavailable));
  EXPECT_EQ(rig.driver->count(esc::kEscIdentify), calls + 3);
  EXPECT_EQ(rig.acquirer.opens, opens + 1);

  // More than 32 reply bytes is no answer; the retry after reopening answers.
  rig.driver->identifyResults = {33};
  EXPECT_EQ(rig.source->check(), 0);
  EXPECT_EQ(rig.acquirer.opens, opens + 2);
}

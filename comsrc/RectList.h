#pragma once

#include <cstdint>

#include "comsrc/Rect.h"

namespace comsrc {

// The list of changed rectangles between the screen sources and the frame pipeline.
// `add` keeps entries free of overlaps, aligned to a 16-pixel grid; more than 256 entries
// collapse into their bounding box. Entries live in chunks of 1024 that never move.
class RectList {
 public:
  static constexpr uint32_t kChunkEntries = 1024;

  RectList();
  virtual ~RectList();
  RectList(const RectList&) = delete;
  RectList& operator=(const RectList&) = delete;

  virtual int32_t append(const Rect& rect);
  virtual int32_t add(const Rect& rect);
  virtual int32_t removeAt(uint32_t index);
  virtual int32_t clearAt(uint32_t index);
  virtual int32_t mergeRepeatedly(uint32_t times);
  virtual int32_t mergeOnce();
  virtual int32_t splitToTiles(uint32_t size);
  virtual int32_t compact();
  virtual int32_t collapseToBounds();
  virtual int32_t clear();
  virtual int32_t intersects(const Rect& rect) const;
  virtual int32_t scrollCopy(const Rect& clip, int32_t dx, int32_t dy);
  virtual void acceptAppended();
  virtual Rect* at(uint32_t index);
  virtual const Rect* bounds() const;
  virtual uint32_t count() const;

 protected:
  struct Chunk;
  virtual int32_t reserveOne();
  virtual Chunk* newChunk();
  virtual void align(Rect* rect) const;

  Chunk* head = nullptr;
  Chunk* tail = nullptr;
  // One chunk kept by clear for the next store: the list is cleared every frame, and a frame
  // should not cost an allocation.
  Chunk* spare = nullptr;
  Rect boundsRect;
  uint32_t entryCount = 0;
  int32_t unmerged = 0;
  uint32_t limit = 256;
  int32_t granularity = 16;

 private:
  int32_t addCut(const Rect& rect, int depth);
  Chunk* locate(uint32_t index, uint32_t* offset) const;
};

}  // namespace comsrc

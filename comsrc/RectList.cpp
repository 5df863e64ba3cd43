#include "comsrc/RectList.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>

namespace comsrc {

// The next chunk, 1024 entries, the number of them in use: 16392 bytes on the 32-bit build.
struct RectList::Chunk {
  Chunk* next = nullptr;
  Rect rects[kChunkEntries];
  uint32_t used = 0;
};

namespace {

constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();

// A cut that keeps failing to make progress (only possible when entries were written
// off-grid through `at`) is stored whole instead of recursing further.
constexpr int kMaxCutDepth = 512;

int32_t saturate(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, kInt32Min, kInt32Max)); }

void widen(Rect& bounds, const Rect& r) {
  bounds.left = std::min(bounds.left, r.left);
  bounds.top = std::min(bounds.top, r.top);
  bounds.right = std::max(bounds.right, r.right);
  bounds.bottom = std::max(bounds.bottom, r.bottom);
}

}  // namespace

RectList::RectList() = default;

RectList::~RectList() {
  clear();
  delete spare;
}

RectList::Chunk* RectList::newChunk() {
  static_assert(sizeof(void*) != 4 || sizeof(Chunk) == 16392, "one chunk is one 16392-byte allocation");
  return new (std::nothrow) Chunk();
}

int32_t RectList::reserveOne() {
  Chunk* prev = nullptr;
  for (Chunk* c = head; c != nullptr;) {
    Chunk* next = c->next;
    if (c->used == 0 && next != nullptr) {
      (prev ? prev->next : head) = next;
      delete c;
    } else {
      prev = c;
    }
    c = next;
  }
  tail = prev;
  if (head == nullptr) {
    Chunk* c = spare ? spare : newChunk();
    if (c == nullptr) return -1;
    spare = nullptr;
    head = tail = c;
  } else if (tail->used == kChunkEntries) {
    Chunk* c = newChunk();
    if (c == nullptr) return -1;
    tail->next = c;
    tail = c;
  }
  return 0;
}

void RectList::align(Rect* rect) const {
  const int32_t g = granularity;
  if (g < 2) return;
  // Left and top move toward zero; right and bottom move up past the last pixel. Computed
  // wide so that edges near the 32-bit limits saturate instead of overflowing.
  rect->left -= rect->left % g;
  rect->top -= rect->top % g;
  const int64_t r = rect->right, b = rect->bottom;
  rect->right = saturate(r - (r - 1) % g + g - 1);
  rect->bottom = saturate(b - (b - 1) % g + g - 1);
}

int32_t RectList::append(const Rect& rect) {
  if (reserveOne() < 0) return -1;
  Rect r = rect;
  align(&r);
  tail->rects[tail->used++] = r;
  ++entryCount;
  ++unmerged;
  if (entryCount == 1) {
    boundsRect = r;
  } else if (!r.isEmpty()) {
    // An empty entry covers no pixel, so it does not widen the box.
    if (boundsRect.isEmpty())
      boundsRect = r;
    else
      widen(boundsRect, r);
  }
  return 0;
}

int32_t RectList::add(const Rect& rect) { return addCut(rect, 0); }

int32_t RectList::addCut(const Rect& rect, int depth) {
  if (rect.isEmpty()) return 0;
  // No pixel lies at a negative coordinate, and the grid must not round past the 32-bit
  // range. Cutting first keeps every aligned piece inside the rectangle it was cut from, so the
  // cutting below always makes progress.
  const int32_t top = granularity < 2 ? kInt32Max : kInt32Max - kInt32Max % granularity;
  Rect r{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, top), std::min(rect.bottom, top)};
  if (r.isEmpty()) return 0;
  if (entryCount > limit) collapseToBounds();
  align(&r);

  Rect overlap;
  bool partial = false;
  for (Chunk* c = head; c != nullptr && !partial; c = c->next) {
    for (uint32_t k = 0; k < c->used; ++k) {
      Rect& e = c->rects[k];
      if (e.isEmpty() || !intersectRect(overlap, r, e)) continue;
      if (overlap == r) return 0;
      if (overlap == e) {
        e = Rect{};
        continue;
      }
      partial = true;
      break;
    }
  }

  if (!partial || depth >= kMaxCutDepth) {
    --unmerged;
    const int32_t result = append(r);
    if (result < 0) ++unmerged;
    return result;
  }

  const Rect pieces[4] = {
      {r.left, r.top, r.right, overlap.top},
      {overlap.right, r.top, r.right, r.bottom},
      {r.left, overlap.bottom, r.right, r.bottom},
      {r.left, r.top, overlap.left, r.bottom},
  };
  for (const Rect& piece : pieces)
    if (addCut(piece, depth + 1) < 0) return -1;
  return 0;
}

RectList::Chunk* RectList::locate(uint32_t index, uint32_t* offset) const {
  if (index >= entryCount) return nullptr;
  for (Chunk* c = head; c != nullptr; c = c->next) {
    if (index < c->used) {
      *offset = index;
      return c;
    }
    index -= c->used;
  }
  return nullptr;
}

int32_t RectList::removeAt(uint32_t index) {
  uint32_t k = 0;
  Chunk* c = locate(index, &k);
  if (c == nullptr) return -1;
  std::copy(c->rects + k + 1, c->rects + c->used, c->rects + k);
  --c->used;
  c->rects[c->used] = Rect{};
  --entryCount;
  return 0;
}

int32_t RectList::clearAt(uint32_t index) {
  uint32_t k = 0;
  Chunk* c = locate(index, &k);
  if (c == nullptr) return -1;
  c->rects[k] = Rect{};
  return 0;
}

int32_t RectList::mergeRepeatedly(uint32_t times) {
  int32_t result = 0;
  for (uint32_t n = 0; times == UINT32_MAX || n < times; ++n) {
    result = mergeOnce();
    if (result <= 0) break;
  }
  return result;
}

int32_t RectList::mergeOnce() {
  if (unmerged != 0) return -1;
  for (Chunk* ci = head; ci != nullptr; ci = ci->next) {
    for (uint32_t ki = 0; ki < ci->used; ++ki) {
      Rect& a = ci->rects[ki];
      // Empty entries have no neighbours; joining two of them would invent a changed area.
      if (a.isEmpty()) continue;
      Chunk* cj = ci;
      uint32_t kj = ki + 1;
      for (;;) {
        if (kj >= cj->used) {
          cj = cj->next;
          kj = 0;
          if (cj == nullptr) break;
          continue;
        }
        Rect& b = cj->rects[kj++];
        if (b.isEmpty()) continue;
        Rect merged;
        if (a.top == b.top && a.bottom == b.bottom && (a.left == b.right || a.right == b.left)) {
          merged = {std::min(a.left, b.left), a.top, std::max(a.right, b.right), a.bottom};
        } else if (a.left == b.left && a.right == b.right && (a.top == b.bottom || b.top == a.bottom)) {
          merged = {a.left, std::min(a.top, b.top), a.right, std::max(a.bottom, b.bottom)};
        } else {
          continue;
        }
        // Store the merged rectangle before emptying the pair, so that running out of memory
        // loses nothing.
        --unmerged;
        if (append(merged) < 0) {
          ++unmerged;
          return -1;
        }
        a = Rect{};
        b = Rect{};
        compact();
        return 1;
      }
    }
  }
  compact();
  return 0;
}

int32_t RectList::splitToTiles(uint32_t size) {
  if (size == 0) return -1;
  if (mergeRepeatedly(UINT32_MAX) < 0) return -1;
  // Tiles on the list's own grid stay the size they were cut to once stored.
  int64_t s = size;
  if (granularity >= 2) s = (s + granularity - 1) / granularity * granularity;
  // Tiles appended here are never larger than the tile size, so the walk stops at the
  // entries that were there before.
  const uint32_t n = entryCount;
  for (uint32_t i = 0; i < n; ++i) {
    const Rect e = *at(i);
    const int64_t w = int64_t{e.right} - e.left, h = int64_t{e.bottom} - e.top;
    if (s >= w && s >= h) continue;
    for (int64_t y = 0; y < h; y += s) {
      for (int64_t x = 0; x < w; x += s) {
        const Rect tile{saturate(e.left + x), saturate(e.top + y), saturate(e.left + std::min(x + s, w)),
                        saturate(e.top + std::min(y + s, h))};
        --unmerged;
        if (append(tile) < 0) {
          ++unmerged;
          return -1;
        }
      }
    }
    clearAt(i);
  }
  compact();
  return 0;
}

int32_t RectList::compact() {
  for (Chunk* c = head; c != nullptr; c = c->next) {
    uint32_t kept = 0;
    for (uint32_t k = 0; k < c->used; ++k)
      if (!c->rects[k].isEmpty()) c->rects[kept++] = c->rects[k];
    std::fill(c->rects + kept, c->rects + c->used, Rect{});
    entryCount -= c->used - kept;
    c->used = kept;
  }
  return 0;
}

int32_t RectList::collapseToBounds() {
  const Rect box = boundsRect;
  for (Chunk* c = head; c != nullptr; c = c->next) std::fill(c->rects, c->rects + c->used, Rect{});
  compact();
  add(box);
  return 0;
}

int32_t RectList::clear() {
  while (head != nullptr) {
    Chunk* next = head->next;
    if (spare == nullptr) {
      head->next = nullptr;
      head->used = 0;
      spare = head;
    } else {
      delete head;
    }
    head = next;
  }
  tail = nullptr;
  entryCount = 0;
  unmerged = 0;
  boundsRect = Rect{};
  return 0;
}

int32_t RectList::intersects(const Rect& rect) const {
  for (const Chunk* c = head; c != nullptr; c = c->next) {
    for (uint32_t k = 0; k < c->used; ++k) {
      const Rect& e = c->rects[k];
      if (std::min(e.right, rect.right) > std::max(e.left, rect.left) &&
          std::min(e.bottom, rect.bottom) > std::max(e.top, rect.top))
        return 1;
    }
  }
  return 0;
}

int32_t RectList::scrollCopy(const Rect& clip, int32_t dx, int32_t dy) {
  for (uint32_t i = 0; i < entryCount; ++i) {
    Rect part;
    if (!intersectRect(part, *at(i), clip)) continue;
    const Rect moved{saturate(int64_t{part.left} + dx), saturate(int64_t{part.top} + dy),
                     saturate(int64_t{part.right} + dx), saturate(int64_t{part.bottom} + dy)};
    if (add(moved) < 0) return -1;
  }
  return 0;
}

void RectList::acceptAppended() { unmerged = 0; }

Rect* RectList::at(uint32_t index) {
  uint32_t k = 0;
  Chunk* c = locate(index, &k);
  return c ? &c->rects[k] : nullptr;
}

const Rect* RectList::bounds() const { return &boundsRect; }

uint32_t RectList::count() const { return entryCount; }

}  // namespace comsrc

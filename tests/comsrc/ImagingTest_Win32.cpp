// The GDI-bound bitmaps and their drawing context, run under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>

#include "comsrc/DIBitmap.h"
#include "comsrc/DIBitmap_Win32.h"
#include "comsrc/DrawingContext_GDIBitmap_Win32.h"
#include "comsrc/GDIBitmap_Win32.h"

using comsrc::CompatBitmap;
using comsrc::DIBitmap;
using comsrc::DIBitmap_Win32;
using comsrc::DrawingContext;
using comsrc::DrawingContext_GDIBitmap;

namespace {

uint32_t pixel32(DIBitmap& b, int32_t x, int32_t y) {
  uint32_t v;
  std::memcpy(&v, b.getPixels() + ptrdiff_t{y} * b.getStride() + 4 * x, 4);
  return v;
}

void setPixel32(DIBitmap& b, int32_t x, int32_t y, uint32_t v) {
  std::memcpy(b.getPixels() + ptrdiff_t{y} * b.getStride() + 4 * x, &v, 4);
}

// Fills through GDI, so the test sees where GDI put the pixels.
void gdiFill(DIBitmap_Win32& b, int32_t x, int32_t y, int32_t w, int32_t h, COLORREF colour) {
  DrawingContext* c = b.lockContext();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->fillRect(x, y, w, h, colour), 0);
  GdiFlush();
  b.unlockContext(c);
}

}  // namespace

TEST(DIBitmapWin32, BottomUpSectionWithTopRowPointer) {
  DIBitmap_Win32 b;
  EXPECT_EQ(b.getKind(), 0x101);
  EXPECT_EQ(b.lockPixels(), nullptr);
  EXPECT_EQ(b.lockContext(), nullptr);
  ASSERT_EQ(b.createWithDepth(401, 240, 32), 0);
  EXPECT_EQ(b.getWidth(), 401);
  EXPECT_EQ(b.getHeight(), 240);
  EXPECT_EQ(b.getStride(), -1632);
  EXPECT_EQ(b.getBitsPerPixel(), 32);
  PixelFormat standard;
  buildStandardFormat(standard, 32);
  EXPECT_EQ(*b.getFormat(), standard);

  gdiFill(b, 0, 0, 1, 1, RGB(0xFF, 0x20, 0x10));
  gdiFill(b, 400, 239, 1, 1, RGB(1, 2, 3));
  uint8_t* top = b.lockPixels();
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top[0], 0x10);  // blue, green, red
  EXPECT_EQ(top[1], 0x20);
  EXPECT_EQ(top[2], 0xFF);
  EXPECT_EQ(pixel32(b, 400, 239) & 0xFFFFFF, 0x010203u);
  // Walking by the stride from the top row reaches the bottom row.
  const uint8_t* row = top;
  for (int i = 0; i < 239; ++i) row += b.getStride();
  EXPECT_EQ(row[400 * 4 + 2], 1);
  b.unlockPixels();

  EXPECT_EQ(b.createWithDepth(8, 8, 32), -100);
  EXPECT_EQ(b.create(8, 8), -100);
}

TEST(DIBitmapWin32, CreationRules) {
  DIBitmap_Win32 zero;
  EXPECT_EQ(zero.createWithDepth(0, 10, 32), -10);
  EXPECT_EQ(zero.createWithDepth(10, -1, 32), -10);
  EXPECT_EQ(zero.createWithDepth(10, 10, 0), -10);

  DIBitmap_Win32 deep24;
  EXPECT_EQ(deep24.createWithDepth(10, 10, 24), 0);  // a section, though not a described format
  EXPECT_EQ(deep24.getStride(), -48);
  PixelFormat f24;
  buildStandardFormat(f24, 24);
  DIBitmap_Win32 byFormat24;
  EXPECT_EQ(byFormat24.createWithFormat(10, 10, f24), -1);
  PixelFormat f32;
  buildStandardFormat(f32, 32);
  DIBitmap_Win32 byFormat32;
  EXPECT_EQ(byFormat32.createWithFormat(10, 10, f32), 0);
  PixelFormat out = f24;
  EXPECT_EQ(byFormat32.describeFormat(out, 16), -1);
  EXPECT_EQ(out, f24);

  DIBitmap_Win32 tiny;
  EXPECT_EQ(tiny.createWithDepth(10, 10, 1), -1);
  DIBitmap_Win32 broken;
  uint8_t shortBlock[20] = {};
  EXPECT_EQ(broken.createFromInfo(shortBlock, sizeof shortBlock), -1);
  EXPECT_EQ(broken.createFromInfo(nullptr, 44), -1);

  // A top-down block is addressed top-down.
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  h.biWidth = 4;
  h.biHeight = -3;
  h.biPlanes = 1;
  h.biBitCount = 32;
  DIBitmap_Win32 topDown;
  ASSERT_EQ(topDown.createFromInfo(&h, sizeof h), 0);
  EXPECT_EQ(topDown.getHeight(), 3);
  EXPECT_EQ(topDown.getStride(), 16);
}

TEST(DIBitmapWin32, LocksAreIndependentAndGuarded) {
  DIBitmap_Win32 a, b;
  ASSERT_EQ(a.create(16, 16), 0);
  ASSERT_EQ(b.create(16, 16), 0);
  ASSERT_NE(a.lockPixels(), nullptr);
  EXPECT_EQ(a.lockContext(), nullptr);
  EXPECT_EQ(a.lockPixels(), nullptr);
  EXPECT_EQ(a.clear(), 0);  // clear ignores the locks
  EXPECT_EQ(pixel32(a, 3, 3), 0u);
  EXPECT_EQ(a.unlockPixels(), 0);
  EXPECT_EQ(a.unlockPixels(), -1);

  DrawingContext* ca = a.lockContext();
  DrawingContext* cb = b.lockContext();
  ASSERT_NE(ca, nullptr);
  ASSERT_NE(cb, nullptr);
  EXPECT_EQ(ca->getType(), 0x100);
  EXPECT_NE(a.lockPixels(), nullptr);  // the pixel lock ignores the context lock
  a.unlockPixels();
  EXPECT_EQ(a.unlockContext(cb), -1);
  EXPECT_EQ(a.lockContext(), nullptr);  // still lent out
  EXPECT_EQ(a.unlockContext(ca), 0);
  EXPECT_EQ(b.unlockContext(cb), 0);
}

TEST(CompatBitmapWin32, NeedsAReferenceAndCanBeReplaced) {
  CompatBitmap c;
  EXPECT_EQ(c.getKind(), 1);
  EXPECT_EQ(c.getWidth(), GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(c.getHeight(), GetSystemMetrics(SM_CYSCREEN));
  EXPECT_EQ(c.create(10, 10), -1);
  EXPECT_EQ(c.lockContext(), nullptr);

  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  ASSERT_NE(screen, nullptr);
  ASSERT_EQ(c.createCompatible(screen, 64, 32), 0);
  HBITMAP first = c.getHandle();
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(c.getWidth(), 64);
  DrawingContext* ctx = c.lockContext();
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(ctx->getType(), 0x100);
  EXPECT_EQ(ctx->readPixels(nullptr, 0, nullptr, 0, 0, 1, 1), -1);
  EXPECT_EQ(c.unlockContext(ctx), 0);
  EXPECT_EQ(c.lockContext(), ctx);  // no lock flag
  EXPECT_EQ(c.unlockContext(nullptr), -1);

  ASSERT_EQ(c.createCompatible(screen, 16, 8), 0);
  EXPECT_EQ(c.getHeight(), 8);
  EXPECT_EQ(GetObjectType(first), 0u);  // the old bitmap was deleted
  BITMAP info{};
  ASSERT_NE(GetObject(c.getHandle(), sizeof info, &info), 0);
  EXPECT_EQ(info.bmWidth, 16);

  // What is drawn into it comes back out through a section.
  ctx = c.lockContext();
  ctx->fillRect(0, 0, 16, 8, RGB(10, 20, 30));
  DIBitmap_Win32 out;
  ASSERT_EQ(out.create(16, 8), 0);
  DrawingContext* o = out.lockContext();
  EXPECT_EQ(o->blit(0, 0, 16, 8, ctx, 0, 0), 0);
  GdiFlush();
  out.unlockContext(o);
  c.unlockContext(ctx);
  EXPECT_EQ(pixel32(out, 15, 7) & 0xFFFFFF, 0x0A141Eu);
  DeleteDC(screen);
}

TEST(DrawingContextGDI, BlitsBetweenSectionsAndClipsAtTheEdges) {
  DIBitmap_Win32 from, to;
  ASSERT_EQ(from.create(10, 10), 0);
  ASSERT_EQ(to.create(10, 10), 0);
  gdiFill(from, 0, 0, 10, 10, RGB(0, 0, 0));
  gdiFill(from, 2, 3, 1, 1, RGB(200, 100, 50));
  DrawingContext* s = from.lockContext();
  DrawingContext* d = to.lockContext();
  EXPECT_EQ(d->blit(5, 5, 10, 10, s, 2, 3), 0);  // GDI clips what falls outside
  GdiFlush();
  from.unlockContext(s);
  to.unlockContext(d);
  EXPECT_EQ(pixel32(to, 5, 5) & 0xFFFFFF, 0xC86432u);
  EXPECT_EQ(pixel32(to, 4, 4), 0u);
}

TEST(DrawingContextGDI, BlitFromAHeapBitmapPassesThroughASection) {
  DIBitmap heap;
  ASSERT_EQ(heap.create(12, 5), 0);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 12; ++x) setPixel32(heap, x, y, uint32_t(y * 40) << 8 | uint32_t(x * 20));
  DIBitmap_Win32 to;
  ASSERT_EQ(to.create(12, 5), 0);
  DrawingContext* src = heap.lockContext();
  DrawingContext* dst = to.lockContext();
  ASSERT_NE(src, nullptr);
  EXPECT_EQ(dst->blit(0, 0, 12, 5, src, 0, 0), 0);
  GdiFlush();
  heap.unlockContext(src);
  to.unlockContext(dst);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 12; ++x) EXPECT_EQ(pixel32(to, x, y) & 0xFFFFFF, pixel32(heap, x, y)) << x << "," << y;
}

TEST(DrawingContextGDI, Heap565SourceIsWidenedOnItsWayIn) {
  DIBitmap heap;
  ASSERT_EQ(heap.createWithDepth(2, 1, 16), 0);
  const uint16_t values[2] = {0xFFFF, uint16_t(16 << 11 | 32 << 5 | 16)};
  std::memcpy(heap.getPixels(), values, 4);
  DIBitmap_Win32 to;
  ASSERT_EQ(to.create(2, 1), 0);
  DrawingContext* src = heap.lockContext();
  DrawingContext* dst = to.lockContext();
  EXPECT_EQ(dst->blit(0, 0, 2, 1, src, 0, 0), 0);
  GdiFlush();
  heap.unlockContext(src);
  to.unlockContext(dst);
  EXPECT_EQ(pixel32(to, 0, 0) & 0xFFFFFF, 0xFFFFFFu);
  // 16 of 31 → 132, 32 of 63 → 130.
  EXPECT_EQ(pixel32(to, 1, 0) & 0xFFFFFF, 0x848284u);

  // And the other way: a section's pixels into a heap 565 bitmap, read straight from memory.
  DIBitmap_Win32 grey;
  ASSERT_EQ(grey.create(2, 1), 0);
  setPixel32(grey, 0, 0, 0x00FFFFFF);
  setPixel32(grey, 1, 0, 0x00808080);
  DIBitmap heapFrom;
  ASSERT_EQ(heapFrom.create(2, 1), 0);
  std::memcpy(heapFrom.getPixels(), grey.getPixels(), 8);
  DIBitmap narrow;
  ASSERT_EQ(narrow.createWithDepth(2, 1, 16), 0);
  DrawingContext* n = narrow.lockContext();
  DrawingContext* h = heapFrom.lockContext();
  EXPECT_EQ(n->blit(0, 0, 2, 1, h, 0, 0), 0);
  narrow.unlockContext(n);
  heapFrom.unlockContext(h);
  uint16_t got[2];
  std::memcpy(got, narrow.getPixels(), 4);
  EXPECT_EQ(got[0], 65535);
  EXPECT_EQ(got[1], uint16_t(16 << 11 | 32 << 5 | 16));
}

TEST(DrawingContextGDI, WhatOnlyGDISourcesCanDo) {
  DIBitmap heap;
  ASSERT_EQ(heap.create(4, 4), 0);
  heap.clear();
  DIBitmap_Win32 small, big;
  ASSERT_EQ(small.create(2, 2), 0);
  ASSERT_EQ(big.create(4, 4), 0);
  gdiFill(small, 0, 0, 2, 2, RGB(0, 0, 0));
  gdiFill(small, 1, 1, 1, 1, RGB(255, 255, 255));
  DrawingContext* h = heap.lockContext();
  DrawingContext* s = small.lockContext();
  DrawingContext* b = big.lockContext();
  EXPECT_EQ(b->stretchBlit(0, 0, 4, 4, h, 0, 0, 4, 4), -1);
  EXPECT_EQ(b->alphaBlend(0, 0, 4, 4, h, 0, 0, 4, 4, 0, 255), -1);
  EXPECT_EQ(b->stretchBlit(0, 0, 4, 4, s, 0, 0, 2, 2), 0);
  GdiFlush();
  EXPECT_EQ(pixel32(big, 3, 3) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(pixel32(big, 1, 1) & 0xFFFFFF, 0u);
  EXPECT_EQ(b->alphaBlend(0, 0, 2, 2, s, 0, 0, 2, 2, 0, 255), 0);
  // A heap context asks a GDI source for pixels it cannot give: nothing is copied.
  heap.unlockContext(h);
  setPixel32(heap, 0, 0, 0x12345678);
  h = heap.lockContext();
  EXPECT_EQ(h->blit(0, 0, 2, 2, s, 0, 0), 0);
  heap.unlockContext(h);
  EXPECT_EQ(pixel32(heap, 0, 0), 0x12345678u);
  small.unlockContext(s);
  big.unlockContext(b);
}

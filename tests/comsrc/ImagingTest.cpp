#include <gtest/gtest.h>

#include <cstring>

#include "comsrc/DIBitmap.h"
#include "comsrc/DrawingContext.h"

using comsrc::DIBitmap;
using comsrc::DrawingContext;

namespace {

uint32_t pixel32(DIBitmap& b, int32_t x, int32_t y) {
  uint32_t v;
  std::memcpy(&v, b.getPixels() + y * b.getStride() + 4 * x, 4);
  return v;
}

void setPixel32(DIBitmap& b, int32_t x, int32_t y, uint32_t v) {
  std::memcpy(b.getPixels() + y * b.getStride() + 4 * x, &v, 4);
}

// A 32-bit bitmap whose every pixel holds its own coordinates, so a copied pixel tells where it came from.
void fillWithCoordinates(DIBitmap& b) {
  for (int32_t y = 0; y < b.getHeight(); ++y)
    for (int32_t x = 0; x < b.getWidth(); ++x) setPixel32(b, x, y, uint32_t(y) << 16 | uint32_t(x));
}

TEST(PixelFormat, StandardFormatsAndEquality) {
  PixelFormat f;
  ASSERT_EQ(buildStandardFormat(f, 16), 0);
  EXPECT_EQ(f.componentCount, 3);
  EXPECT_EQ(f.componentMax[1], 63);
  EXPECT_EQ(f.componentShift[0], 11);
  ASSERT_EQ(buildStandardFormat(f, 32), 0);
  EXPECT_EQ(f.componentCount, 4);
  EXPECT_EQ(f.componentShift[3], 24);
  ASSERT_EQ(buildStandardFormat(f, 1), 0);
  EXPECT_EQ(f.flags, PixelFormat::kFlagIndexed);
  EXPECT_EQ(f.componentMax[0], 1);

  PixelFormat unchanged = f;
  EXPECT_EQ(buildStandardFormat(f, 12), -1);
  EXPECT_EQ(f, unchanged);

  PixelFormat a, b;
  buildStandardFormat(a, 24);
  buildStandardFormat(b, 24);
  b.componentMax[5] = 7;  // beyond componentCount: not compared
  EXPECT_EQ(a, b);
  b.componentShift[2] = 1;
  EXPECT_FALSE(a == b);
  b = a;
  b.flags = PixelFormat::kFlagMsbFirst24;
  EXPECT_FALSE(a == b);
}

TEST(DIBitmap, SizesStridesAndOneCreate) {
  DIBitmap b32;
  EXPECT_EQ(b32.getKind(), comsrc::kBitmapKindDIB);
  EXPECT_EQ(b32.lockPixels(), nullptr);  // nothing to lend before create
  EXPECT_EQ(b32.lockContext(), nullptr);
  ASSERT_EQ(b32.create(401, 240), 0);
  EXPECT_EQ(b32.getWidth(), 401);
  EXPECT_EQ(b32.getHeight(), 240);
  EXPECT_EQ(b32.getStride(), 1604);
  EXPECT_EQ(b32.getBitsPerPixel(), 32);
  EXPECT_EQ(b32.create(10, 10), -1);
  EXPECT_EQ(b32.getWidth(), 401);

  DIBitmap b1;
  ASSERT_EQ(b1.createWithDepth(401, 240, 1), 0);
  EXPECT_EQ(b1.getStride(), 52);

  DIBitmap bad;
  EXPECT_EQ(bad.createWithDepth(10, 10, 12), -1);
  EXPECT_EQ(bad.create(0, 10), -10);
  EXPECT_EQ(bad.create(10, -1), -10);
  EXPECT_EQ(bad.create(100000, 100000), -4);
  EXPECT_EQ(bad.getPixels(), nullptr);
  EXPECT_EQ(bad.create(3, 3), 0);  // failures left it creatable
}

TEST(DIBitmap, LocksAreIndependentExceptThatTheContextWaitsForThePixels) {
  DIBitmap b, other;
  ASSERT_EQ(b.create(4, 4), 0);
  ASSERT_EQ(other.create(4, 4), 0);

  EXPECT_EQ(b.unlockPixels(), -1);
  uint8_t* p = b.lockPixels();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p, b.getPixels());
  EXPECT_EQ(b.lockPixels(), nullptr);
  EXPECT_EQ(b.lockContext(), nullptr);
  std::memset(p, 0xAB, 16 * 4);
  EXPECT_EQ(b.clear(), 0);  // ignores the lock
  EXPECT_EQ(pixel32(b, 3, 3), 0u);
  EXPECT_EQ(b.unlockPixels(), 0);

  DrawingContext* c = b.lockContext();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->getType(), comsrc::kContextTypeDIB);
  EXPECT_EQ(b.lockContext(), nullptr);
  EXPECT_NE(b.lockPixels(), nullptr);  // the pixels do not wait for the context
  EXPECT_EQ(b.unlockPixels(), 0);

  DrawingContext* foreign = other.lockContext();
  EXPECT_EQ(b.unlockContext(foreign), -1);
  EXPECT_EQ(b.lockContext(), nullptr);  // still lent out
  EXPECT_EQ(b.unlockContext(c), 0);
  EXPECT_EQ(b.lockContext(), c);
}

TEST(DrawingContextDIB, BlitClipsToTheDestination) {
  DIBitmap src, dst;
  ASSERT_EQ(src.create(40, 8), 0);
  ASSERT_EQ(dst.create(10, 4), 0);
  fillWithCoordinates(src);
  dst.clear();
  DrawingContext* s = src.lockContext();
  DrawingContext* d = dst.lockContext();
  ASSERT_TRUE(s && d);

  ASSERT_EQ(d->blit(-5, 0, 20, 1, s, 7, 2), 0);
  for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(pixel32(dst, x, 0), 2u << 16 | uint32_t(12 + x)) << x;

  // Bottom and right edges: only the part that fits is written, nothing beyond.
  dst.clear();
  ASSERT_EQ(d->blit(8, 2, 5, 5, s, 0, 0), 0);
  EXPECT_EQ(pixel32(dst, 8, 2), 0u);
  EXPECT_EQ(pixel32(dst, 9, 3), 1u << 16 | 1u);
  EXPECT_EQ(pixel32(dst, 7, 3), 0u);

  EXPECT_EQ(d->blit(10, 0, 5, 5, s, 0, 0), 0);  // entirely outside: success, nothing copied
  EXPECT_EQ(d->blit(0, -4, 5, 4, s, 0, 0), 0);

  // A source rectangle partly outside the source keeps every pixel in its place.
  dst.clear();
  ASSERT_EQ(d->blit(0, 0, 10, 4, s, -3, -1), 0);
  EXPECT_EQ(pixel32(dst, 2, 0), 0u);
  EXPECT_EQ(pixel32(dst, 3, 1), 0u);
  EXPECT_EQ(pixel32(dst, 4, 2), 1u << 16 | 1u);

  // A pixel bitmap's own pixels cannot be blitted while they are lent out.
  ASSERT_NE(dst.lockPixels(), nullptr);
  EXPECT_EQ(d->blit(0, 0, 2, 2, s, 0, 0), -1);
  dst.unlockPixels();
}

TEST(DrawingContextDIB, ReadPixelsConvertsBetweenFormats) {
  DIBitmap src;
  ASSERT_EQ(src.create(3, 1), 0);
  setPixel32(src, 0, 0, 0x00FFFFFF);
  setPixel32(src, 1, 0, 0xFF808080);
  setPixel32(src, 2, 0, 0x00C80000);  // red 200
  DrawingContext* s = src.lockContext();

  PixelFormat f16;
  buildStandardFormat(f16, 16);
  uint16_t out16[3] = {};
  ASSERT_EQ(s->readPixels(reinterpret_cast<uint8_t*>(out16), 6, &f16, 0, 0, 3, 1), 0);
  EXPECT_EQ(out16[0], 65535);
  EXPECT_EQ(out16[1], 16 << 11 | 32 << 5 | 16);
  EXPECT_EQ(out16[2], 24 << 11);  // (200 × 31 + 127) / 255

  PixelFormat f24;
  buildStandardFormat(f24, 24);
  uint8_t out24[9] = {};
  ASSERT_EQ(s->readPixels(out24, 9, &f24, 1, 0, 2, 1), 0);
  EXPECT_EQ(out24[0], 0x80);
  EXPECT_EQ(out24[5], 200);  // red, least significant byte first
  f24.flags = PixelFormat::kFlagMsbFirst24;
  ASSERT_EQ(s->readPixels(out24, 9, &f24, 2, 0, 1, 1), 0);
  EXPECT_EQ(out24[0], 200);
  EXPECT_EQ(out24[2], 0);

  PixelFormat otherModel = f16;
  otherModel.model = 2;
  uint8_t untouched[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(s->readPixels(untouched, 6, &otherModel, 0, 0, 3, 1), 0);
  EXPECT_EQ(untouched[0], 1);
  EXPECT_EQ(untouched[5], 6);

  // A component without a range reads as 0 rather than dividing by zero.
  PixelFormat broken = f16;
  broken.componentMax[0] = 0;
  DIBitmap odd;
  ASSERT_EQ(odd.createWithFormat(1, 1, broken), 0);
  *reinterpret_cast<uint16_t*>(odd.getPixels()) = 0xFFFF;
  PixelFormat f32;
  buildStandardFormat(f32, 32);
  uint32_t out32 = 1;
  ASSERT_EQ(odd.lockContext()->readPixels(reinterpret_cast<uint8_t*>(&out32), 4, &f32, 0, 0, 1, 1), 0);
  EXPECT_EQ(out32, 0x0000FFFFu);
}

TEST(DrawingContextDIB, SubBytePixels) {
  DIBitmap mono;
  ASSERT_EQ(mono.createWithDepth(16, 2, 1), 0);
  mono.clear();
  DrawingContext* m = mono.lockContext();
  ASSERT_EQ(m->fillRect(3, 0, 2, 2, 1), 0);
  EXPECT_EQ(mono.getPixels()[0], 0x18);
  EXPECT_EQ(mono.getPixels()[mono.getStride()], 0x18);
  mono.getPixels()[1] = 0x0F;
  ASSERT_EQ(m->fillRect(12, 0, 10, 1, 0), 0);  // clipped at 16; other bits of the byte stay
  EXPECT_EQ(mono.getPixels()[1], 0x00);
  ASSERT_EQ(m->fillRect(8, 0, 2, 1, 3), 0);  // value masked to one bit
  EXPECT_EQ(mono.getPixels()[1], 0xC0);

  DIBitmap src;
  ASSERT_EQ(src.create(4, 1), 0);
  setPixel32(src, 0, 0, 0x00FFFFFF);
  setPixel32(src, 1, 0, 0x00000000);
  setPixel32(src, 2, 0, 0x00800000);
  setPixel32(src, 3, 0, 0x007F0000);
  DrawingContext* s = src.lockContext();
  EXPECT_EQ(m->blit(3, 1, 4, 1, s, 0, 0), -2);  // not on a byte boundary
  ASSERT_EQ(m->blit(8, 1, 4, 1, s, 0, 0), 0);
  EXPECT_EQ(mono.getPixels()[mono.getStride() + 1] & 0xF0, 0xA0);
}

}  // namespace

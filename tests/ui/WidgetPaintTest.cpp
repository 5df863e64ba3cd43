#include <gtest/gtest.h>

#include "FakeWindow.h"
#include "ui/ScaledPainter.h"
#include "ui/Widgets.h"

namespace {

using ui::Colour;
using ui::Rect;
using vltest::PaintOp;

std::vector<PaintOp> paintOf(ui::Base& w) {
  std::vector<PaintOp> ops;
  vltest::RecordingPainter p(ops);
  w.paint(p);
  return ops;
}

PaintOp line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) { return {PaintOp::line, {x0, y0, x1, y1}}; }
PaintOp frame(Rect r, Colour c) { return {PaintOp::frame, r, c}; }
PaintOp fill(Rect r, Colour c) { return {PaintOp::fill, r, c}; }
PaintOp text(std::string s, Rect r, uint32_t flags, ui::Font f, Colour fore, Colour back) {
  return {PaintOp::text, r, fore, back, flags, f, std::move(s)};
}

TEST(WidgetPaint, GroupBoxDrawsShadowOutsideThenFrameAndWhiteInside) {
  ui::GroupRect g({5, 81, 306, 322}, 45);
  EXPECT_EQ(paintOf(g), (std::vector<PaintOp>{line(8, 322, 306, 322), line(306, 322, 306, 83),
                                               frame({5, 81, 306, 322}, Colour::black),
                                               fill({6, 82, 305, 321}, Colour::white)}));
}

TEST(WidgetPaint, LabelAlignmentFlagsAndWeight) {
  ui::Label left({6, 2, 106, 16}, 0, "状態 :", 0, false);
  ui::Label centre({6, 2, 106, 16}, 0, "x", 1, true);
  ui::Label right({6, 2, 106, 16}, 0, "x", 2, false);
  ui::Label other({6, 2, 106, 16}, 0, "x", -3, false);
  const auto l = paintOf(left);
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0], fill({6, 2, 106, 16}, Colour::white));
  EXPECT_EQ(l[1], text("状態 :", {6, 2, 106, 16}, 0x24, ui::Font::normal, Colour::black, Colour::white));
  EXPECT_EQ(paintOf(centre)[1].flags, 0x25u);
  EXPECT_EQ(paintOf(centre)[1].font, ui::Font::bold);
  EXPECT_EQ(paintOf(right)[1].flags, 0x26u);
  EXPECT_EQ(paintOf(other)[1].flags, 0x26u);
  left.enabled = false;
  EXPECT_EQ(paintOf(left)[1].colour, Colour::grey);
}

TEST(WidgetPaint, ButtonReleasedDrawsInsideFramePressedFillsWholeRect) {
  ui::Button b({110, 38, 124, 52}, 21, "-");
  const std::vector<PaintOp> shadow{line(112, 52, 124, 52), line(124, 52, 124, 39)};
  auto released = shadow;
  released.insert(released.end(), {frame({110, 38, 124, 52}, Colour::black), fill({111, 39, 123, 51}, Colour::white),
                                   text("-", {111, 39, 123, 51}, 0x25, ui::Font::normal, Colour::black, Colour::white)});
  EXPECT_EQ(paintOf(b), released);

  b.pressed = true;
  auto pressed = shadow;
  pressed.insert(pressed.end(), {fill({110, 38, 124, 52}, Colour::black),
                                 text("-", {110, 38, 124, 52}, 0x25, ui::Font::normal, Colour::white, Colour::black)});
  EXPECT_EQ(paintOf(b), pressed);

  // Disabled: pressed is ignored, the frame and the text turn grey.
  b.enabled = false;
  const auto d = paintOf(b);
  EXPECT_EQ(d[2], frame({110, 38, 124, 52}, Colour::grey));
  EXPECT_EQ(d[4].colour, Colour::grey);
}

TEST(WidgetPaint, CheckboxBoxSitsAtTheComputedRows) {
  ui::Checkbox c({12, 82, 312, 106}, 19, "オン");
  // t = (82 + 106 - 14) / 2 = 87: the box covers rows 87 to 100.
  const Rect box{13, 87, 27, 101};
  const std::vector<PaintOp> head{line(15, 101, 27, 101), line(27, 101, 27, 88)};
  const PaintOp caption = text("オン", {32, 82, 312, 106}, 0x24, ui::Font::bold, Colour::black, Colour::white);

  auto off = head;
  off.insert(off.end(), {frame(box, Colour::black), frame({14, 88, 26, 100}, Colour::white),
                         fill({15, 89, 25, 99}, Colour::white), caption});
  EXPECT_EQ(paintOf(c), off);

  c.checked = true;
  EXPECT_EQ(paintOf(c)[4], fill({15, 89, 25, 99}, Colour::black));

  c.pressed = true;
  auto pressedOn = head;
  pressedOn.insert(pressedOn.end(), {fill(box, Colour::black), fill({15, 89, 25, 99}, Colour::black), caption});
  EXPECT_EQ(paintOf(c), pressedOn);
  c.checked = false;
  EXPECT_EQ(paintOf(c)[3], fill({15, 89, 25, 99}, Colour::white));

  c.enabled = false;
  c.checked = true;
  const auto d = paintOf(c);
  EXPECT_EQ(d[2], frame(box, Colour::grey));
  EXPECT_EQ(d[4], fill({15, 89, 25, 99}, Colour::grey));
  EXPECT_EQ(d[5].colour, Colour::grey);
}

TEST(WidgetPaint, CheckboxRowArithmeticTruncatesTowardZero) {
  // An odd sum: (3 + 20 - 14) / 2 = 4; above the client area, (-30 + -1 - 14) / 2 = -22, not -23.
  ui::Checkbox odd({0, 3, 100, 20}, 1, "");
  EXPECT_EQ(paintOf(odd)[2].r, (Rect{1, 4, 15, 18}));
  ui::Checkbox negative({0, -30, 100, -1}, 1, "");
  EXPECT_EQ(paintOf(negative)[2].r, (Rect{1, -22, 15, -8}));
}

TEST(WidgetPaint, OnOffButtonStates) {
  ui::OnOffBtn o({6, 64, 106, 82}, 17, "Vantela1 設定");
  const PaintOp shadow = line(106, 81, 106, 65);
  const Rect inside{8, 66, 104, 80};
  EXPECT_EQ(paintOf(o), (std::vector<PaintOp>{shadow, frame({6, 64, 106, 82}, Colour::black),
                                               frame({7, 65, 105, 81}, Colour::white), fill(inside, Colour::white),
                                               text("Vantela1 設定", inside, 0x25, ui::Font::normal, Colour::black,
                                                    Colour::white)}));
  o.checked = true;
  o.pressed = true;
  EXPECT_EQ(paintOf(o), (std::vector<PaintOp>{shadow, frame({6, 64, 106, 82}, Colour::black),
                                               frame({7, 65, 105, 81}, Colour::black), fill(inside, Colour::black),
                                               text("Vantela1 設定", inside, 0x25, ui::Font::normal, Colour::white,
                                                    Colour::black)}));
  o.enabled = false;
  const auto d = paintOf(o);
  EXPECT_EQ(d[1], frame({6, 64, 106, 82}, Colour::grey));
  EXPECT_EQ(d[2], frame({7, 65, 105, 81}, Colour::white));
  EXPECT_EQ(d[3], fill(inside, Colour::grey));
  EXPECT_EQ(d[4].back, Colour::grey);
  EXPECT_EQ(d[4].colour, Colour::white);
}

TEST(WidgetPaint, InvalidateAsksForTheWidgetRectOnly) {
  vltest::FakeWindow w;
  ui::Label l({1, 2, 3, 4}, 0, "", 0, false);
  l.invalidate(w);
  ASSERT_EQ(w.invalidated.size(), 1u);
  EXPECT_EQ(w.invalidated[0], (Rect{1, 2, 3, 4}));
}

}  // namespace

namespace {

// Measures as the recording painter does, narrowed by the percent, and notes each narrowing.
struct NarrowingPainter : vltest::RecordingPainter {
  using RecordingPainter::RecordingPainter;
  void drawTextCondensed(std::string_view s, const Rect& r, uint32_t flags, ui::Font font, int32_t percent, Colour fore,
                         Colour back) override {
    percents.push_back(percent);
    drawText(s, r, flags, font, fore, back);
  }
  int32_t textWidthCondensed(std::string_view s, ui::Font font, int32_t percent) override {
    return textWidth(s, font) * percent / 100;
  }
  std::vector<int32_t> percents;
};

TEST(WidgetPaint, OnlyACaptionWiderThanItsRectIsNarrowedJustEnoughToFitWhole) {
  std::vector<PaintOp> ops;
  NarrowingPainter p(ops);
  ui::Label({6, 2, 106, 16}, 0, "状態 :", 2, false).paint(p);
  EXPECT_TRUE(p.percents.empty());
  // 28 bytes: 168 pixels into 98 (a pixel of room each side); 55 % gives 92, 60 % would give 100.
  ui::Label({6, 20, 106, 34}, 0, "Vantela 画面ドライバ :", 2, false).paint(p);
  EXPECT_EQ(p.percents, std::vector<int32_t>{55});
  EXPECT_EQ(ops.back(), text("Vantela 画面ドライバ :", {6, 20, 106, 34}, 0x26, ui::Font::normal, Colour::black, Colour::white));
}

TEST(ScaledPainter, At144DpiEdgesScaleLinesBecomeBandsAndWidthsRoundUp) {
  std::vector<PaintOp> ops;
  ui::ScaledPainter p(std::make_unique<vltest::RecordingPainter>(ops), ui::DpiScale{144});
  p.frameRect({5, 81, 306, 322}, Colour::black);
  p.line(8, 322, 306, 322);
  p.line(306, 322, 306, 83);
  p.drawText("x", {6, 2, 106, 16}, 0, ui::Font::bold, Colour::black, Colour::white);
  EXPECT_EQ(ops, (std::vector<PaintOp>{fill({8, 122, 459, 123}, Colour::black), fill({8, 482, 459, 483}, Colour::black),
                                       fill({8, 122, 9, 483}, Colour::black), fill({458, 122, 459, 483}, Colour::black),
                                       fill({12, 483, 459, 485}, Colour::black), fill({459, 126, 461, 485}, Colour::black),
                                       text("x", {9, 3, 159, 24}, 0, ui::Font::bold, Colour::black, Colour::white)}));
  EXPECT_EQ(p.textWidth("abc", ui::Font::normal), 12);  // 18 pixels are 12 layout units
  EXPECT_EQ(p.textWidth("abcd", ui::Font::normal), 16);  // 24 pixels: 16
  const ui::DpiScale s{144};
  for (int32_t px = -7; px < 50; ++px) EXPECT_LE(s.toDevice(s.toLogical(px)), px) << px;
  for (int32_t px = -7; px < 50; ++px) EXPECT_GT(s.toDevice(s.toLogical(px) + 1), px) << px;
}

}  // namespace

#include <gtest/gtest.h>

#include "FakeWindow.h"
#include "ui/Form.h"

namespace {

using ui::Rect;
using vltest::FakeWindow;
using vltest::PaintOp;

struct FormFixture : testing::Test {
  FormFixture() {
    group = form.add(std::make_unique<ui::GroupRect>(Rect{5, 81, 306, 322}, 45));
    minus = form.add(std::make_unique<ui::Button>(Rect{110, 110, 124, 124}, 23, "-"));
    plus = form.add(std::make_unique<ui::Button>(Rect{128, 110, 142, 124}, 24, "+"));
    caption = form.add(std::make_unique<ui::Label>(Rect{6, 110, 106, 124}, 0, "ポート :", 2, false));
  }
  ui::Base* send(uint32_t msg, int32_t x, int32_t y) { return form.trackMouse(win, msg, ui::pointParam(x, y)); }
  // The fill colour of the last repaint of a button: black while drawn pressed.
  bool drawnPressed() const {
    for (auto it = win.ops.rbegin(); it != win.ops.rend(); ++it)
      if (it->kind == PaintOp::fill) return it->colour == ui::Colour::black;
    return false;
  }

  FakeWindow win;
  ui::Form form;
  ui::Base* group;
  ui::Base* minus;
  ui::Base* plus;
  ui::Base* caption;
};

TEST_F(FormFixture, FindByIdGivesTheFirstInListOrder) {
  form.add(std::make_unique<ui::Label>(Rect{0, 0, 1, 1}, 23, "", 0, false));
  EXPECT_EQ(form.findById(23), minus);
  EXPECT_EQ(form.findById(0), caption);
  EXPECT_EQ(form.findById(99), nullptr);
  EXPECT_EQ(form.add(std::unique_ptr<ui::Base>()), nullptr);
  EXPECT_EQ(form.size(), 5u);
}

TEST_F(FormFixture, HitTestIsHalfOpenAndTheLastAddedWins) {
  EXPECT_EQ(form.hitTest(110, 110), minus);
  EXPECT_EQ(form.hitTest(123, 123), minus);
  EXPECT_EQ(form.hitTest(124, 115), nullptr);
  EXPECT_EQ(form.hitTest(115, 124), nullptr);
  auto* over = form.add(std::make_unique<ui::Button>(Rect{100, 100, 130, 130}, 77, "x"));
  EXPECT_EQ(form.hitTest(115, 115), over);
}

TEST_F(FormFixture, GroupBoxTakesNoHitsAndAPressOnItPaintsNothing) {
  EXPECT_EQ(form.hitTest(200, 200), nullptr);
  EXPECT_EQ(send(ui::msgLButtonDown, 200, 200), nullptr);
  EXPECT_EQ(form.captured, nullptr);
  EXPECT_EQ(win.painters, 0);
  EXPECT_EQ(send(ui::msgLButtonUp, 200, 200), nullptr);
  EXPECT_FALSE(group->pressed);
}

TEST_F(FormFixture, PressMoveOffMoveBackReleaseIsOneClick) {
  EXPECT_EQ(send(ui::msgLButtonDown, 115, 115), nullptr);
  EXPECT_TRUE(minus->pressed);
  EXPECT_TRUE(drawnPressed());
  EXPECT_EQ(win.captures, 1);
  EXPECT_EQ(form.captured, minus);

  EXPECT_EQ(send(ui::msgMouseMove, 116, 116), nullptr);  // still over it: no repaint
  EXPECT_EQ(win.painters, 1);
  EXPECT_EQ(send(ui::msgMouseMove, 300, 10), nullptr);
  EXPECT_FALSE(minus->pressed);
  EXPECT_FALSE(drawnPressed());
  EXPECT_EQ(send(ui::msgMouseMove, 301, 11), nullptr);  // still off: no repaint
  EXPECT_EQ(win.painters, 2);
  EXPECT_EQ(send(ui::msgMouseMove, 112, 112), nullptr);
  EXPECT_TRUE(minus->pressed);
  EXPECT_TRUE(drawnPressed());

  EXPECT_EQ(send(ui::msgLButtonUp, 112, 112), minus);
  EXPECT_FALSE(minus->pressed);
  EXPECT_FALSE(drawnPressed());
  EXPECT_EQ(win.releases, 1);
  EXPECT_EQ(form.captured, nullptr);
}

TEST_F(FormFixture, ReleaseElsewhereIsNoClickAndLeavesTheButtonDrawnReleased) {
  send(ui::msgLButtonDown, 115, 115);
  send(ui::msgMouseMove, 135, 115);  // onto "+": "-" is drawn released, "+" stays untouched
  EXPECT_FALSE(minus->pressed);
  EXPECT_FALSE(plus->pressed);
  EXPECT_EQ(send(ui::msgLButtonUp, 135, 115), nullptr);
  EXPECT_FALSE(minus->pressed);
  EXPECT_FALSE(plus->pressed);
  EXPECT_FALSE(drawnPressed());
  EXPECT_EQ(win.releases, 1);
  EXPECT_FALSE(win.capturing);
}

TEST_F(FormFixture, ReleaseOutsideWithoutAMoveStillDrawsTheButtonReleased) {
  send(ui::msgLButtonDown, 115, 115);
  // Outside the window: negative coordinates arrive as sign-extended 16-bit words.
  EXPECT_EQ(send(ui::msgLButtonUp, -20, -5), nullptr);
  EXPECT_FALSE(minus->pressed);
  EXPECT_FALSE(drawnPressed());
  EXPECT_FALSE(win.capturing);
}

TEST_F(FormFixture, MovesOutsideTheWindowCountAsOffTheWidget) {
  send(ui::msgLButtonDown, 115, 115);
  send(ui::msgMouseMove, -1, 115);
  EXPECT_FALSE(minus->pressed);
  send(ui::msgMouseMove, 115, 32767);
  send(ui::msgMouseMove, 115, 115);
  EXPECT_TRUE(minus->pressed);
  EXPECT_EQ(send(ui::msgLButtonUp, 115, 115), minus);
}

TEST_F(FormFixture, APressWhoseReleaseNeverCameDoesNotLeaveItsWidgetPressed) {
  send(ui::msgLButtonDown, 115, 115);
  send(ui::msgLButtonDown, 135, 115);
  EXPECT_FALSE(minus->pressed);
  EXPECT_TRUE(plus->pressed);
  EXPECT_EQ(send(ui::msgLButtonUp, 135, 115), plus);
  EXPECT_FALSE(plus->pressed);
}

TEST_F(FormFixture, DisabledWidgetCapturesNothingDrawsNothingAndGivesNoClick) {
  minus->enabled = false;
  EXPECT_EQ(send(ui::msgLButtonDown, 115, 115), nullptr);
  EXPECT_EQ(form.captured, nullptr);
  EXPECT_EQ(form.hover, minus);
  EXPECT_EQ(win.painters, 0);
  EXPECT_EQ(win.captures, 0);
  EXPECT_EQ(send(ui::msgMouseMove, 116, 116), nullptr);
  EXPECT_EQ(send(ui::msgLButtonUp, 115, 115), nullptr);
  EXPECT_EQ(win.releases, 0);
  EXPECT_FALSE(minus->pressed);
}

TEST_F(FormFixture, OnlyTheLeftButtonClicksAndMovesWithoutAPressDoNothing) {
  for (uint32_t msg : {ui::msgRButtonDown, ui::msgRButtonUp, ui::msgMButtonDown, ui::msgMButtonUp, ui::msgMouseMove,
                       ui::msgLButtonUp, ui::msgKeyDown})
    EXPECT_EQ(send(msg, 115, 115), nullptr);
  EXPECT_EQ(win.painters, 0);
  EXPECT_FALSE(minus->pressed);
}

TEST_F(FormFixture, QuickDoubleClickIsTwoClicks) {
  int clicks = 0;
  for (int i = 0; i < 2; ++i) {
    send(ui::msgLButtonDown, 135, 115);
    clicks += send(ui::msgLButtonUp, 135, 115) == plus;
  }
  EXPECT_EQ(clicks, 2);
}

TEST_F(FormFixture, CaptionsAreCapturedAndReportedLikeButtons) {
  send(ui::msgLButtonDown, 50, 115);
  EXPECT_EQ(send(ui::msgLButtonUp, 50, 115), caption);
}

TEST(PointParam, SplitsAndSignExtendsBothWords) {
  const intptr_t p = ui::pointParam(-2, 300);
  EXPECT_EQ(ui::pointX(p), -2);
  EXPECT_EQ(ui::pointY(p), 300);
  EXPECT_EQ(ui::pointY(ui::pointParam(5, -32768)), -32768);
  EXPECT_EQ(ui::pointX(static_cast<intptr_t>(0x0001FFFF)), -1);
}

}  // namespace

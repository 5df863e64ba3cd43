#include <gtest/gtest.h>

#include "FakeWindow.h"
#include "ui/MenuBar.h"
#include "ui/PrefixText.h"
#include "ui/resource.h"

namespace {

struct MenuFixture : testing::Test {
  MenuFixture() {
    std::vector<vltest::PaintOp> ops;
    vltest::RecordingPainter p(ops);
    bar.layout(p);
  }
  ui::MenuBar bar{ui::mainMenu, ui::mainMenuCount};
};

TEST(MenuModel, ItemsIdsAndMnemonics) {
  ASSERT_EQ(ui::mainMenuCount, 2);
  EXPECT_STREQ(ui::mainMenu[0].title, "ファイル(&F)");
  EXPECT_STREQ(ui::mainMenu[1].title, "ヘルプ(&H)");
  ASSERT_EQ(ui::mainMenu[0].count, 5);
  EXPECT_EQ(ui::mainMenu[0].items[0].command, IDM_STARTATLOGIN);
  EXPECT_EQ(ui::mainMenu[0].items[1].command, IDM_PREVIEW);
  EXPECT_EQ(ui::mainMenu[0].items[2].command, IDM_PICKAREA);
  EXPECT_EQ(ui::mainMenu[0].items[3].command, IDM_PICKWINDOW);
  EXPECT_EQ(ui::mainMenu[0].items[4].command, IDM_EXIT);
  ASSERT_EQ(ui::mainMenu[1].count, 2);
  EXPECT_EQ(ui::mainMenu[1].items[0].command, IDM_WEBPAGE);
  EXPECT_EQ(ui::mainMenu[1].items[1].command, IDM_ABOUT);
  EXPECT_EQ(ui::mnemonicOf(ui::mainMenu[0].title), uint32_t('F'));
  EXPECT_EQ(ui::mnemonicOf(ui::mainMenu[0].items[1].text), 0u);  // the preview item has none
  EXPECT_EQ(ui::mnemonicOf(ui::mainMenu[0].items[4].text), uint32_t('X'));
  EXPECT_EQ(ui::mnemonicOf(ui::mainMenu[1].title), uint32_t('H'));
  EXPECT_EQ(ui::mnemonicOf(ui::mainMenu[1].items[0].text), 0u);  // the web page item has none
  EXPECT_EQ(ui::mnemonicOf(ui::mainMenu[1].items[1].text), uint32_t('A'));
  EXPECT_EQ(ui::mnemonicOf("a&&b&c"), uint32_t('C'));
  EXPECT_EQ(ui::mnemonicOf("tail&"), 0u);
}

TEST(PrefixText, ResolvesLikeDrawText) {
  const ui::PrefixText t = ui::resolvePrefix("ファイル(&F)");
  EXPECT_EQ(t.shown, "ファイル(F)");
  EXPECT_EQ(t.underlineAt, std::string("ファイル(").size());
  EXPECT_EQ(t.underlineLen, 1u);
  EXPECT_EQ(ui::resolvePrefix("a&&b").shown, "a&b");
  EXPECT_EQ(ui::resolvePrefix("a&&b").underlineAt, std::string::npos);
  EXPECT_EQ(ui::resolvePrefix("end&").shown, "end");
  const ui::PrefixText kana = ui::resolvePrefix("&あい");
  EXPECT_EQ(kana.shown, "あい");
  EXPECT_EQ(kana.underlineLen, 3u);
  EXPECT_EQ(ui::resolvePrefix("&\xE3").shown, "\xE3");  // a cut sequence stays inside the text
}

TEST_F(MenuFixture, MouseOpensTitleAndChoosesItem) {
  const ui::Rect help = bar.titleRect(1);
  auto r = bar.press(help.left + 2, 5);
  EXPECT_TRUE(r.consumed && r.changed);
  EXPECT_EQ(bar.openPopup(), 1);
  EXPECT_EQ(bar.selectedItem(), -1);
  r = bar.release(help.left + 2, 5);  // releasing on the title keeps it open
  EXPECT_TRUE(bar.isOpen());
  EXPECT_EQ(r.command, 0);
  const ui::Rect about = bar.itemRect(1);
  r = bar.move(about.left + 5, about.top + 3);
  EXPECT_EQ(bar.selectedItem(), 1);
  r = bar.press(about.left + 5, about.top + 3);
  r = bar.release(about.left + 5, about.top + 3);
  EXPECT_EQ(r.command, IDM_ABOUT);
  EXPECT_FALSE(bar.isOpen());
}

TEST_F(MenuFixture, MovingAcrossTheBarSwitchesPopupsAndAClickOutsideCloses) {
  bar.press(bar.titleRect(0).left + 1, 3);
  EXPECT_EQ(bar.openPopup(), 0);
  bar.move(bar.titleRect(1).left + 1, 3);
  EXPECT_EQ(bar.openPopup(), 1);
  const auto r = bar.press(300, 200);
  EXPECT_TRUE(r.consumed);
  EXPECT_EQ(r.command, 0);
  EXPECT_FALSE(bar.isOpen());
  // Closed, the bar lets events below it through.
  EXPECT_FALSE(bar.press(300, 200).consumed);
  EXPECT_FALSE(bar.move(300, 200).consumed);
}

TEST_F(MenuFixture, PressOnTheOpenTitleCloses) {
  bar.press(bar.titleRect(0).left + 1, 3);
  bar.press(bar.titleRect(0).left + 1, 3);
  EXPECT_FALSE(bar.isOpen());
}

TEST_F(MenuFixture, AltMnemonicsArrowsEnterAndEscape) {
  EXPECT_FALSE(bar.key('H', false).consumed);  // without Alt a letter is the window's
  auto r = bar.key('H', true);
  EXPECT_TRUE(r.consumed);
  EXPECT_EQ(bar.openPopup(), 1);
  EXPECT_EQ(bar.selectedItem(), 0);
  bar.key(ui::vkDown, false);
  EXPECT_EQ(bar.selectedItem(), 1);
  bar.key(ui::vkDown, false);
  EXPECT_EQ(bar.selectedItem(), 0);
  bar.key(ui::vkUp, false);
  EXPECT_EQ(bar.selectedItem(), 1);
  r = bar.key(ui::vkReturn, false);
  EXPECT_EQ(r.command, IDM_ABOUT);
  EXPECT_FALSE(bar.isOpen());

  bar.key('F', true);
  EXPECT_EQ(bar.openPopup(), 0);
  bar.key(ui::vkRight, false);
  EXPECT_EQ(bar.openPopup(), 1);
  bar.key(ui::vkRight, false);
  EXPECT_EQ(bar.openPopup(), 0);
  EXPECT_TRUE(bar.key('Q', false).consumed);  // an open menu takes every key
  EXPECT_TRUE(bar.isOpen());
  r = bar.key(ui::vkEscape, false);
  EXPECT_TRUE(r.changed);
  EXPECT_FALSE(bar.isOpen());
}

TEST_F(MenuFixture, ItemMnemonicsChooseDirectly) {
  bar.key('F', true);
  EXPECT_EQ(bar.key('X', false).command, IDM_EXIT);
  bar.key('H', true);
  EXPECT_EQ(bar.key('A', false).command, IDM_ABOUT);
  bar.key('H', true);
  EXPECT_EQ(bar.key('X', false).command, 0);  // not an item of this popup
}

TEST_F(MenuFixture, ACheckMarkStandsBeforeItsItemOnlyAndFollowsTheSelection) {
  // The bright pixels of the tick left of each item's text, as the popup paints them.
  auto marks = [&] {
    std::vector<vltest::PaintOp> ops;
    vltest::RecordingPainter p(ops);
    bar.paintPopup(p);
    std::vector<std::pair<int32_t, ui::Colour>> found;  // item, colour
    const ui::Rect pr = bar.popupRect();
    for (const vltest::PaintOp& op : ops)
      for (int32_t k = 0; k < 2; ++k) {
        const ui::Rect ir = comsrc::offsetRect(bar.itemRect(k), -pr.left, -pr.top);
        if (op.kind == vltest::PaintOp::fill && op.r.width() == 1 && op.r.top >= ir.top && op.r.bottom <= ir.bottom &&
            op.r.left < ir.left + 18)
          found.push_back({k, op.colour});
      }
    return found;
  };
  bar.key('F', true);
  EXPECT_TRUE(marks().empty());
  bar.setChecked(IDM_STARTATLOGIN, true);
  bar.setChecked(IDM_STARTATLOGIN, true);
  auto found = marks();
  ASSERT_FALSE(found.empty());
  for (const auto& [item, colour] : found) EXPECT_TRUE(item == 0 && colour == ui::Colour::white) << item;  // lit
  bar.key(ui::vkDown, false);
  found = marks();
  ASSERT_FALSE(found.empty());
  for (const auto& [item, colour] : found) EXPECT_TRUE(item == 0 && colour == ui::Colour::black) << item;
  bar.setChecked(IDM_STARTATLOGIN, false);
  EXPECT_TRUE(marks().empty());
}

TEST_F(MenuFixture, LayoutPlacesPopupsUnderTheirTitles) {
  bar.key('H', true);
  const ui::Rect pr = bar.popupRect();
  EXPECT_EQ(pr.left, bar.titleRect(1).left);
  EXPECT_EQ(pr.top, ui::MenuBar::barHeight - 1);
  EXPECT_EQ(bar.itemRect(1).top, bar.itemRect(0).bottom);
  EXPECT_GE(pr.bottom, bar.itemRect(1).bottom);
  EXPECT_TRUE(bar.itemRect(2).isEmpty());
}

}  // namespace

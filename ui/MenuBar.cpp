#include "ui/MenuBar.h"

#include <algorithm>

#include "ui/Window.h"

namespace ui {

namespace {

constexpr int32_t titlePad = 6;       // each side of a title on the bar
constexpr int32_t itemPadLeft = 18;   // room where a check mark would stand
constexpr int32_t itemPadRight = 24;  // room where a submenu arrow would stand
constexpr uint32_t textFlags = dtSingleLine | dtVCenter | dtLeft;

// A tick in the room left of an item's text, two pixels thick.
void paintCheckMark(Painter& p, const Rect& item, Colour c) {
  const int32_t x = item.left + 4, y = item.top + item.height() / 2 - 1;
  for (int32_t i = 0; i < 3; ++i) p.fillRect({x + i, y + i, x + i + 1, y + i + 2}, c);
  for (int32_t i = 0; i < 6; ++i) p.fillRect({x + 3 + i, y + 1 - i, x + 4 + i, y + 3 - i}, c);
}

}  // namespace

MenuBar::MenuBar(const MenuPopup* popups, int32_t count)
    : popups_(popups), count_(count), titleLeft_(count + 1, 0), popupWidth_(count, 0) {}

void MenuBar::layout(Painter& p) {
  int32_t x = 0;
  for (int32_t i = 0; i < count_; ++i) {
    titleLeft_[i] = x;
    x += p.textWidth(popups_[i].title, Font::normal) + 2 * titlePad;
    int32_t widest = 0;
    for (int32_t k = 0; k < popups_[i].count; ++k)
      widest = std::max(widest, p.textWidth(popups_[i].items[k].text, Font::normal));
    popupWidth_[i] = widest + itemPadLeft + itemPadRight + 2;
  }
  titleLeft_[count_] = x;
}

Rect MenuBar::titleRect(int32_t popup) const {
  if (popup < 0 || popup >= count_) return {};
  return {titleLeft_[popup], 0, titleLeft_[popup + 1], barHeight - 1};
}

Rect MenuBar::popupRect() const {
  if (open_ < 0) return {};
  const int32_t left = titleLeft_[open_];
  return {left, barHeight - 1, left + popupWidth_[open_], barHeight - 1 + popups_[open_].count * itemHeight + 4};
}

Rect MenuBar::itemRect(int32_t item) const {
  const Rect pr = popupRect();
  if (open_ < 0 || item < 0 || item >= popups_[open_].count) return {};
  const int32_t top = pr.top + 2 + item * itemHeight;
  return {pr.left + 2, top, pr.right - 2, top + itemHeight};
}

void MenuBar::paintBar(Painter& p, int32_t width) const {
  p.fillRect({0, 0, width, barHeight - 1}, Colour::white);
  p.fillRect({0, barHeight - 1, width, barHeight}, Colour::grey);
  for (int32_t i = 0; i < count_; ++i) {
    const Rect r = titleRect(i);
    const bool lit = i == open_;
    p.fillRect(r, lit ? Colour::black : Colour::white);
    p.drawText(popups_[i].title, r, textFlags | dtCenter, Font::normal, lit ? Colour::white : Colour::black,
               lit ? Colour::black : Colour::white);
  }
}

void MenuBar::paintPopup(Painter& p) const {
  if (open_ < 0) return;
  const Rect pr = popupRect();
  const Rect local{0, 0, pr.width(), pr.height()};
  p.fillRect(local, Colour::white);
  p.frameRect(local, Colour::black);
  for (int32_t k = 0; k < popups_[open_].count; ++k) {
    const Rect ir = offsetRect(itemRect(k), -pr.left, -pr.top);
    const bool lit = k == selected_;
    p.fillRect(ir, lit ? Colour::black : Colour::white);
    if (isChecked(popups_[open_].items[k].command)) paintCheckMark(p, ir, lit ? Colour::white : Colour::black);
    const Rect textRect{ir.left + itemPadLeft, ir.top, ir.right, ir.bottom};
    p.drawText(popups_[open_].items[k].text, textRect, textFlags, Font::normal, lit ? Colour::white : Colour::black,
               lit ? Colour::black : Colour::white);
  }
}

int32_t MenuBar::titleAt(int32_t x, int32_t y) const {
  if (y < 0 || y >= barHeight) return -1;
  for (int32_t i = 0; i < count_; ++i)
    if (x >= titleLeft_[i] && x < titleLeft_[i + 1]) return i;
  return -1;
}

int32_t MenuBar::itemAt(int32_t x, int32_t y) const {
  if (open_ < 0) return -1;
  for (int32_t k = 0; k < popups_[open_].count; ++k) {
    const Rect r = itemRect(k);
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return k;
  }
  return -1;
}

MenuBar::Result MenuBar::openAt(int32_t popup, int32_t item) {
  Result r{true, open_ != popup || selected_ != item, 0};
  open_ = popup;
  selected_ = item;
  return r;
}

MenuBar::Result MenuBar::choose(int32_t item) {
  const int32_t command = popups_[open_].items[item].command;
  close();
  return {true, true, command};
}

void MenuBar::close() {
  open_ = -1;
  selected_ = -1;
}

void MenuBar::setChecked(int32_t command, bool checked) {
  const auto it = std::find(checked_.begin(), checked_.end(), command);
  if (checked && it == checked_.end()) checked_.push_back(command);
  if (!checked && it != checked_.end()) checked_.erase(it);
}

bool MenuBar::isChecked(int32_t command) const {
  return std::find(checked_.begin(), checked_.end(), command) != checked_.end();
}

MenuBar::Result MenuBar::press(int32_t x, int32_t y) {
  const int32_t title = titleAt(x, y);
  if (open_ < 0) return title >= 0 ? openAt(title, -1) : Result{};
  if (title == open_) {
    close();
    return {true, true, 0};
  }
  if (title >= 0) return openAt(title, -1);
  const int32_t item = itemAt(x, y);
  if (item >= 0) return openAt(open_, item);
  const Rect pr = popupRect();
  if (x >= pr.left && x < pr.right && y >= pr.top && y < pr.bottom) return {true, false, 0};
  // A press anywhere else closes the menu and goes no further, as with a native menu.
  close();
  return {true, true, 0};
}

MenuBar::Result MenuBar::move(int32_t x, int32_t y) {
  if (open_ < 0) return {};
  const int32_t title = titleAt(x, y);
  if (title >= 0 && title != open_) return openAt(title, -1);
  const int32_t item = itemAt(x, y);
  if (item >= 0 && item != selected_) return openAt(open_, item);
  return {true, false, 0};
}

MenuBar::Result MenuBar::release(int32_t x, int32_t y) {
  if (open_ < 0) return {};
  const int32_t item = itemAt(x, y);
  if (item >= 0) return choose(item);
  return {true, false, 0};
}

MenuBar::Result MenuBar::key(uint32_t vk, bool alt) {
  if (open_ < 0) {
    if (!alt) return {};
    for (int32_t i = 0; i < count_; ++i)
      if (vk == mnemonicOf(popups_[i].title)) return openAt(i, 0);
    if (vk == vkF10) return openAt(0, 0);
    return {};
  }
  const int32_t items = popups_[open_].count;
  switch (vk) {
    case vkEscape:
      close();
      return {true, true, 0};
    case vkLeft:
      return openAt((open_ + count_ - 1) % count_, 0);
    case vkRight:
      return openAt((open_ + 1) % count_, 0);
    case vkUp:
      return openAt(open_, selected_ <= 0 ? items - 1 : selected_ - 1);
    case vkDown:
      return openAt(open_, selected_ < 0 || selected_ + 1 >= items ? 0 : selected_ + 1);
    case vkReturn:
      if (selected_ >= 0) return choose(selected_);
      return {true, false, 0};
    default:
      break;
  }
  for (int32_t k = 0; k < items; ++k)
    if (vk == mnemonicOf(popups_[open_].items[k].text)) return choose(k);
  if (alt)
    for (int32_t i = 0; i < count_; ++i)
      if (vk == mnemonicOf(popups_[i].title)) return openAt(i, 0);
  // While a menu is open it takes every key.
  return {true, false, 0};
}

}  // namespace ui

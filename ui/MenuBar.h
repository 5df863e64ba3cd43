#pragma once

#include <cstdint>
#include <vector>

#include "ui/MenuModel.h"
#include "ui/Painter.h"

namespace ui {

// A menu bar drawn by the toolkit, for platforms without a native one: the titles on the bar,
// one popup open at a time, driven by the mouse and by Alt + mnemonic, arrows, Enter and Esc.
class MenuBar {
 public:
  static constexpr int32_t barHeight = 19;
  static constexpr int32_t itemHeight = 18;

  MenuBar(const MenuPopup* popups, int32_t count);

  // Measures titles and items; call before painting or input, again after the fonts change.
  void layout(Painter& p);
  // The bar lies at (0, 0) to (width, barHeight) of the window.
  void paintBar(Painter& p, int32_t width) const;
  // Painted in the popup's own coordinates, (0, 0) at popupRect()'s corner.
  void paintPopup(Painter& p) const;
  Rect popupRect() const;  // in window coordinates; empty while closed
  Rect titleRect(int32_t popup) const;
  Rect itemRect(int32_t item) const;  // window coordinates, in the open popup

  struct Result {
    bool consumed = false;  // the event belonged to the menu
    bool changed = false;   // bar or popup must be repainted (or the popup moved, opened, closed)
    int32_t command = 0;    // chosen command, 0 for none
  };
  // Mouse positions in window coordinates (the bar at the top).
  Result press(int32_t x, int32_t y);
  Result move(int32_t x, int32_t y);
  Result release(int32_t x, int32_t y);
  // A key (virtual-key code, letters upper case) with or without Alt.
  Result key(uint32_t vk, bool alt);
  void close();
  // The check mark before the item of `command`.
  void setChecked(int32_t command, bool checked);
  bool isChecked(int32_t command) const;

  bool isOpen() const { return open_ >= 0; }
  int32_t openPopup() const { return open_; }
  int32_t selectedItem() const { return selected_; }

 private:
  int32_t titleAt(int32_t x, int32_t y) const;
  int32_t itemAt(int32_t x, int32_t y) const;
  Result openAt(int32_t popup, int32_t item);
  Result choose(int32_t item);

  const MenuPopup* popups_;
  int32_t count_;
  std::vector<int32_t> titleLeft_;   // count_ + 1 edges
  std::vector<int32_t> popupWidth_;
  std::vector<int32_t> checked_;  // commands whose items carry a check mark
  int32_t open_ = -1;
  int32_t selected_ = -1;
};

}  // namespace ui

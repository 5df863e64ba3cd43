#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ui/Widgets.h"

namespace ui {

class Window;

// Owns the widgets of a window in creation order, which is also paint order, and turns a press
// and release over the same widget into a click.
class Form {
 public:
  Form() = default;
  virtual ~Form() = default;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  // Takes ownership; returns the widget (null stays null and is not added).
  Base* add(std::unique_ptr<Base> widget);
  template <class W>
  W* add(std::unique_ptr<W> widget) {
    W* raw = widget.get();
    add(std::unique_ptr<Base>(std::move(widget)));
    return raw;
  }
  Base* findById(int32_t id) const;
  // The last-added widget whose rect holds the point; widgets that take no hits are passed over.
  Base* hitTest(int32_t x, int32_t y) const;
  // Sees every message of the window; returns the widget when a click completes, else null.
  Base* trackMouse(Window& w, uint32_t message, intptr_t lParam);
  void paintAll(Painter& p) const;
  size_t size() const { return widgets_.size(); }
  Base* at(size_t i) const { return widgets_[i].get(); }

  Base* captured = nullptr;  // widget on which the current press started
  Base* hover = nullptr;     // widget under the pointer at the last press or move

 private:
  std::vector<std::unique_ptr<Base>> widgets_;
};

}  // namespace ui

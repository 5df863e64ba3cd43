#include "ui/Form.h"

#include "ui/Window.h"

namespace ui {

namespace {

void repaint(Window& w, Base& widget) {
  if (std::unique_ptr<Painter> p = w.painter()) widget.paint(*p);
}

}  // namespace

Base* Form::add(std::unique_ptr<Base> widget) {
  if (!widget) return nullptr;
  widgets_.push_back(std::move(widget));
  return widgets_.back().get();
}

Base* Form::findById(int32_t id) const {
  for (const auto& w : widgets_)
    if (w->id == id) return w.get();
  return nullptr;
}

Base* Form::hitTest(int32_t x, int32_t y) const {
  for (auto it = widgets_.rbegin(); it != widgets_.rend(); ++it) {
    const Rect& r = (*it)->rect;
    if ((*it)->takesHits() && x >= r.left && x < r.right && y >= r.top && y < r.bottom) return it->get();
  }
  return nullptr;
}

Base* Form::trackMouse(Window& w, uint32_t message, intptr_t lParam) {
  const int32_t x = pointX(lParam);
  const int32_t y = pointY(lParam);
  switch (message) {
    case msgLButtonDown: {
      Base* hit = hitTest(x, y);
      if (captured && captured != hit && captured->pressed) {
        // The release of the last press never came (the capture was taken away): undraw it.
        captured->pressed = false;
        repaint(w, *captured);
      }
      hover = captured = hit;
      if (!hit) return nullptr;
      if (!hit->enabled) {
        captured = nullptr;
        return nullptr;
      }
      hit->pressed = true;
      repaint(w, *hit);
      w.setCapture();
      return nullptr;
    }
    case msgMouseMove: {
      if (!captured) return nullptr;
      Base* hit = hitTest(x, y);
      if (hit != hover) {
        if (hit == captured) {
          captured->pressed = true;
          repaint(w, *captured);
        } else if (hover == captured) {
          captured->pressed = false;
          repaint(w, *captured);
        }
      }
      hover = hit;
      return nullptr;
    }
    case msgLButtonUp: {
      if (!captured) return nullptr;
      Base* result = nullptr;
      if (hitTest(x, y) == captured) {
        captured->pressed = false;
        repaint(w, *captured);
        result = captured;
      } else if (captured->pressed) {
        // Released away from the widget with no move reported in between: it must not stay pressed.
        captured->pressed = false;
        repaint(w, *captured);
      }
      w.releaseCapture();
      captured = nullptr;
      return result;
    }
    default:
      return nullptr;
  }
}

void Form::paintAll(Painter& p) const {
  for (const auto& w : widgets_) w->paint(p);
}

}  // namespace ui

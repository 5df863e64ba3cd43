#pragma once

#include <cstdint>
#include <string>

#include "ui/Painter.h"

namespace ui {

class Window;

// An owner-drawn widget of the settings window: it paints itself and is hit-tested by its rect.
class Base {
 public:
  Base(const Rect& rect, int32_t id) : rect(rect), id(id) {}
  virtual ~Base() = default;
  Base(const Base&) = delete;
  Base& operator=(const Base&) = delete;

  virtual void paint(Painter& p) = 0;
  virtual void invalidate(Window& w);
  // The group box answers false: a press on it would paint its white fill over the widgets inside.
  virtual bool takesHits() const { return true; }

  Rect rect;
  bool enabled = true;
  bool pressed = false;
  int32_t id;
};

class GroupRect : public Base {
 public:
  GroupRect(const Rect& rect, int32_t id) : Base(rect, id) {}
  void paint(Painter& p) override;
  bool takesHits() const override { return false; }
};

class Label : public Base {
 public:
  // align: 0 left, 1 centre, anything else right.
  Label(const Rect& rect, int32_t id, std::string text, int32_t align, bool bold)
      : Base(rect, id), text(std::move(text)), bold(bold), align(align) {}
  void paint(Painter& p) override;

  std::string text;  // UTF-8
  bool bold;
  int32_t align;
};

class Button : public Label {
 public:
  Button(const Rect& rect, int32_t id, std::string text) : Label(rect, id, std::move(text), 1, false) {}
  void paint(Painter& p) override;
};

class Checkbox : public Button {
 public:
  Checkbox(const Rect& rect, int32_t id, std::string text) : Button(rect, id, std::move(text)) {}
  void paint(Painter& p) override;

  bool checked = false;
};

// A two-state button used as a tab; `checked` is its on state.
class OnOffBtn : public Checkbox {
 public:
  OnOffBtn(const Rect& rect, int32_t id, std::string text) : Checkbox(rect, id, std::move(text)) {}
  void paint(Painter& p) override;
};

}  // namespace ui

#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/Window.h"

namespace vltest {

// One drawing call, as the widget made it.
struct PaintOp {
  enum Kind { line, frame, fill, text } kind;
  ui::Rect r;  // line: (x0, y0, x1, y1)
  ui::Colour colour = ui::Colour::black;  // frame, fill; text: foreground
  ui::Colour back = ui::Colour::white;    // text background
  uint32_t flags = 0;
  ui::Font font = ui::Font::normal;
  std::string str = {};
  bool operator==(const PaintOp&) const = default;
};

class RecordingPainter : public ui::Painter {
 public:
  explicit RecordingPainter(std::vector<PaintOp>& ops) : ops_(ops) {}
  void line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) override {
    ops_.push_back({PaintOp::line, {x0, y0, x1, y1}});
  }
  void frameRect(const ui::Rect& r, ui::Colour c) override { ops_.push_back({PaintOp::frame, r, c}); }
  void fillRect(const ui::Rect& r, ui::Colour c) override { ops_.push_back({PaintOp::fill, r, c}); }
  void drawText(std::string_view s, const ui::Rect& r, uint32_t flags, ui::Font font, ui::Colour fore,
                ui::Colour back) override {
    ops_.push_back({PaintOp::text, r, fore, back, flags, font, std::string(s)});
  }
  int32_t textWidth(std::string_view s, ui::Font) override { return static_cast<int32_t>(s.size()) * 6; }

 private:
  std::vector<PaintOp>& ops_;
};

// A window that records what the toolkit asks of it.
class FakeWindow : public ui::Window {
 public:
  std::unique_ptr<ui::Painter> painter() override {
    ++painters;
    return std::make_unique<RecordingPainter>(ops);
  }
  std::unique_ptr<ui::Painter> beginPaint() override { return painter(); }
  void invalidate(const ui::Rect* r) override { invalidated.push_back(r ? *r : ui::Rect{}); }
  void setCapture() override { ++captures, capturing = true; }
  void releaseCapture() override { ++releases, capturing = false; }
  void setTimer(uint32_t id, uint32_t ms) override { timers.push_back({id, ms}); }
  void setTitle(const char*) override {}
  void show() override {}
  void destroy() override { ++destroys; }
  bool alive() const override { return true; }
  int32_t clientWidth() const override { return 314; }
  int32_t clientHeight() const override { return 336; }
  void checkMenuItem(int32_t command, bool checked) override { checks.push_back({command, checked}); }
  int32_t runAbout() override { return ++abouts, 1; }
  bool beginPick() override { return ++picks, true; }
  intptr_t defaultProc(uint32_t, uintptr_t, intptr_t) override { return 0; }
  void drawBits(const uint8_t*, int32_t, int32_t, int32_t, int32_t, int32_t, ui::Colour, ui::Colour) override {}

  std::vector<PaintOp> ops;
  std::vector<ui::Rect> invalidated;
  std::vector<std::pair<uint32_t, uint32_t>> timers;  // id, period
  std::vector<std::pair<int32_t, bool>> checks;       // command, checked
  int painters = 0;
  int destroys = 0;
  int abouts = 0;
  int picks = 0;
  int captures = 0;
  int releases = 0;
  bool capturing = false;
};

}  // namespace vltest

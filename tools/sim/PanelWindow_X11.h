#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// The panel shown live in an X11 window, doubled where the screen has room (PanelPlace).
class PanelWindow {
 public:
  PanelWindow();
  ~PanelWindow();
  PanelWindow(const PanelWindow&) = delete;
  PanelWindow& operator=(const PanelWindow&) = delete;

  bool open();                  // false when there is no X display
  int connection() const;       // the descriptor to poll, -1 when closed
  // Handles pending events; false once the user closed the window.
  bool handleEvents();
  // Draws the panel (400 x 240, one byte per pixel, non-zero bright).
  void show(const std::vector<uint8_t>& panel);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl;
};

#pragma once

// Where the simulator's window shows the panel, and at what size.
struct PanelPlace {
  int x = 0, y = 0;
  int scale = 2;  // 2: doubled, 1: the panel's own 400 x 240
  int width() const { return 400 * scale; }
  int height() const { return 240 * scale; }
};

// On a screen of this size: doubled where that fits beside the captured area (right of it,
// under the room the program's settings window takes there, else below it), else at 1:1 in
// the same places, else as large as fits in the screen's bottom right corner. Never off a
// screen that can hold the panel at all.
PanelPlace placePanel(int screenWidth, int screenHeight);

#pragma once

#include <cstdint>

namespace ui {

// What the settings window calls out to: display discovery, the screen source, the device links
// and the desktop's opener. The program wires the real routines; tests hand in their own.
class SettingsActions {
 public:
  virtual ~SettingsActions() = default;
  // Throws away and rebuilds the screen sources and the change list; 0 or -1.
  virtual int32_t discoverDisplays() = 0;
  // Re-creates the source of the current capture mode; 0 or -1.
  virtual int32_t rebuildSource() = 0;
  // Tears down and reopens every device link; 0 when at least one port opened, else -1.
  virtual int32_t openLinks() = 0;
  // The next port from start in the direction of step whose port opens, or -1.
  virtual int32_t findPort(int32_t start, int32_t step) = 0;
  // The maker's web page, in the desktop's browser.
  virtual void openWebPage();
  // Whether the desktop starts the program at login, and changing that (false: unchanged).
  virtual bool startsAtLogin();
  virtual bool setStartAtLogin(bool on);
  // The machine woke from sleep (the window was told so).
  virtual void machineResumed() {}
  // Opens the panel preview window, or raises it.
  virtual void openPreview() = 0;
};

}  // namespace ui

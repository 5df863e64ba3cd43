#pragma once

#include <memory>
#include <string>

#include "app/AppState.h"
#include "ui/PanelPreview.h"
#include "ui/SettingsActions.h"
#include "ui/SettingsWindow.h"

namespace vltest {

// The real link routines; display discovery is a seam fake that finds the main screen and no
// driver, as on a machine without the virtual display.
class HostActions : public ui::SettingsActions {
 public:
  explicit HostActions(AppState& app) : app_(app) {}
  int32_t discoverDisplays() override;
  int32_t rebuildSource() override;
  int32_t openLinks() override;
  int32_t findPort(int32_t start, int32_t step) override;
  void openWebPage() override { ++webPages; }
  void machineResumed() override { ++resumes; }
  void openPreview() override;

  int webPages = 0;
  int resumes = 0;
  std::unique_ptr<ui::PanelPreview> preview;

 private:
  AppState& app_;
};

// The settings window with a program's state around it, started and ended as the program does
// (settings loaded, a port found for the first slot, the links opened as the first housekeeping
// would, the settings saved at the end). With a state file, it writes what the window shows
// there after every message that changed it.
class SettingsHost : public ui::WindowHandler {
 public:
  explicit SettingsHost(std::string stateFile = {}) : stateFile_(std::move(stateFile)) {}
  bool start();
  int32_t finish();  // the result of saveSettings
  intptr_t message(ui::Window& w, uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  // One line per value widget, "id=text" (check boxes and device buttons add " [x]" when on),
  // then "current=N" and "releases=N", the count of button releases handled.
  std::string state() const;

  AppState app;
  HostActions actions{app};
  ui::SettingsWindow settings{app.devices, app.sources, actions};
  std::unique_ptr<ui::Window> window;

 private:
  std::string stateFile_;
  std::string written_;
  int releases_ = 0;
};

}  // namespace vltest

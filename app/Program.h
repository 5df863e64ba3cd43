#pragma once

#include <cstdint>
#include <memory>

#include "app/AppState.h"
#include "app/MainLoop.h"
#include "ui/SettingsActions.h"
#include "ui/Window.h"

namespace ui {
class PanelPreview;
class SettingsWindow;
}

// The routines the loop and the settings window call out to, on the program's own state.
class ProgramServices : public LoopServices, public ui::SettingsActions {
 public:
  explicit ProgramServices(AppState& app);
  ~ProgramServices() override;
  ui::Pumped pumpMessage() override;
  void waitForEvents(uint32_t ms, bool drawings) override;
  int32_t discoverDisplays() override;
  int32_t openLinks() override;
  int32_t rebuildSource() override;
  int32_t findPort(int32_t start, int32_t step) override;
  int32_t checkDriver() override;
  FrameWork changePending() override;
  void produceFrame() override;
  void showStatus() override;
  bool resumeReported() override;
  void machineResumed() override { resumeSeen = true; }
  void openPreview() override;

  ui::Window* window = nullptr;
  std::unique_ptr<ui::PanelPreview> preview;  // made when first opened
  ui::SettingsWindow* settings = nullptr;

 private:
  AppState& app;
  bool resumeSeen = false;
};

// The program from start to exit. The platform's entry point sets up what only it knows (timer
// resolution, signals, the caption's strings) and calls these in order.
class Program {
 public:
  Program();
  ~Program();

  // Settings, a port for the first device when it has none, and the displays.
  void start();
  // The settings window, shown with its caption; false when it could not be made.
  bool openWindow(const ui::WindowSpec& windowSpec);
  // The main loop until the quit message.
  void run();
  // Saves the settings, shuts every link down and frees the sources and displays; returns the
  // exit code.
  int32_t finish();

  AppState app;

 private:
  ProgramServices services{app};
  std::unique_ptr<ui::SettingsWindow> handler;
  std::unique_ptr<ui::Window> window;
};

// A quit asked from outside the window (a signal): the loop destroys the window and ends as if
// it had been closed.
void requestQuit();
bool quitRequested();

#include "app/Program.h"

#include <atomic>
#include <cstdlib>

#include "app/ProgramExit.h"
#include "comsrc/TickClock.h"
#include "link/LinkOpening.h"
#include "pipeline/ProduceFrame.h"
#include "settings/CaptureOptions.h"
#include "settings/PrefStore.h"
#include "settings/Settings.h"
#include "source/DisplayDiscovery.h"
#include "comsrc/Trace.h"
#include "ui/PanelPreview.h"
#include "ui/SettingsWindow.h"

namespace {
std::atomic<int> g_quitRequested{0};
}  // namespace

void requestQuit() { g_quitRequested.store(1, std::memory_order_relaxed); }
bool quitRequested() { return g_quitRequested.load(std::memory_order_relaxed) != 0; }

ProgramServices::ProgramServices(AppState& app) : app(app) {}

ProgramServices::~ProgramServices() = default;

ui::Pumped ProgramServices::pumpMessage() {
  // Closing the window is the one way out, so a quit from outside takes it too.
  if (quitRequested() && window && window->alive()) window->destroy();
  return ui::pumpMessage();
}

void ProgramServices::waitForEvents(uint32_t ms, bool drawings) {
  FrameSource* source = drawings && app.sources.sourceReady ? app.sources.activeSource() : nullptr;
  ui::waitForMessage(ms, source ? source->drawingEvents() : -1);
}

int32_t ProgramServices::discoverDisplays() { return ::discoverDisplays(app.sources); }

int32_t ProgramServices::openLinks() {
  const int32_t opened = ::openLinks(app.devices);
  if (preview) preview->follow();
  return opened;
}

int32_t ProgramServices::findPort(int32_t start, int32_t step) { return ::findPort(start, step); }

int32_t ProgramServices::rebuildSource() { return ::rebuildSource(app.sources); }

int32_t ProgramServices::checkDriver() { return ::checkDriver(app.sources); }

FrameWork ProgramServices::changePending() { return frameWorkPending(app.sources, app.devices); }

void ProgramServices::produceFrame() {
  ::produceFrame(app.frame, app.sources, app.devices);
  if (preview) preview->follow();
}

void ProgramServices::showStatus() {
  if (settings && window && window->alive()) settings->refreshValues(*window);
  if (preview) preview->follow();
}

void ProgramServices::openPreview() {
  if (!preview) preview = std::make_unique<ui::PanelPreview>(app.devices, app.sources);
  preview->open();
}

bool ProgramServices::resumeReported() {
  const bool seen = resumeSeen;
  resumeSeen = false;
  return seen;
}

Program::Program() = default;

Program::~Program() = default;

void Program::start() {
  DeviceSlots slots = app.devices.settings();
  loadSettings(app.settingsFile, app.prefStore, slots, app.sources.captureMode);
  takeCaptureOptions(app.prefStore, app.sources.options);
  if (slots[0].port < 1) slots[0].port = ::findPort(0, +1);
  app.devices.takeSettings(slots);
  ::discoverDisplays(app.sources);
}

bool Program::openWindow(const ui::WindowSpec& windowSpec) {
  handler = std::make_unique<ui::SettingsWindow>(app.devices, app.sources, services);
  if (tracing()) handler->setTrace(stderr);
  window = ui::createWindow(windowSpec, *handler);
  if (!window) return false;
  services.window = window.get();
  services.settings = handler.get();
  window->show();
  window->setTitle(ui::kSettingsCaption);
  return true;
}

void Program::run() {
  MainLoop loop(app.devices, app.sources, services, comsrc::systemPerfCounter());
  loop.run();
}

int32_t Program::finish() {
  services.preview.reset();
  window.reset();
  return finishProgram(app);
}

#include "SettingsHost.h"

#include <cstdio>

#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "link/LinkOpening.h"
#include "settings/Settings.h"

namespace vltest {

int32_t HostActions::discoverDisplays() {
  app_.sources.changeList = std::make_unique<comsrc::RectList>();
  app_.sources.driverDisplayFound = 0;
  app_.sources.driverDisplayAttached = 0;
  app_.sources.sourceReady = app_.sources.mirrorsExternalMonitor() ? 0 : 1;
  return 0;
}

int32_t HostActions::rebuildSource() { return app_.sources.sourceReady ? 0 : -1; }
int32_t HostActions::openLinks() { return ::openLinks(app_.devices); }
int32_t HostActions::findPort(int32_t start, int32_t step) { return ::findPort(start, step); }

void HostActions::openPreview() {
  if (!preview) preview = std::make_unique<ui::PanelPreview>(app_.devices, app_.sources);
  preview->open();
}

bool SettingsHost::start() {
  DeviceSlots slots = app.devices.settings();
  loadSettings(app.prefStore, slots, app.sources.captureMode);
  if (slots[0].port < 1) slots[0].port = actions.findPort(0, 1);
  app.devices.takeSettings(slots);
  actions.discoverDisplays();
  window = ui::createWindow(ui::WindowSpec{}, *this);
  if (!window) return false;
  window->show();
  window->setTitle(ui::kSettingsCaption);
  if (actions.openLinks() == 0) actions.rebuildSource();
  return true;
}

int32_t SettingsHost::finish() {
  actions.preview.reset();
  window.reset();
  const int32_t saved = saveSettings(app.prefStore, app.devices.settings(), app.sources.captureMode);
  app.devices.closeLinks();
  return saved;
}

std::string SettingsHost::state() const {
  std::string out;
  const ui::Form& form = settings.form();
  for (size_t i = 0; i < form.size(); ++i) {
    const auto* label = dynamic_cast<const ui::Label*>(form.at(i));
    if (!label || label->id == 0 || (dynamic_cast<const ui::Button*>(label) && !dynamic_cast<const ui::Checkbox*>(label)))
      continue;
    out += std::to_string(label->id) + "=" + label->text;
    if (const auto* box = dynamic_cast<const ui::Checkbox*>(label); box && box->checked) out += " [x]";
    out += "\n";
  }
  return out + "current=" + std::to_string(settings.currentDevice()) + "\nreleases=" + std::to_string(releases_) + "\n";
}

intptr_t SettingsHost::message(ui::Window& w, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  const intptr_t result = settings.message(w, msg, wParam, lParam);
  if (msg == ui::msgLButtonUp) ++releases_;
  if (!stateFile_.empty()) {
    std::string now = state();
    if (now != written_) {
      const std::string temp = stateFile_ + ".tmp";
      if (std::FILE* f = std::fopen(temp.c_str(), "wb")) {
        const bool ok = std::fwrite(now.data(), 1, now.size(), f) == now.size();
        if (std::fclose(f) == 0 && ok) {
          std::remove(stateFile_.c_str());
          std::rename(temp.c_str(), stateFile_.c_str());
          written_ = std::move(now);
        }
      }
    }
  }
  return result;
}

}  // namespace vltest

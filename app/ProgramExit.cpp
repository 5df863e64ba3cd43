#include "app/ProgramExit.h"

#include "app/AppState.h"
#include "settings/Settings.h"

void rescueProgram(AppState& app) {
  saveSettings(app.prefStore, app.devices.deviceSlots, app.sources.captureMode);
  app.devices.closeLinks();
}

int32_t finishProgram(AppState& app) {
  rescueProgram(app);
  app.sources.release();
  return 0;
}

#include "app/ProgramExit.h"

#include "app/AppState.h"
#include "settings/CaptureOptions.h"
#include "settings/Settings.h"

void rescueProgram(AppState& app) {
  putCaptureOptions(app.prefStore, app.sources.options);
  saveSettings(app.settingsFile, app.prefStore, app.devices.settings(), app.sources.captureMode);
  app.devices.closeLinks();
}

int32_t finishProgram(AppState& app) {
  rescueProgram(app);
  app.sources.release();
  return 0;
}

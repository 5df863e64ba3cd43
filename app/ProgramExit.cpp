#include "app/ProgramExit.h"

#include "app/AppState.h"
#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "settings/PrefStore.h"
#include "settings/Settings.h"
#include "source/DeviceMediator.h"
#include "source/HDCAcquirer.h"

void rescueProgram(AppState& app) {
  saveSettings(*app.prefStore, app.deviceSlots, app.captureMode);
  for (auto& link : app.deviceLinks)
    if (link) link->shutdown();
  app.deviceLinks.clear();
}

int32_t finishProgram(AppState& app) {
  rescueProgram(app);
  app.changeList.reset();
  app.gdiSource.reset();
  app.driverSource.reset();
  app.mainDisplay.reset();
  app.driverDisplay.reset();
  return 0;
}

#include "app/AppState.h"

#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "pipeline/FrameState.h"
#include "settings/PrefStore.h"
#include "source/DeviceMediator.h"
#include "source/HDCAcquirer.h"

AppState::AppState() : prefStore(std::make_unique<PrefStore>()), frame(std::make_unique<FrameState>()) {}

AppState::~AppState() = default;

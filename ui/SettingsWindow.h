#pragma once

#include <cstdint>
#include <cstdio>

#include "settings/CaptureMode.h"
#include "ui/Form.h"
#include "ui/SettingsActions.h"
#include "ui/Window.h"

struct DeviceSettings;
struct Devices;
struct ScreenSources;

namespace ui {

// Ids of the settings window's widgets (captions all carry 0).
enum SettingsId : int32_t {
  idStatus = 1,
  idMode = 2,
  idPort = 3,
  idDriver = 4,
  idSpeed = 5,
  idCts = 6,
  idDither = 7,
  idContrast = 8,
  idOffset = 9,
  idGamma = 10,
  idRotate = 12,
  idInvert = 13,
  idPosX = 15,
  idPosY = 16,
  idDevice1 = 17,
  idDevice2 = 18,
  idActive = 19,
  idModeDown = 21,
  idModeUp = 22,
  idPortDown = 23,
  idPortUp = 24,
  idSpeedDown = 25,
  idSpeedUp = 26,
  idCtsToggle = 27,
  idDitherDown = 28,
  idDitherUp = 29,
  idContrastDown = 30,
  idContrastUp = 31,
  idOffsetDown = 32,
  idOffsetUp = 33,
  idGammaDown = 34,
  idGammaUp = 35,
  idRotateToggle = 37,
  idInvertToggle = 38,
  idPosXDown = 41,
  idPosXUp = 42,
  idPosYDown = 43,
  idPosYUp = 44,
  idGroup = 45,
};

inline constexpr int32_t kSettingsWidgetCount = 53;
inline constexpr uint32_t kRefreshTimerId = 0;
inline constexpr uint32_t kRefreshPeriodMs = 4000;
inline constexpr const char* kSettingsCaption = "Vantelink for LS027B4DH01";

// The settings window's procedure: builds the widgets, carries out clicks on them on the
// settings of the device being edited, and keeps the status texts current.
class SettingsWindow : public WindowHandler {
 public:
  SettingsWindow(Devices& devices, ScreenSources& sources, SettingsActions& actions);
  intptr_t message(Window& w, uint32_t msg, uintptr_t wParam, intptr_t lParam) override;

  // Rewrites every value widget from the settings and the status flags and repaints it.
  void refreshValues(Window& w);

  const Form& form() const { return form_; }
  int32_t selectedDevice() const { return selectedDevice_; }
  // The slot (0 or 1) being edited; a click on a device button takes effect with the next message.
  int32_t currentDevice() const { return currentDevice_; }

  // The speed list's neighbour of speed: down for step < 0, up otherwise.
  static int32_t stepSpeed(int32_t speed, int32_t step);

  // Every value text that changes is also written to out as "label ID TEXT" (null: nowhere), so
  // that what the window shows can be followed from outside.
  void setTrace(std::FILE* out) { trace_ = out; }

 private:
  void build();
  void click(Window& w, int32_t id, DeviceSettings& s, bool& changed);
  void reopen(Window& w, bool& changed);
  void markDirty(bool& changed);
  void redrawAll();
  void switchMode(CaptureMode mode);
  bool takePick(const DesktopPick& pick);
  bool askPortalForWindow();
  void setText(Painter* p, int32_t id, const char* text);
  // The value rows of the device being edited.
  void showDeviceValues(Painter* p, const DeviceSettings& s, bool portOk);

  Devices& devices_;
  ScreenSources& sources_;
  SettingsActions& actions_;
  Form form_;
  int32_t currentDevice_ = 0;
  int32_t selectedDevice_ = 0;
  bool showInitialising_ = true;
  bool pickingWindow_ = false;  // the pick under way chooses the window, else the area
  std::FILE* trace_ = nullptr;
};

}  // namespace ui

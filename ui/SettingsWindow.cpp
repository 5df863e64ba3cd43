#include "ui/SettingsWindow.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "comsrc/RectList.h"
#include "comsrc/Trace.h"
#include "settings/CaptureOptions.h"
#include "link/DeviceLink.h"
#include "link/Devices.h"
#include "source/CaptureArea.h"
#include "source/ScreenSources.h"
#include "ui/MenuModel.h"
#include "ui/Shell.h"
#include "ui/StartAtLogin.h"
#include "ui/resource.h"

namespace ui {

namespace {

constexpr int32_t kSpeeds[] = {9600,   19200,  38400,  57600,  76800,  115200, 153600,
                               204800, 250000, 307200, 409600, 500000, 1000000};
constexpr int32_t kSpeedCount = static_cast<int32_t>(std::size(kSpeeds));

struct Row {
  int32_t top;
  const char* caption;
  int32_t down;  // 0: the row has only a "+" button
  int32_t up;
  int32_t value;
};

constexpr Row kRows[] = {
    {110, "Vantela 接続ポート :", idPortDown, idPortUp, idPort},
    {128, "通信スピード :", idSpeedDown, idSpeedUp, idSpeed},
    {146, "CTSフロー制御 :", 0, idCtsToggle, idCts},
    {168, "ディザモード :", idDitherDown, idDitherUp, idDither},
    {186, "コントラスト調整 :", idContrastDown, idContrastUp, idContrast},
    {204, "明るさ調整 :", idOffsetDown, idOffsetUp, idOffset},
    {222, "ガンマ調整 :", idGammaDown, idGammaUp, idGamma},
    {244, "白黒反転 :", 0, idInvertToggle, idInvert},
    {262, "画面回転 :", 0, idRotateToggle, idRotate},
    {280, "水平位置 :", idPosXDown, idPosXUp, idPosX},
    {298, "垂直位置 :", idPosYDown, idPosYUp, idPosY},
};

void caption(Form& form, const Rect& r, const char* text) { form.add(std::make_unique<Label>(r, 0, text, 2, false)); }
void value(Form& form, const Rect& r, int32_t id) { form.add(std::make_unique<Label>(r, id, "*", 0, true)); }
void button(Form& form, const Rect& r, int32_t id, const char* text) {
  form.add(std::make_unique<Button>(r, id, text));
}

double clampStep(double v, double step) { return std::clamp(v + step, 0.5, 1.5); }
// In 64 bits: a position read from the file may lie at the end of the range.
int32_t clampStep(int32_t v, int32_t step, int32_t low, int32_t high) {
  return int32_t(std::clamp<int64_t>(int64_t{v} + step, low, high));
}

}  // namespace

void SettingsActions::openWebPage() { openAddress(webPageAddress()); }

bool SettingsActions::startsAtLogin() { return ui::startsAtLogin(); }

bool SettingsActions::setStartAtLogin(bool on) { return ui::setStartAtLogin(on); }

SettingsWindow::SettingsWindow(Devices& devices, ScreenSources& sources, SettingsActions& actions)
    : devices_(devices), sources_(sources), actions_(actions) {}

void SettingsWindow::build() {
  Form& f = form_;
  caption(f, {6, 2, 106, 16}, "状態 :");
  value(f, {110, 2, 310, 16}, idStatus);
  caption(f, {6, 20, 106, 34}, "Vantela 画面ドライバ :");
  value(f, {110, 20, 310, 34}, idDriver);
  caption(f, {6, 38, 106, 52}, "動作モード :");
  button(f, {110, 38, 124, 52}, idModeDown, "-");
  button(f, {128, 38, 142, 52}, idModeUp, "+");
  value(f, {148, 38, 288, 52}, idMode);
  f.add(std::make_unique<OnOffBtn>(Rect{6, 64, 106, 82}, idDevice1, "Vantela1 設定"));
  f.add(std::make_unique<OnOffBtn>(Rect{116, 64, 216, 82}, idDevice2, "Vantela2 設定"));
  f.add(std::make_unique<GroupRect>(Rect{5, 81, 306, 322}, idGroup));
  f.add(std::make_unique<Checkbox>(Rect{12, 82, 312, 106}, idActive, "オン"));
  for (const Row& row : kRows) {
    const int32_t top = row.top, bottom = row.top + 14;
    caption(f, {6, top, 106, bottom}, row.caption);
    if (row.down) button(f, {110, top, 124, bottom}, row.down, "-");
    button(f, {128, top, 142, bottom}, row.up, "+");
    value(f, {148, top, 288, bottom}, row.value);
  }
}

int32_t SettingsWindow::stepSpeed(int32_t speed, int32_t step) {
  int32_t i = 0;
  while (i < kSpeedCount && kSpeeds[i] < speed) ++i;
  if (i == kSpeedCount) i = 0;
  i += step < 0 ? -1 : 1;
  if (i < 0) i = kSpeedCount - 1;
  if (i >= kSpeedCount) i = 0;
  return kSpeeds[i];
}

void SettingsWindow::reopen(Window& w, bool& changed) {
  if (auto* status = dynamic_cast<Label*>(form_.findById(idStatus))) {
    status->text = "初期化中...";
    // Painted before the links are reopened: the window does not paint while that runs.
    if (std::unique_ptr<Painter> p = w.painter()) status->paint(*p);
  }
  if (actions_.openLinks() == 0) actions_.rebuildSource();
  changed = true;
}

// A picture setting changed: the device's link takes it, and every device is drawn anew.
void SettingsWindow::markDirty(bool& changed) {
  devices_.applySettings(static_cast<size_t>(currentDevice_));
  redrawAll();
  changed = true;
}

// Every device is drawn anew and sent every line, so that one that lost records recovers.
void SettingsWindow::redrawAll() {
  if (sources_.changeList) sources_.changeList->append(kCaptureArea);
  devices_.resendAll();
}

void SettingsWindow::click(Window& w, int32_t id, DeviceSettings& s, bool& changed) {
  switch (id) {
    case idDevice1:
    case idDevice2:
      selectedDevice_ = id == idDevice1 ? 0 : 1;
      w.invalidate(nullptr);
      return;
    case idActive: {
      const auto* box = dynamic_cast<const Checkbox*>(form_.findById(idActive));
      s.active = box && !box->checked ? 1 : 0;
      reopen(w, changed);
      return;
    }
    case idModeDown:
    case idModeUp:
      switchMode(steppedCaptureMode(sources_.captureMode, id == idModeDown ? -1 : 1));
      changed = true;
      return;
    case idPortDown:
    case idPortUp:
      s.port = actions_.findPort(s.port, id == idPortDown ? -1 : 1);
      reopen(w, changed);
      return;
    case idSpeedDown:
    case idSpeedUp:
      s.speed = stepSpeed(s.speed, id == idSpeedDown ? -1 : 1);
      reopen(w, changed);
      return;
    case idCtsToggle:
      s.cts = s.cts ? 0 : 1;
      reopen(w, changed);
      return;
    case idDitherDown:
      s.dither = s.dither < 1 ? 2 : s.dither - 1;
      break;
    case idDitherUp:
      // In 64 bits: the file may hold any number here.
      s.dither = int64_t{s.dither} + 1 >= 3 ? 0 : s.dither + 1;
      break;
    case idContrastDown:
    case idContrastUp:
      s.contrast = clampStep(s.contrast, id == idContrastDown ? -0.05 : 0.05);
      break;
    case idOffsetDown:
    case idOffsetUp:
      s.offset = clampStep(s.offset, id == idOffsetDown ? -8 : 8, -64, 64);
      break;
    case idGammaDown:
    case idGammaUp:
      s.gamma = clampStep(s.gamma, id == idGammaDown ? -0.05 : 0.05);
      break;
    case idRotateToggle:
      s.rotate = s.rotate ? 0 : 2;
      break;
    case idInvertToggle:
      s.invert ^= 1;
      break;
    case idPosXDown:
    case idPosXUp:
      s.posX = clampStep(s.posX, id == idPosXDown ? -16 : 16, 0, 128);
      break;
    case idPosYDown:
    case idPosYUp:
      s.posY = clampStep(s.posY, id == idPosYDown ? -16 : 16, 0, 64);
      break;
    default:
      return;  // captions, value labels and the group box do nothing
  }
  markDirty(changed);
}

void SettingsWindow::switchMode(CaptureMode mode) {
  // A new mode may ask the user for the screen again, once.
  if (mode != sources_.captureMode) sources_.portalRefused = false;
  sources_.captureMode = mode;
  actions_.discoverDisplays();
}

// The area's top left, or the window, becomes the choice, and the mirror shows it.
bool SettingsWindow::takePick(const DesktopPick& pick) {
  CaptureOptions& options = sources_.options;
  std::string line;
  if (pick.cancelled) {
    trace("pick", "cancelled");
    return false;
  }
  if (pickingWindow_ && pick.title.empty() && pick.windowClass.empty()) {
    // The bare desktop: stored, it would match whatever window is on top.
    trace("pick", "no window under the click; the window chosen before stays");
    return false;
  }
  if (pickingWindow_) {
    options.windowTitle = pick.title;
    options.windowClass = pick.windowClass;
    line = "window title \"" + pick.title + "\" class \"" + pick.windowClass + "\"";
  } else {
    options.areaX = std::clamp(pick.x, -kAreaReach, kAreaReach);
    options.areaY = std::clamp(pick.y, -kAreaReach, kAreaReach);
    line = "area at " + std::to_string(options.areaX) + "," + std::to_string(options.areaY);
  }
  trace("pick", line.c_str());
  switchMode(pickingWindow_ ? CaptureMode::window : CaptureMode::mainScreen);
  redrawAll();
  return true;
}

// The desktop portal's own dialog chooses the window: a session without the window's token asks.
bool SettingsWindow::askPortalForWindow() {
  sources_.options.portalWindowToken.clear();
  sources_.portalRefused = false;
  sources_.dropMirror();
  trace("pick", "the desktop portal's dialog chooses the window");
  switchMode(CaptureMode::window);
  redrawAll();
  return true;
}

intptr_t SettingsWindow::message(Window& w, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  bool changed = false;
  if (selectedDevice_ != currentDevice_) {
    currentDevice_ = selectedDevice_;
    changed = true;
  }
  DeviceSettings* s = static_cast<size_t>(currentDevice_) < devices_.slots.size()
                          ? &devices_.slots[static_cast<size_t>(currentDevice_)].settings
                          : nullptr;
  if (Base* clicked = form_.trackMouse(w, msg, lParam); clicked && s) click(w, clicked->id, *s, changed);

  intptr_t result = 0;
  switch (msg) {
    case msgCreate:
      if (form_.size() == 0) build();
      w.setTimer(kRefreshTimerId, kRefreshPeriodMs);
      break;
    case msgDestroy:
      postQuit();
      break;
    case msgPaint:
      actions_.discoverDisplays();
      if (std::unique_ptr<Painter> p = w.beginPaint()) form_.paintAll(*p);
      break;
    case msgKeyDown:
      if ((wParam & 0xFFFF) == '1') selectedDevice_ = 0;
      if ((wParam & 0xFFFF) == '2') selectedDevice_ = 1;
      w.invalidate(nullptr);
      break;
    case msgCommand:
      switch (wParam & 0xFFFF) {
        case IDM_ABOUT:
          w.runAbout();
          break;
        case IDM_EXIT:
          w.destroy();
          break;
        case IDM_WEBPAGE:
          actions_.openWebPage();
          break;
        case IDM_PREVIEW:
          actions_.openPreview();
          break;
        case IDM_PICKAREA:
        case IDM_PICKWINDOW:
          pickingWindow_ = (wParam & 0xFFFF) == IDM_PICKWINDOW;
          if (pickingWindow_ && sources_.portalChoosesWindow)
            changed = askPortalForWindow();
          else if (!w.beginPick())
            trace("pick", "this desktop offers no pick; the settings file names the area and window");
          break;
        case IDM_STARTATLOGIN:
          actions_.setStartAtLogin(!actions_.startsAtLogin());
          break;
        default:
          result = w.defaultProc(msg, wParam, lParam);
          break;
      }
      break;
    case msgTimer:
      redrawAll();
      break;
    case msgInitMenuPopup:
      // Read each time: the desktop's own settings may have changed it meanwhile.
      w.checkMenuItem(IDM_STARTATLOGIN, actions_.startsAtLogin());
      break;
    case msgPicked:
      if (lParam) changed = takePick(*reinterpret_cast<const DesktopPick*>(lParam));
      break;
    case msgPowerBroadcast:
      if (wParam == pbtResumeAutomatic) actions_.machineResumed();
      result = w.defaultProc(msg, wParam, lParam);
      break;
    default:
      result = w.defaultProc(msg, wParam, lParam);
      break;
  }
  if (msg == msgCreate || msg == msgTimer || changed) refreshValues(w);
  return result;
}

}  // namespace ui

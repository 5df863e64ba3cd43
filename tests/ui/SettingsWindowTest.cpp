// The settings window's procedure against a fake window, a recording painter and fake actions.
#include <gtest/gtest.h>

#include "FakeWindow.h"
#include "app/AppState.h"
#include "comsrc/RectList.h"
#include "link/DeviceLink.h"
#include "ui/SettingsWindow.h"
#include "ui/resource.h"

namespace {

using namespace ui;

class SwitchableStream : public multio::Stream {
 public:
  explicit SwitchableStream(bool fail) : fail_(fail) {}
  bool failed() override { return fail_; }

 private:
  bool fail_;
};

struct FakeActions : SettingsActions {
  int32_t discoverDisplays() override { return calls.push_back("discover"), 0; }
  int32_t rebuildSource() override { return calls.push_back("rebuild"), 0; }
  int32_t openLinks() override {
    calls.push_back("open");
    // What the user sees while the links reopen.
    statusWhileOpening = window && !window->ops.empty() ? window->ops.back().str : "";
    return openResult;
  }
  int32_t findPort(int32_t start, int32_t step) override {
    calls.push_back("find " + std::to_string(start) + " " + std::to_string(step));
    return foundPort;
  }
  void openWebPage() override { calls.push_back("web"); }
  bool startsAtLogin() override { return atLogin; }
  bool setStartAtLogin(bool on) override {
    calls.push_back(on ? "login on" : "login off");
    atLogin = on;
    return true;
  }
  void openPreview() override { calls.push_back("preview"); }

  std::vector<std::string> calls;
  vltest::FakeWindow* window = nullptr;
  std::string statusWhileOpening;
  int32_t openResult = 0;
  int32_t foundPort = 7;
  bool atLogin = false;
};

struct SettingsWindowTest : testing::Test {
  SettingsWindowTest() {
    actions.window = &fw;
    win.message(fw, msgCreate, 0, 0);
  }
  DeviceSettings& slot() { return app.devices.slots[static_cast<size_t>(win.currentDevice())].settings; }
  std::string text(int32_t id) { return static_cast<const Label*>(win.form().findById(id))->text; }
  bool checked(int32_t id) { return static_cast<const Checkbox*>(win.form().findById(id))->checked; }
  Rect rect(int32_t id) { return win.form().findById(id)->rect; }
  void press(int32_t id, int32_t releaseOn) {
    const Rect a = rect(id), b = rect(releaseOn);
    win.message(fw, msgLButtonDown, 0, pointParam(a.left + 3, a.top + 3));
    win.message(fw, msgMouseMove, 0, pointParam(b.left + 3, b.top + 3));
    win.message(fw, msgLButtonUp, 0, pointParam(b.left + 3, b.top + 3));
  }
  void click(int32_t id) { press(id, id); }
  std::string after(int32_t button, int32_t label) { return click(button), text(label); }
  void refresh() { win.message(fw, msgTimer, 0, 0); }

  AppState app;
  FakeActions actions;
  SettingsWindow win{app.devices, app.sources, actions};
  vltest::FakeWindow fw;
};

TEST_F(SettingsWindowTest, CreatesTheWidgetsInOrderStartsTheTimerAndShowsInitialising) {
  const std::vector<int32_t> ids = {0, 1, 0, 4, 0,  21, 22, 2, 17, 18, 45, 19, 0,  23, 24, 3,  0,  25,
                                    26, 5, 0, 27, 6, 0, 28, 29, 7, 0, 30, 31, 8, 0,  32, 33, 9,  0,
                                    34, 35, 10, 0, 38, 13, 0, 37, 12, 0, 41, 42, 15, 0, 43, 44, 16};
  ASSERT_EQ(win.form().size(), static_cast<size_t>(kSettingsWidgetCount));
  for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(win.form().at(i)->id, ids[i]) << "widget " << i;
  EXPECT_EQ(rect(idActive), (Rect{12, 82, 312, 106}));
  EXPECT_EQ(rect(idGroup), (Rect{5, 81, 306, 322}));
  EXPECT_EQ(rect(idPosYUp), (Rect{128, 298, 142, 312}));
  EXPECT_EQ(rect(idInvert), (Rect{148, 244, 288, 258}));
  const auto* caption = static_cast<const Label*>(win.form().at(27));
  EXPECT_EQ(caption->text, "コントラスト調整 :");
  EXPECT_EQ(caption->align, 2);
  EXPECT_FALSE(caption->bold);
  EXPECT_TRUE(static_cast<const Label*>(win.form().findById(idContrast))->bold);
  ASSERT_EQ(fw.timers.size(), 1u);
  EXPECT_EQ(fw.timers[0], (std::pair<uint32_t, uint32_t>{0, 4000}));
  EXPECT_EQ(text(idStatus), "初期化中...");
  refresh();
  EXPECT_EQ(text(idStatus), "*画面のプロパティを確認してください*");
}

TEST_F(SettingsWindowTest, SteppingRulesAndClamps) {
  slot().speed = 1000000;
  EXPECT_EQ(after(idSpeedUp, idSpeed), "9.600 kbps");
  EXPECT_EQ(after(idSpeedDown, idSpeed), "1000.000 kbps");
  slot().speed = 100000;
  EXPECT_EQ(after(idSpeedDown, idSpeed), "76.800 kbps");
  slot().speed = 100000;
  EXPECT_EQ(after(idSpeedUp, idSpeed), "153.600 kbps");
  EXPECT_EQ(SettingsWindow::stepSpeed(2000000, 1), 19200);  // above the list: stepped from its start

  slot().dither = 0;
  EXPECT_EQ(after(idDitherDown, idDither), "4色ハーフトーン");
  EXPECT_EQ(after(idDitherUp, idDither), "白黒2値");
  EXPECT_EQ(after(idDitherUp, idDither), "Floyd-Steinberg");

  slot().contrast = 1.5;
  EXPECT_EQ(after(idContrastUp, idContrast), "1.50");
  slot().contrast = 0.52;
  EXPECT_EQ(after(idContrastDown, idContrast), "0.50");
  EXPECT_EQ(slot().contrast, 0.5);
  slot().gamma = 1.0;
  EXPECT_EQ(after(idGammaUp, idGamma), "1.05");
  slot().posX = 120;
  EXPECT_EQ(after(idPosXUp, idPosX), "128");
  slot().posY = 8;
  EXPECT_EQ(after(idPosYDown, idPosY), "0");
  slot().offset = -60;
  EXPECT_EQ(after(idOffsetDown, idOffset), "-64");

  // Values from the file outside the range: the first click pulls them to the bound.
  slot().posX = 500;
  EXPECT_EQ(after(idPosXDown, idPosX), "128");
  slot().posY = -40;
  EXPECT_EQ(after(idPosYUp, idPosY), "0");
  slot().posX = INT32_MAX;  // a step past the end of the range must not wrap around
  EXPECT_EQ(after(idPosXUp, idPosX), "128");
  slot().posY = INT32_MIN;
  EXPECT_EQ(after(idPosYDown, idPosY), "0");
  slot().offset = 100;
  EXPECT_EQ(after(idOffsetUp, idOffset), "64");
  slot().gamma = 3.0;
  EXPECT_EQ(after(idGammaDown, idGamma), "1.50");
  slot().dither = 3;
  refresh();
  EXPECT_EQ(text(idDither), "???");
  slot().dither = INT32_MAX;  // "+" must not step past the end of the range
  EXPECT_EQ(after(idDitherUp, idDither), "白黒2値");
  slot().dither = INT32_MIN;
  EXPECT_EQ(after(idDitherDown, idDither), "4色ハーフトーン");

  EXPECT_EQ(after(idCtsToggle, idCts), "ON (無線用)");
  EXPECT_EQ(after(idCtsToggle, idCts), "off (有線用)");
  EXPECT_EQ(after(idInvertToggle, idInvert), "ON");
  EXPECT_EQ(after(idRotateToggle, idRotate), "ON");
  EXPECT_EQ(slot().rotate, 2);
  EXPECT_EQ(after(idModeUp, idMode), "外部モニタ");
  EXPECT_EQ(after(idModeDown, idMode), "メイン画面ミラー");
}

TEST_F(SettingsWindowTest, StatusDriverAndModeTextsInBothModes) {
  refresh();
  struct Case {
    int32_t mode, active, ready, open, found, attached;
    const char* status;
    const char* driver;
  };
  const Case cases[] = {
      {0, 0, 1, 1, 1, 1, "停止中", "動作中"},
      {0, 1, 0, 1, 0, 0, "*画面のプロパティを確認してください*", "*見つかりません*"},
      {0, 1, 1, 0, 1, 0, "*USB接続を確認してください*", "停止中"},
      {0, 1, 1, 1, 0, 0, "動作中", "*見つかりません*"},
      {1, 0, 0, 0, 0, 0, "停止中", "*見つかりません*"},
      {1, 1, 1, 1, 0, 0, "*ドライバをインストールしてください*", "*見つかりません*"},
      {1, 1, 1, 1, 1, 0, "*画面のプロパティを確認してください*", "停止中"},
      {1, 1, 1, 0, 1, 1, "*USB接続を確認してください*", "動作中"},
      {1, 1, 1, 1, 1, 1, "動作中", "動作中"},
      {2, 1, 0, 1, 1, 1, "*ウィンドウが見つかりません*", "動作中"},
      {2, 1, 1, 1, 0, 0, "動作中", "*見つかりません*"},
  };
  for (const Case& c : cases) {
    app.sources.captureMode = captureModeOf(c.mode), app.devices.anyDeviceActive = c.active, app.sources.sourceReady = c.ready, app.devices.linksOpen = c.open;
    app.sources.driverDisplayFound = c.found, app.sources.driverDisplayAttached = c.attached;
    refresh();
    EXPECT_EQ(text(idStatus), c.status) << "mode " << c.mode;
    EXPECT_EQ(text(idDriver), c.driver);
    EXPECT_EQ(text(idMode), c.mode == 2 ? "ウィンドウミラー" : c.mode ? "外部モニタ" : "メイン画面ミラー");
  }
  app.sources.windowMirrorUnavailable = true;
  refresh();
  EXPECT_EQ(text(idStatus), "*この環境ではウィンドウミラーを使えません*");

  // Port texts.
  slot().port = 5;
  refresh();
  EXPECT_EQ(text(idPort), "COM5 ");
  slot().active = 1, app.devices.slots[0].work.portOk = true;
  refresh();
  EXPECT_EQ(text(idPort), "COM5 OK");
  EXPECT_TRUE(checked(idActive));
  app.devices.slots[0].work.portOk = false;
  refresh();
  EXPECT_EQ(text(idPort), "COM5 *エラー*");
  for (int32_t port : {0, -1}) {
    slot().port = port;
    refresh();
    EXPECT_EQ(text(idPort), "*COMポートがありません*");
  }
  slot().speed = 115200, slot().offset = -64, slot().contrast = 1.0;
  refresh();
  EXPECT_EQ(text(idSpeed), "115.200 kbps");
  EXPECT_EQ(text(idOffset), "-64");
  EXPECT_EQ(text(idContrast), "1.00");
}

TEST_F(SettingsWindowTest, LinksShowTheirFailureAndTakeRotationInversionAndPositionAtOnce) {
  app.sources.changeList = std::make_unique<comsrc::RectList>();
  app.devices.slots[0].link = std::make_unique<DeviceLink>(std::make_unique<SwitchableStream>(false));
  app.devices.slots[1].link = std::make_unique<DeviceLink>(std::make_unique<SwitchableStream>(true));
  DeviceLink& link = *app.devices.slots[0].link;
  link.area = {0, 0, 400, 240};
  refresh();
  EXPECT_EQ(text(idDevice1), "Vantela1 設定");
  EXPECT_EQ(text(idDevice2), "Vantela2 *エラー*");
  EXPECT_TRUE(checked(idDevice1));
  EXPECT_FALSE(checked(idDevice2));
  EXPECT_EQ(app.sources.changeList->count(), 1u);  // the timer's full resend
  EXPECT_EQ(*app.sources.changeList->at(0), (Rect{0, 0, 640, 480}));

  app.sources.changeList->clear();
  click(idRotateToggle);
  EXPECT_EQ(link.rotate, 2);
  click(idInvertToggle);
  EXPECT_EQ(link.invert, 1);
  click(idPosXUp);
  click(idPosYUp);
  EXPECT_EQ(link.area, (Rect{16, 16, 416, 256}));
  EXPECT_EQ(app.sources.changeList->count(), 4u);
  EXPECT_TRUE(actions.calls.empty()) << "picture settings reopen nothing";
  app.sources.changeList->clear();
  click(idRotateToggle);
  EXPECT_EQ(link.rotate, 0);

  // Without a change list the timer still refreshes.
  app.sources.changeList.reset();
  app.devices.linksOpen = true, app.sources.sourceReady = true;
  refresh();
  EXPECT_EQ(text(idStatus), "動作中");
  app.devices.closeLinks();
}

TEST_F(SettingsWindowTest, DeviceSwitchByClickAndKeysKeyThreeOnlyRepaints) {
  app.devices.slots[1].settings.speed = 9600;
  click(idDevice2);
  EXPECT_EQ(fw.invalidated.size(), 1u);
  EXPECT_EQ(win.currentDevice(), 0) << "the switch reaches the program with the next message";
  win.message(fw, msgPaint, 0, 0);
  EXPECT_EQ(win.currentDevice(), 1);
  EXPECT_EQ(text(idSpeed), "9.600 kbps");
  EXPECT_TRUE(checked(idDevice2));
  EXPECT_EQ(actions.calls, std::vector<std::string>{"discover"});

  win.message(fw, msgKeyDown, '1', 0);
  win.message(fw, msgPaint, 0, 0);
  EXPECT_EQ(win.currentDevice(), 0);
  EXPECT_EQ(text(idSpeed), "500.000 kbps");
  win.message(fw, msgKeyDown, '2', 0);
  win.message(fw, msgPaint, 0, 0);
  EXPECT_EQ(win.currentDevice(), 1);

  const DeviceSlots before = app.devices.settings();
  const size_t ops = fw.ops.size(), invalidated = fw.invalidated.size();
  win.message(fw, msgKeyDown, '3', 0);
  EXPECT_EQ(fw.invalidated.size(), invalidated + 1);
  EXPECT_EQ(fw.ops.size(), ops) << "nothing refreshed";
  EXPECT_EQ(win.currentDevice(), 1);
  EXPECT_EQ(app.devices.slots[1].settings.speed, before[1].speed);

  // "-" pressed, "+" released: no click, nothing changes.
  press(idSpeedDown, idSpeedUp);
  press(idOffsetDown, idOffsetUp);
  EXPECT_EQ(app.devices.slots[1].settings.speed, 9600);
  EXPECT_EQ(app.devices.slots[1].settings.offset, 0);
  EXPECT_EQ(actions.calls.size(), 3u);  // the three paints' discoveries
}

TEST_F(SettingsWindowTest, ReopenPaintsInitialisingThenRebuildsOnlyWhenAPortOpened) {
  refresh();
  click(idActive);
  EXPECT_EQ(slot().active, 1);
  EXPECT_EQ(actions.statusWhileOpening, "初期化中...");
  EXPECT_EQ(actions.calls, (std::vector<std::string>{"open", "rebuild"}));
  EXPECT_TRUE(checked(idActive));
  click(idActive);
  EXPECT_EQ(slot().active, 0);

  actions.calls.clear();
  actions.openResult = -1;
  slot().port = 3;
  click(idPortUp);
  EXPECT_EQ(slot().port, 7);
  actions.foundPort = -1;
  click(idPortDown);
  EXPECT_EQ(slot().port, -1);
  click(idSpeedUp);
  click(idCtsToggle);
  EXPECT_EQ(actions.calls, (std::vector<std::string>{"find 3 1", "open", "find 7 -1", "open", "open", "open"}));
  EXPECT_EQ(text(idPort), "*COMポートがありません*");

  // The mode row steps through all three modes, both ways round.
  actions.calls.clear();
  click(idModeDown);
  EXPECT_EQ(app.sources.captureMode, CaptureMode::window);
  click(idModeDown);
  EXPECT_EQ(app.sources.captureMode, CaptureMode::externalMonitor);
  click(idModeUp);
  click(idModeUp);
  EXPECT_EQ(app.sources.captureMode, CaptureMode::mainScreen);
  EXPECT_EQ(actions.calls, std::vector<std::string>(4, "discover"));
}

TEST_F(SettingsWindowTest, MenuCommandsAndDestroy) {
  win.message(fw, msgCommand, IDM_ABOUT, 0);
  EXPECT_EQ(fw.abouts, 1);
  win.message(fw, msgCommand, IDM_WEBPAGE, 0);
  EXPECT_EQ(actions.calls, std::vector<std::string>{"web"});
  // The start-at-login item toggles what is set; its mark is read again whenever a popup opens,
  // so a change made outside the program shows too.
  win.message(fw, msgInitMenuPopup, 0, 0);
  win.message(fw, msgCommand, IDM_STARTATLOGIN, 0);
  win.message(fw, msgInitMenuPopup, 0, 0);
  actions.atLogin = false;
  win.message(fw, msgInitMenuPopup, 0, 0);
  win.message(fw, msgCommand, IDM_STARTATLOGIN, 0);
  win.message(fw, msgCommand, IDM_STARTATLOGIN, 0);
  win.message(fw, msgCommand, IDM_PREVIEW, 0);
  using Check = std::pair<int32_t, bool>;
  EXPECT_EQ(fw.checks, (std::vector<Check>{{IDM_STARTATLOGIN, false}, {IDM_STARTATLOGIN, true}, {IDM_STARTATLOGIN, false}}));
  EXPECT_EQ(actions.calls, (std::vector<std::string>{"web", "login on", "login on", "login off", "preview"}));

  // A pick chooses the area (main screen) or the window (window mirror); Escape changes nothing.
  actions.calls.clear();
  app.sources.captureMode = CaptureMode::externalMonitor;
  DesktopPick pick{-1280, 40000, "Notes — memo.txt", "notepad"};
  win.message(fw, msgCommand, IDM_PICKAREA, 0);
  win.message(fw, msgPicked, 0, reinterpret_cast<intptr_t>(&pick));
  EXPECT_EQ(app.sources.captureMode, CaptureMode::mainScreen);
  EXPECT_EQ(app.sources.options.areaX, -1280);
  EXPECT_EQ(app.sources.options.areaY, kAreaReach);
  EXPECT_EQ(app.sources.options.windowTitle, "");
  win.message(fw, msgCommand, IDM_PICKWINDOW, 0);
  win.message(fw, msgPicked, 0, reinterpret_cast<intptr_t>(&pick));
  EXPECT_EQ(app.sources.captureMode, CaptureMode::window);
  EXPECT_EQ(app.sources.options.windowTitle, "Notes — memo.txt");
  EXPECT_EQ(app.sources.options.windowClass, "notepad");
  const DesktopPick desktop{5, 5, "", ""};  // no window under the click: the choice stays
  win.message(fw, msgCommand, IDM_PICKWINDOW, 0);
  win.message(fw, msgPicked, 0, reinterpret_cast<intptr_t>(&desktop));
  EXPECT_EQ(app.sources.options.windowClass, "notepad");
  const DesktopPick escaped{0, 0, "", "", true};
  win.message(fw, msgCommand, IDM_PICKAREA, 0);
  win.message(fw, msgPicked, 0, reinterpret_cast<intptr_t>(&escaped));
  EXPECT_EQ(app.sources.captureMode, CaptureMode::window);
  EXPECT_EQ(app.sources.options.areaX, -1280);
  // Where the desktop portal's dialog chooses the window, the item asks it anew: no pick, the
  // window's token and a refusal forgotten.
  app.sources.portalChoosesWindow = app.sources.portalRefused = true;
  app.sources.options.portalWindowToken = "granted";
  win.message(fw, msgCommand, IDM_PICKWINDOW, 0);
  EXPECT_EQ(app.sources.options.portalWindowToken, "");
  EXPECT_FALSE(app.sources.portalRefused);
  EXPECT_EQ(fw.picks, 4);
  EXPECT_EQ(actions.calls, (std::vector<std::string>{"discover", "discover", "discover"}));
  win.message(fw, msgCommand, IDM_EXIT, 0);
  EXPECT_EQ(fw.destroys, 1);
  win.message(fw, msgDestroy, 0, 0);
  EXPECT_EQ(pumpMessage(), Pumped::quit) << "destroy posts the quit message";

  // Painting: discovery first, then every widget in form order (the group box before its rows).
  fw.ops.clear();
  win.message(fw, msgPaint, 0, 0);
  size_t groupFill = 0, lastText = 0;
  for (size_t i = 0; i < fw.ops.size(); ++i) {
    if (fw.ops[i].kind == vltest::PaintOp::fill && fw.ops[i].r == Rect{6, 82, 305, 321}) groupFill = i;
    if (fw.ops[i].kind == vltest::PaintOp::text) lastText = i;
  }
  EXPECT_GT(groupFill, 0u);
  EXPECT_EQ(fw.ops[lastText].r, rect(idPosY));
}

}  // namespace

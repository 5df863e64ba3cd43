// The settings window host in-process on the Win32 build (under Wine here): real clicks and keys
// through the input queue, texts read from its widgets, the client area compared with the X11
// build's capture, the settings saved at the end.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <functional>

#include "ClientCapture_Win32.h"
#include "GalleryProbes.h"
#include "Image.h"
#include "SettingsHost.h"
#include "link/DeviceLink.h"
#include "settings/PrefStore.h"
#include "settings/Settings.h"
#include "support/TempDir.h"
#include "ui/resource.h"

namespace {

using namespace ui;

struct SettingsWin32 : testing::Test {
  void SetUp() override {
    SetEnvironmentVariableA("APPDATA", dir.path().c_str());
    PrefStore store;
    DeviceSlots slots = makeDefaultSlots();
    slots[0].port = 63;  // a port no test machine has
    ASSERT_EQ(saveSettings(store, slots, CaptureMode::mainScreen), kSettingsOk);
    // The prefix's screen resolution, as Wine's settings give it.
    DWORD logPixels = 96, size = sizeof logPixels;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", RRF_RT_REG_DWORD, nullptr, &logPixels,
                     &size) == ERROR_SUCCESS)
      dpi = static_cast<int32_t>(logPixels);
    ASSERT_TRUE(host.start());
    hwnd = FindWindowW(L"VANTELINK", nullptr);
    ASSERT_NE(hwnd, nullptr);
    SetForegroundWindow(hwnd);
  }
  template <class F>
  bool pumpUntil(F done, int ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < end) {
      const Pumped r = pumpMessage();
      if (r == Pumped::quit) quit = true;
      if (r == Pumped::none) Sleep(2);
    }
    return done();
  }
  std::string text(int32_t id) { return static_cast<const Label*>(host.settings.form().findById(id))->text; }
  // A real click: the pointer moved onto the widget, the button pressed and released.
  void click(int32_t id) {
    const Rect r = host.settings.form().findById(id)->rect;
    POINT pt{scaled((r.left + r.right) / 2), scaled((r.top + r.bottom) / 2)};
    ClientToScreen(hwnd, &pt);
    vltest::clickAt(pt.x, pt.y);
  }
  void key(WORD vk) {
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
  }
  void expectText(int32_t id, const std::string& want) {
    EXPECT_TRUE(pumpUntil([&] { return text(id) == want; })) << "widget " << id << " shows " << text(id) << ", not " << want;
  }

  // Where a 96-dpi layout coordinate lands on this screen.
  int32_t scaled(int32_t x) const { return (x * dpi + 48) / 96; }

  int32_t dpi = 96;
  vltest::TempDir dir;
  vltest::SettingsHost host;
  HWND hwnd = nullptr;
  bool quit = false;
};

TEST_F(SettingsWin32, ClicksKeysAndPicksChangeTheSettingsTheLayoutMatchesX11AndTheFileKeepsThem) {
  char title[64] = {};
  GetWindowTextA(hwnd, title, sizeof title);
  EXPECT_STREQ(title, kSettingsCaption);
  const LONG frame = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_POPUP | WS_CHILD;
  EXPECT_EQ(GetWindowLongW(hwnd, GWL_STYLE) & frame, static_cast<LONG>(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
  RECT outer{};
  GetWindowRect(hwnd, &outer);
  EXPECT_EQ(outer.right - outer.left, 320);
  EXPECT_EQ(outer.bottom - outer.top, 380);
  EXPECT_EQ(host.window->clientWidth(), 314);
  EXPECT_EQ(host.window->clientHeight(), 336);
  ASSERT_TRUE(pumpUntil([&] { return text(idPort) == "COM63 "; }));
  EXPECT_EQ(text(idStatus), "初期化中...");

  click(idActive);
  expectText(idPort, "COM63 *エラー*");
  expectText(idStatus, "*USB接続を確認してください*");
  expectText(idDevice1, "Vantela1 *エラー*");
  click(idSpeedDown);
  expectText(idSpeed, "409.600 kbps");
  click(idDitherUp);
  expectText(idDither, "4色ハーフトーン");
  click(idContrastUp);
  expectText(idContrast, "1.05");
  click(idPosXUp);
  expectText(idPosX, "16");
  click(idInvertToggle);
  expectText(idInvert, "ON");

  // Captured with every value label filled, before the device switch.
  const vltest::Image shot = vltest::grabClient(hwnd);
  const char* b = std::getenv("VL_BINARY_DIR");
  const std::string artefacts = std::string(b ? b : ".") + "/artefacts";
  CreateDirectoryA(artefacts.c_str(), nullptr);
  EXPECT_TRUE(vltest::writePng(artefacts + "/settings-win32.png", shot));
  for (const std::string& line : vltest::checkGallery(host.settings.form(), shot)) ADD_FAILURE() << line;
  if (const char* src = std::getenv("VL_SOURCE_DIR")) {
    const std::string linuxDir = std::string(src) + "/build/linux/artefacts";
    vltest::Image x11;
    if (vltest::readStoredPng(linuxDir + "/settings-x11.png", x11)) {
      for (const std::string& line : vltest::compareTextBoxes(host.settings.form(), shot, x11))
        ADD_FAILURE() << "against X11: " << line;
      vltest::writePng(linuxDir + "/settings-win32.png", shot);
    }
  }

  click(idDevice2);
  ASSERT_TRUE(pumpUntil([&] { return host.settings.currentDevice() == 1; }));
  expectText(idSpeed, "500.000 kbps");
  key('1');
  ASSERT_TRUE(pumpUntil([&] { return host.settings.currentDevice() == 0; }));
  expectText(idSpeed, "409.600 kbps");
  click(idModeUp);
  expectText(idStatus, "*ドライバをインストールしてください*");
  click(idModeDown);
  expectText(idMode, "メイン画面ミラー");

  // The panel preview opens and paints: the missing device gets a stand-in at the next try of
  // the ports, and the lines its link remembers show doubled; its close box closes it alone.
  PostMessageW(hwnd, WM_COMMAND, IDM_PREVIEW, 0);
  HWND preview = nullptr;
  ASSERT_TRUE(pumpUntil([&] { return (preview = FindWindowW(L"VANTELINK_PREVIEW", nullptr)) != nullptr; }));
  EXPECT_EQ(host.actions.openLinks(), -1);
  ASSERT_TRUE(host.app.devices.slots[0].work.standIn);
  uint8_t line[ShownLines::kBytes] = {};
  line[0] = 0x01;                      // the leftmost pixel
  line[ShownLines::kBytes - 1] = 0x80;  // the rightmost
  host.app.devices.link(0)->shown.remember(1, line);
  host.actions.preview->follow();
  pumpUntil([] { return false; }, 300);
  const vltest::Image panel = vltest::grabClient(preview);
  const int32_t left = PanelPreview::imageLeft(), top = PanelPreview::imageTop(0);
  for (int32_t d = 0; d < 2; ++d) {
    EXPECT_EQ(panel.at(left + d, top + 1 - d), vltest::kWhite) << d;
    EXPECT_EQ(panel.at(left + PanelPreview::kImageWidth - 1 - d, top + d), vltest::kWhite) << d;
  }
  EXPECT_EQ(panel.at(left + 2, top), vltest::kBlack);
  EXPECT_EQ(panel.at(left, top + 2), vltest::kBlack);
  EXPECT_EQ(panel.at(left - 1, top + 10), vltest::kBlack);  // the frame
  EXPECT_EQ(panel.at(left + 300, top - 10), vltest::kWhite);  // the caption row
  PostMessageW(preview, WM_CLOSE, 0, 0);
  ASSERT_TRUE(pumpUntil([&] { return !IsWindow(preview); }));
  EXPECT_FALSE(host.app.devices.standInsWanted);
  EXPECT_TRUE(host.window->alive());

  // The File menu's picks: the window under the click names the window mirror, the point the
  // area; Escape cancels; the buttons work as before afterwards.
  const int x = outer.right + 20, y = outer.top + 10;
  HWND target = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"選ぶ窓", WS_POPUP | WS_VISIBLE | SS_NOTIFY, x, y, 120, 90,
                                nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(hwnd);  // Wine activates the new window all the same
  const auto pick = [&](int32_t command, const std::function<void()>& end) {
    PostMessageW(hwnd, WM_COMMAND, WPARAM(command), 0);
    EXPECT_TRUE(pumpUntil([&] { return GetCapture() == hwnd; }));
    end();
    EXPECT_TRUE(pumpUntil([&] { return GetCapture() == nullptr; }));
  };
  const CaptureOptions& options = host.app.sources.options;
  pick(IDM_PICKWINDOW, [&] { vltest::clickAt(x + 60, y + 45); });
  EXPECT_EQ(options.windowTitle + " " + options.windowClass, "選ぶ窓 Static");
  EXPECT_EQ(host.app.sources.captureMode, CaptureMode::window);
  pick(IDM_PICKAREA, [&] { vltest::clickAt(x + 7, y + 5); });
  pick(IDM_PICKAREA, [&] { key(VK_ESCAPE); });
  EXPECT_EQ(options.areaX, x + 7);
  EXPECT_EQ(options.areaY, y + 5);
  EXPECT_EQ(host.app.sources.captureMode, CaptureMode::mainScreen);
  click(idPosYUp);
  expectText(idPosY, "16");
  DestroyWindow(target);

  PostMessageW(hwnd, WM_COMMAND, IDM_EXIT, 0);
  ASSERT_TRUE(pumpUntil([&] { return !host.window->alive(); }));
  ASSERT_EQ(host.finish(), kSettingsOk);
  PrefStore store;
  DeviceSlots slots = makeDefaultSlots();
  CaptureMode mode = CaptureMode::externalMonitor;
  ASSERT_EQ(loadSettings(store, slots, mode), kSettingsOk);
  EXPECT_EQ(mode, CaptureMode::mainScreen);
  EXPECT_EQ(slots[0].active, 1);
  EXPECT_EQ(slots[0].port, 63);
  EXPECT_EQ(slots[0].speed, 409600);
  EXPECT_EQ(slots[0].dither, 2);
  EXPECT_NEAR(slots[0].contrast, 1.05, 1e-9);
  EXPECT_EQ(slots[0].posX, 16);
  EXPECT_EQ(slots[0].invert, 1);
  EXPECT_TRUE(pumpUntil([&] { return quit; }, 2000)) << "no quit message after the window was destroyed";
}

// Run at 96 dpi here and, as their own tests, in Wine prefixes at 144 and 192 dpi.
TEST_F(SettingsWin32, ScaledScreenTheLayoutGrowsWithTheDpiAndEveryCaptionShowsWhole) {
  RECT client{};
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, scaled(314));
  EXPECT_EQ(client.bottom, scaled(336));
  ASSERT_TRUE(pumpUntil([&] { return text(idPort) == "COM63 "; }));
  // The first and last rows, by their scaled places.
  click(idDitherUp);
  expectText(idDither, "4色ハーフトーン");
  click(idPosYUp);
  expectText(idPosY, "16");

  const vltest::Image shot = vltest::grabClient(hwnd);
  const char* b = std::getenv("VL_BINARY_DIR");
  vltest::writePng(std::string(b ? b : ".") + "/artefacts/settings-win32-" + std::to_string(dpi) + "dpi.png", shot);
  const Form& form = host.settings.form();
  for (const std::string& line : vltest::checkCaptionsWhole(form, shot, dpi, 8 * dpi / 96)) ADD_FAILURE() << line;
  // Lines are as thick as a layout pixel: the group box's left edge.
  const Rect group = form.findById(idGroup)->rect;
  const int32_t middle = scaled((group.top + group.bottom) / 2);
  for (int32_t x = scaled(group.left); x < scaled(group.left + 1); ++x) EXPECT_EQ(shot.at(x, middle), vltest::kBlack) << x;
  EXPECT_EQ(shot.at(scaled(group.left + 1), middle), vltest::kWhite);

  PostMessageW(hwnd, WM_COMMAND, IDM_EXIT, 0);
  ASSERT_TRUE(pumpUntil([&] { return !host.window->alive(); }));
  EXPECT_EQ(host.finish(), kSettingsOk);
}

// Windows tells every top-level window when the machine wakes: the window passes that on (the
// loop then keeps house and resends every line), and no other power event.
TEST_F(SettingsWin32, TheResumeMessageIsPassedOnAndNoOtherPowerEvent) {
  PostMessageW(hwnd, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
  PostMessageW(hwnd, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  PostMessageW(hwnd, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
  PostMessageW(hwnd, WM_COMMAND, IDM_EXIT, 0);
  ASSERT_TRUE(pumpUntil([&] { return !host.window->alive(); }));
  EXPECT_EQ(host.actions.resumes, 1);
  EXPECT_EQ(host.finish(), kSettingsOk);
}

}  // namespace

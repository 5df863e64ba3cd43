// The settings window in a program of its own on the test's X server, with real links to the
// device simulator, driven with xdotool; what it shows is read from the state file it writes.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "FakeWindow.h"
#include "GalleryProbes.h"
#include "SimProcess_POSIX.h"
#include "XDrive.h"
#include "support/XServer_X11.h"
#include "app/AppState.h"
#include "settings/PrefStore.h"
#include "settings/Settings.h"
#include "support/TempDir.h"
#include "ui/MenuBar.h"
#include "ui/SettingsWindow.h"

namespace {

using namespace ui;

using vltest::capture;
using vltest::waitFor;
using vltest::xdotool;

struct SettingsDrive : testing::Test {
  void SetUp() override {
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xdotool";
    ASSERT_TRUE(server.ok());
    setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
    std::filesystem::create_directories(ports());
    std::filesystem::create_directories(dir.file("dev"));
    statePath = dir.file("state");
    // The form the host builds, for the widgets' places.
    reference = std::make_unique<SettingsWindow>(referenceApp.devices, referenceApp.sources, noActions);
    reference->message(blind, msgCreate, 0, 0);
  }
  void TearDown() override {
    if (dpy) XCloseDisplay(dpy);
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
  std::string ports() const { return dir.file("config") + "/vantela/ports"; }

  void startHost() {
    const std::string devFolder = dir.file("dev");
    const char* argv[] = {VL_SETTINGS_HOST, statePath.c_str(), devFolder.c_str(), nullptr};
    ASSERT_EQ(posix_spawn(&pid, VL_SETTINGS_HOST, nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    dpy = XOpenDisplay(nullptr);
    ASSERT_NE(dpy, nullptr);
    const std::string id =
        capture("timeout 20 xdotool search --sync --onlyvisible --name '^Vantelink for LS027B4DH01$'");
    win = static_cast<::Window>(std::strtoul(id.c_str(), nullptr, 10));
    ASSERT_NE(win, 0u) << "the settings window did not appear";
  }
  std::string state() { return vltest::TempDir::readFile(statePath); }
  bool shows(const std::string& line) { return ("\n" + state()).find("\n" + line + "\n") != std::string::npos; }
  // Waits until the window shows every line (the first refresh after the start comes with the
  // 4-second timer).
  void expectShows(std::initializer_list<std::string> lines, int ms = 8000) {
    for (const std::string& line : lines)
      EXPECT_TRUE(waitFor([&] { return shows(line); }, ms)) << "not shown: " << line << "\nshown:\n" << state();
  }
  void clickOn(int32_t id) {
    const Rect r = reference->form().findById(id)->rect;
    int rx = 0, ry = 0;
    ::Window child;
    XTranslateCoordinates(dpy, win, DefaultRootWindow(dpy), scaled((r.left + r.right) / 2),
                          scaled((r.top + r.bottom) / 2) + scaled(MenuBar::barHeight), &rx, &ry, &child);
    // A synchronous move to where the pointer already is waits for a motion that never comes.
    const std::string move = rx == lastX && ry == lastY ? "" : "mousemove --sync " + std::to_string(rx) + " " + std::to_string(ry) + " ";
    lastX = rx, lastY = ry;
    ASSERT_TRUE(xdotool(move + "click 1"));
  }
  int lastX = -1, lastY = -1;
  // A click, and what the window shows once it has handled it.
  void step(int32_t button, const std::string& shown) {
    clickOn(button);
    ++releases;
    expectShows({"releases=" + std::to_string(releases)});
    EXPECT_TRUE(shows(shown)) << "not shown: " << shown << "\nshown:\n" << state();
  }
  int releases = 0;
  vltest::Image grab() {
    vltest::Image img;
    const int w = scaled(314), h = scaled(336);
    XImage* x = XGetImage(dpy, win, 0, scaled(MenuBar::barHeight), w, h, AllPlanes, ZPixmap);
    if (!x) return img;
    img.width = w, img.height = h;
    img.pixels.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
      for (int xx = 0; xx < w; ++xx) img.pixels[static_cast<size_t>(y) * w + xx] = static_cast<uint32_t>(XGetPixel(x, xx, y)) & 0xFFFFFF;
    XDestroyImage(x);
    return img;
  }
  bool exitedCleanly() {
    int status = -1;
    const bool gone = waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10000);
    if (gone) pid = -1;
    return gone && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  // Where a 96-dpi layout coordinate lands on a screen of dpi.
  int32_t scaled(int32_t x) const { return (x * dpi + 48) / 96; }
  int32_t dpi = 96;

  vltest::XServer& server = vltest::sharedXvfb();
  std::unique_ptr<vltest::XServer> ownServer;  // outlives TearDown, which stops the host
  vltest::TempDir dir;
  std::string statePath;
  AppState referenceApp;
  struct : SettingsActions {
    int32_t discoverDisplays() override { return 0; }
    int32_t rebuildSource() override { return 0; }
    int32_t openLinks() override { return 0; }
    int32_t findPort(int32_t, int32_t) override { return -1; }
    void openPreview() override {}
  } noActions;
  std::unique_ptr<SettingsWindow> reference;
  vltest::FakeWindow blind;
  pid_t pid = -1;
  Display* dpy = nullptr;
  ::Window win = 0;
};

TEST_F(SettingsDrive, EveryRowDeviceSwitchAndModeAgainstTheSimulatorThenTheFileKeepsThem) {
  vltest::SimProcess sim;
  ASSERT_TRUE(sim.start({"--link", ports() + "/com1", "--speed", "0"}, ports() + "/com1", dir.file("sim.out")));
  startHost();
  // The port for the first slot was found on the simulator; the slot starts inactive.
  expectShows({"1=停止中", "3=COM1 ", "2=メイン画面ミラー", "4=*見つかりません*", "17=Vantela1 設定 [x]"});
  step(idActive, "19=オン [x]");
  expectShows({"3=COM1 OK", "1=動作中"});

  const vltest::Image shot = grab();
  const char* b = std::getenv("VL_BINARY_DIR");
  const std::string artefacts = std::string(b ? b : ".") + "/artefacts";
  std::filesystem::create_directories(artefacts);
  EXPECT_TRUE(vltest::writePng(artefacts + "/settings-x11.png", shot));
  referenceApp.devices.slots[0].settings.active = 1;  // the reference form in the state of the shot
  reference->refreshValues(blind);
  for (const std::string& line : vltest::checkGallery(reference->form(), shot)) ADD_FAILURE() << line;
  vltest::Image other;
  if (vltest::readStoredPng(artefacts + "/settings-win32.png", other))
    for (const std::string& line : vltest::compareTextBoxes(reference->form(), shot, other)) ADD_FAILURE() << "against Win32: " << line;

  // The link holds COM1 and no other port opens: stepping away finds none; stepping on from
  // there, with the link reopened on no port, finds COM1 again.
  step(idPortDown, "3=*COMポートがありません*");
  step(idPortUp, "3=COM1 OK");
  step(idSpeedDown, "5=409.600 kbps");
  step(idSpeedDown, "5=307.200 kbps");
  step(idSpeedUp, "5=409.600 kbps");
  step(idCtsToggle, "6=ON (無線用)");
  step(idDitherDown, "7=白黒2値");
  step(idDitherDown, "7=4色ハーフトーン");
  step(idDitherUp, "7=白黒2値");
  step(idContrastDown, "8=0.95");
  step(idContrastDown, "8=0.90");
  step(idContrastUp, "8=0.95");
  step(idOffsetDown, "9=-8");
  step(idOffsetDown, "9=-16");
  step(idOffsetUp, "9=-8");
  step(idGammaDown, "10=0.95");
  step(idGammaDown, "10=0.90");
  step(idGammaUp, "10=0.95");
  step(idInvertToggle, "13=ON");
  step(idRotateToggle, "12=ON");
  step(idPosXUp, "15=16");
  step(idPosXUp, "15=32");
  step(idPosXDown, "15=16");
  step(idPosYUp, "16=16");
  step(idPosYUp, "16=32");
  step(idPosYDown, "16=16");
  step(idModeUp, "2=外部モニタ");
  expectShows({"1=*ドライバをインストールしてください*"});
  step(idModeDown, "2=メイン画面ミラー");
  expectShows({"1=動作中", "3=COM1 OK"});

  step(idDevice2, "current=1");
  expectShows({"18=Vantela2 設定 [x]", "5=500.000 kbps", "3=*COMポートがありません*"});
  EXPECT_FALSE(shows("19=オン [x]"));
  xdotool("key 1");
  expectShows({"current=0", "5=409.600 kbps", "17=Vantela1 設定 [x]"});
  xdotool("key 2");
  expectShows({"current=1"});
  step(idDevice1, "current=0");

  xdotool("key alt+f x");
  ASSERT_TRUE(exitedCleanly());
  PrefStore store;
  DeviceSlots slots = makeDefaultSlots();
  CaptureMode mode = CaptureMode::externalMonitor;
  ASSERT_EQ(loadSettings(store, slots, mode), kSettingsOk);
  const DeviceSettings& s = slots[0];
  EXPECT_EQ(mode, CaptureMode::mainScreen);
  EXPECT_EQ(s.active, 1);
  EXPECT_EQ(s.port, 1);
  EXPECT_EQ(s.speed, 409600);
  EXPECT_EQ(s.cts, 1);
  EXPECT_EQ(s.dither, 0);
  EXPECT_NEAR(s.contrast, 0.95, 1e-9);
  EXPECT_EQ(s.offset, -8);
  EXPECT_NEAR(s.gamma, 0.95, 1e-9);
  EXPECT_EQ(s.invert, 1);
  EXPECT_EQ(s.rotate, 2);
  EXPECT_EQ(s.posX, 16);
  EXPECT_EQ(s.posY, 16);
  EXPECT_EQ(slots[1].active, 0);
}

TEST_F(SettingsDrive, WithoutTheDeviceTheWindowAsksForTheUsbConnection) {
  {
    PrefStore store;
    DeviceSlots slots = makeDefaultSlots();
    slots[0].active = 1, slots[0].port = 1;
    ASSERT_EQ(saveSettings(store, slots, CaptureMode::mainScreen), kSettingsOk);
  }
  startHost();
  expectShows({"1=*USB接続を確認してください*", "3=COM1 *エラー*", "17=Vantela1 *エラー* [x]", "18=Vantela2 設定"});
  xdotool("key alt+f x");
  EXPECT_TRUE(exitedCleanly());
}

// A desktop at 192 dpi (Xft.dpi) on a wide screen without a window manager.
TEST_F(SettingsDrive, ScaledScreenTheWindowDoublesBesideTheCapturedAreaAndCaptionsShowWhole) {
  if (std::system("command -v xrdb >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xrdb";
  ownServer = std::make_unique<vltest::XServer>("1920x1080x24");
  ASSERT_TRUE(ownServer->ok());
  ownServer->becomeDefault();
  ASSERT_EQ(std::system("echo 'Xft.dpi: 192' | xrdb -nocpp -merge"), 0);
  dpi = 192;
  startHost();
  XWindowAttributes attrs{};
  ASSERT_TRUE(XGetWindowAttributes(dpy, win, &attrs));
  ASSERT_EQ(attrs.width, scaled(314));
  ASSERT_EQ(attrs.height, scaled(336 + MenuBar::barHeight));
  int rx = -1, ry = -1;
  ::Window child;
  XTranslateCoordinates(dpy, win, DefaultRootWindow(dpy), 0, 0, &rx, &ry, &child);
  EXPECT_GE(rx, 640) << "the window covers the captured area";

  expectShows({"7=Floyd-Steinberg"});
  step(idDitherUp, "7=4色ハーフトーン");
  step(idPosYUp, "16=16");
  const vltest::Image shot = grab();
  const char* b = std::getenv("VL_BINARY_DIR");
  vltest::writePng(std::string(b ? b : ".") + "/artefacts/settings-x11-192dpi.png", shot);
  for (const std::string& line : vltest::checkCaptionsWhole(reference->form(), shot, dpi, 16)) ADD_FAILURE() << line;
  xdotool("key alt+f x");
  EXPECT_TRUE(exitedCleanly());
}

}  // namespace

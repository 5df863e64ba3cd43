// The gallery drawn by the Win32 adapter with GDI (under Wine in this project's test runs), the
// resources, and the menu, accelerators and About box driven through the message queue.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Gallery.h"
#include "GalleryProbes.h"
#include "ClientCapture_Win32.h"
#include "Image.h"
#include "ui/AboutDialog_Win32.h"
#include "ui/MenuModel.h"
#include "ui/resource.h"

namespace {

std::wstring widen(const char* s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
  w.resize(w.size() - 1);
  return w;
}

std::string artefactDir() {
  const char* b = std::getenv("VL_BINARY_DIR");
  std::string dir = std::string(b ? b : ".") + "/artefacts";
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

// Steps run one per timer tick, also inside the modal loops of menus and dialogs.
std::deque<std::function<void()>> g_steps;
void CALLBACK runStep(HWND, UINT, UINT_PTR, DWORD) {
  if (g_steps.empty()) return;
  auto step = std::move(g_steps.front());
  g_steps.pop_front();
  step();
}

HWND aboutBox() { return FindWindowW(L"#32770", widen(ui::aboutCaption).c_str()); }

// Ends the About box that was acted on if it is still up 5 s later, with 99, so that a test fails
// instead of hanging in the modal loop. It watches that one box only: a watchdog left over from
// an earlier box must not end a later one.
HWND g_watchedBox = nullptr;
UINT_PTR g_aboutWatchdog = 0;
int g_aboutActions = 0;
void CALLBACK aboutWatchdog(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  g_aboutWatchdog = 0;
  if (g_watchedBox && IsWindow(g_watchedBox)) EndDialog(g_watchedBox, 99);
}
void stopAboutWatchdog() {
  if (g_aboutWatchdog) KillTimer(nullptr, g_aboutWatchdog);
  g_aboutWatchdog = 0;
  g_watchedBox = nullptr;
}

void CALLBACK menuWatchdog(HWND, UINT, UINT_PTR id, DWORD);

// Acts on the About box once it is up (it is looked for at every tick for 5 s).
void whenAboutIsUp(std::function<void(HWND)> action, int tries = 50) {
  g_steps.push_front([action, tries] {
    HWND box = aboutBox();
    if (!box) {
      if (tries > 0) whenAboutIsUp(action, tries - 1);
      return;
    }
    stopAboutWatchdog();
    ++g_aboutActions;
    action(box);
    g_watchedBox = box;
    g_aboutWatchdog = SetTimer(nullptr, 0, 5000, aboutWatchdog);
  });
}

// A destroyed gallery window posts WM_QUIT, as the program's main window does. Left in the
// thread's queue it ends the next modal loop that looks at the queue: a dialog's loop takes it,
// posts it again and returns at once, without the box ever being shown or acted on. Every test
// starts and ends with an empty queue.
void drainQueue() {
  MSG m;
  for (int i = 0; i < 10000 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (m.message == WM_QUIT) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

struct GalleryWin32 : testing::Test {
  void SetUp() override {
    drainQueue();
    ui::WindowSpec windowSpec;
    windowSpec.className = "VantelinkGallery";
    windowSpec.title = "Vantelink gallery";
    window = ui::createWindow(windowSpec, handler);
    ASSERT_TRUE(window);
    window->show();
    hwnd = FindWindowW(L"VantelinkGallery", nullptr);
    ASSERT_NE(hwnd, nullptr);
    pumpUntil([&] { return handler.paints > 0; });
    ASSERT_GT(handler.paints, 0);
    timer = SetTimer(nullptr, 0, 100, runStep);
  }
  void TearDown() override {
    KillTimer(nullptr, timer);
    stopAboutWatchdog();
    g_steps.clear();
    window.reset();
    drainQueue();
  }
  template <class F>
  bool pumpUntil(F done, int ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < end)
      if (ui::pumpMessage() == ui::Pumped::none) Sleep(2);
    return done();
  }
  bool logged(const std::string& line) {
    for (const auto& e : handler.events)
      if (e == line) return true;
    return false;
  }
  // Runs the About box from the menu command and ends it with the given action. A box that ends
  // before the action reached it counts as a failure whatever it returned.
  int32_t aboutEndedBy(std::function<void(HWND)> action) {
    const int before = g_aboutActions;
    whenAboutIsUp(std::move(action));
    const int32_t result = window->runAbout();
    stopAboutWatchdog();
    g_steps.clear();  // an action still waiting is not carried over to the next box
    EXPECT_EQ(g_aboutActions, before + 1) << "the About box ended before it was acted on";
    return result;
  }

  vltest::GalleryHandler handler;
  std::unique_ptr<ui::Window> window;
  HWND hwnd = nullptr;
  UINT_PTR timer = 0;
};

TEST_F(GalleryWin32, ClientAreaIsTheSizeTheX11BuildGives) {
  EXPECT_EQ(window->clientWidth(), 314);
  EXPECT_EQ(window->clientHeight(), 336);
}

TEST_F(GalleryWin32, EveryWidgetStandsAtItsPixels) {
  const vltest::Image img = vltest::grabClient(hwnd);
  ASSERT_GT(img.width, 300);
  EXPECT_TRUE(vltest::writePng(artefactDir() + "/gallery-win32.png", img));
  // Beside the Linux capture when that build tree exists.
  if (const char* src = std::getenv("VL_SOURCE_DIR")) {
    const std::string linuxDir = std::string(src) + "/build/linux/artefacts";
    if (GetFileAttributesA(linuxDir.c_str()) != INVALID_FILE_ATTRIBUTES) vltest::writePng(linuxDir + "/gallery-win32.png", img);
  }
  for (const std::string& line : vltest::checkGallery(handler.form, img)) ADD_FAILURE() << line;
}

TEST_F(GalleryWin32, KanaAreRealGlyphsAndBoldIsHeavier) {
  const vltest::Image img = vltest::grabClient(hwnd);
  const auto a = vltest::inkShape(img, handler.form.findById(vltest::galleryKanaA)->rect, vltest::kWhite);
  const auto b = vltest::inkShape(img, handler.form.findById(vltest::galleryKanaB)->rect, vltest::kWhite);
  ASSERT_GT(a.size(), 30u);
  EXPECT_NE(a, b);
  const auto normal = vltest::inkIn(img, handler.form.findById(vltest::galleryNormalSample)->rect, vltest::kWhite);
  const auto bold = vltest::inkIn(img, handler.form.findById(vltest::galleryBoldSample)->rect, vltest::kWhite);
  EXPECT_GT(bold.count, normal.count);
}

TEST_F(GalleryWin32, PressMoveOffMoveBackReleaseThroughTheWindowProcedure) {
  const ui::Rect r = handler.form.findById(vltest::galleryClickButton)->rect;
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.left + 5, r.top + 5));
  EXPECT_EQ(GetCapture(), hwnd);
  EXPECT_EQ(vltest::grabClient(hwnd).at(r.left + 1, r.top + 1), vltest::kBlack);
  SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(250, 300));
  EXPECT_EQ(vltest::grabClient(hwnd).at(r.left + 1, r.top + 1), vltest::kWhite);
  SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(r.left + 6, r.top + 6));
  EXPECT_EQ(vltest::grabClient(hwnd).at(r.left + 1, r.top + 1), vltest::kBlack);
  SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(r.left + 6, r.top + 6));
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_TRUE(logged("click 40"));
  EXPECT_EQ(vltest::grabClient(hwnd).at(r.left + 1, r.top + 1), vltest::kWhite);
}

TEST(Resources, MenuStringsAcceleratorsAndIcons) {
  HINSTANCE inst = GetModuleHandleW(nullptr);
  HMENU menu = LoadMenuW(inst, MAKEINTRESOURCEW(IDC_VANTELINK));
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(GetMenuItemCount(menu), ui::mainMenuCount);
  wchar_t buf[128];
  for (int i = 0; i < ui::mainMenuCount; ++i) {
    GetMenuStringW(menu, static_cast<UINT>(i), buf, 128, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(buf), widen(ui::mainMenu[i].title));
    HMENU popup = GetSubMenu(menu, i);
    ASSERT_EQ(GetMenuItemCount(popup), ui::mainMenu[i].count);
    for (int k = 0; k < ui::mainMenu[i].count; ++k) {
      GetMenuStringW(popup, static_cast<UINT>(k), buf, 128, MF_BYPOSITION);
      EXPECT_EQ(std::wstring(buf), widen(ui::mainMenu[i].items[k].text));
      EXPECT_EQ(static_cast<int32_t>(GetMenuItemID(popup, k)), ui::mainMenu[i].items[k].command);
    }
  }
  DestroyMenu(menu);

  HACCEL accel = LoadAcceleratorsW(inst, MAKEINTRESOURCEW(IDC_VANTELINK));
  ASSERT_NE(accel, nullptr);
  ACCEL entries[4]{};
  ASSERT_EQ(CopyAcceleratorTableW(accel, entries, 4), 2);
  for (const ACCEL& a : entries) {
    if (!a.cmd) continue;
    EXPECT_EQ(a.cmd, IDM_ABOUT);
    EXPECT_EQ(a.fVirt & ~0x80, FALT);  // ASCII keys with Alt, not virtual keys
    EXPECT_TRUE(a.key == '?' || a.key == '/');
  }
  EXPECT_NE(entries[0].key, entries[1].key);

  EXPECT_EQ(LoadStringW(inst, IDS_APP_TITLE, buf, 100), 9);
  EXPECT_EQ(std::wstring(buf), L"Vantelink");
  EXPECT_EQ(LoadStringW(inst, IDC_VANTELINK, buf, 100), 9);
  EXPECT_EQ(std::wstring(buf), L"VANTELINK");
  EXPECT_NE(LoadImageW(inst, MAKEINTRESOURCEW(IDI_VANTELINK), IMAGE_ICON, 32, 32, 0), nullptr);
  EXPECT_NE(LoadImageW(inst, MAKEINTRESOURCEW(IDI_SMALL), IMAGE_ICON, 16, 16, 0), nullptr);
}

TEST(Resources, ManifestMakesTheProcessDpiAwareAndTheVersionNamesTheProduct) {
  HINSTANCE inst = GetModuleHandleW(nullptr);
  HRSRC res = FindResourceW(inst, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // the process manifest
  ASSERT_NE(res, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(inst, res))), SizeofResource(inst, res));
  for (const char* part : {"<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm</dpiAware>",
                           ">PerMonitorV2, PerMonitor</dpiAwareness>", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  // The loader read it: the process is not scaled by the system.
  EXPECT_TRUE(IsProcessDPIAware());

  wchar_t path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  std::vector<char> info(GetFileVersionInfoSizeW(path, nullptr));
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, static_cast<DWORD>(info.size()), info.data()));
  auto text = [&](const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
    return VerQueryValueW(info.data(), key.c_str(), &value, &length) && value ? std::wstring(static_cast<wchar_t*>(value))
                                                                                : std::wstring();
  };
  EXPECT_EQ(text(L"ProductName"), L"Vantelink");
  EXPECT_EQ(text(L"ProductVersion"), widen(VL_PROJECT_VERSION));
  EXPECT_FALSE(text(L"FileDescription").empty());
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwProductVersionMS, static_cast<DWORD>(VL_PROJECT_VERSION_MAJOR << 16 | VL_PROJECT_VERSION_MINOR));
}

TEST(Resources, AboutDialogHoldsItsTextsIconAndOkButton) {
  HWND box = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), nullptr,
                                ui::aboutDialogProc, 0);
  ASSERT_NE(box, nullptr);
  wchar_t buf[128];
  GetWindowTextW(box, buf, 128);
  EXPECT_EQ(std::wstring(buf), widen(ui::aboutCaption));
  std::vector<std::wstring> texts;
  bool icon = false;
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && GetDlgCtrlID(c) != IDOK) {
      icon = SendMessageW(c, STM_GETICON, 0, 0) != 0;
      continue;
    }
    GetWindowTextW(c, buf, 128);
    texts.emplace_back(buf);
  }
  EXPECT_TRUE(icon);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], widen(ui::aboutVersionLine));
  EXPECT_EQ(texts[1], widen(ui::aboutNoticeLine));
  EXPECT_EQ(texts[2], widen(ui::aboutFirmwareLine));
  EXPECT_EQ(texts[3], L"OK");
  EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
  DestroyWindow(box);
}

TEST_F(GalleryWin32, AboutBoxEndsByOkEnterEscapeAndTheCloseBox) {
  EXPECT_EQ(aboutEndedBy([](HWND box) { SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0); }), IDOK);
  EXPECT_EQ(aboutEndedBy([](HWND box) { PostMessageW(GetDlgItem(box, IDOK), WM_KEYDOWN, VK_RETURN, 0); }), IDOK);
  EXPECT_EQ(aboutEndedBy([](HWND box) { PostMessageW(GetDlgItem(box, IDOK), WM_KEYDOWN, VK_ESCAPE, 0); }), IDCANCEL);
  EXPECT_EQ(aboutEndedBy([](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); }), IDCANCEL);
}

// Alt + a character, typed: Alt held while the character's key (with Shift where the layout
// needs it) goes down and up. A posted WM_SYSCHAR is not enough: TranslateAccelerator (Wine's at
// least) asks the keyboard state whether Alt is down, not the message's context bit, and with no
// key held an Alt accelerator does not match.
void typeAltChar(wchar_t c) {
  const SHORT scan = VkKeyScanW(c);
  ASSERT_NE(scan, -1) << "no key gives " << static_cast<int>(c);
  const auto vk = static_cast<WORD>(LOBYTE(scan));
  const bool shift = (HIBYTE(scan) & 1) != 0;
  INPUT in[6]{};
  UINT n = 0;
  auto key = [&](WORD k, bool up) {
    in[n].type = INPUT_KEYBOARD;
    in[n].ki.wVk = k;
    in[n].ki.wScan = static_cast<WORD>(MapVirtualKeyW(k, MAPVK_VK_TO_VSC));
    in[n].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    ++n;
  };
  key(VK_MENU, false);
  if (shift) key(VK_SHIFT, false);
  key(vk, false);
  key(vk, true);
  if (shift) key(VK_SHIFT, true);
  key(VK_MENU, true);
  ASSERT_EQ(SendInput(n, in, sizeof(INPUT)), n);
}

TEST_F(GalleryWin32, AcceleratorsAndMenuKeysReachTheCommands) {
  // Alt + "?" arrives as a system character; the accelerator table turns it into command 104.
  SetForegroundWindow(hwnd);
  SetFocus(hwnd);
  ASSERT_EQ(GetFocus(), hwnd);
  whenAboutIsUp([](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); });
  typeAltChar(L'?');
  EXPECT_TRUE(pumpUntil([&] { return logged("about 2"); }));
  whenAboutIsUp([](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); });
  typeAltChar(L'/');
  EXPECT_TRUE(pumpUntil([&] {
    int n = 0;
    for (const auto& e : handler.events) n += e == "about 2";
    return n == 2;
  }));

  // Alt+H opens the Help menu; Down and Enter choose its About item; Esc ends the box.
  g_steps.push_back([this] { PostMessageW(hwnd, WM_KEYDOWN, VK_DOWN, 0); });
  g_steps.push_back([this] {
    PostMessageW(hwnd, WM_KEYDOWN, VK_RETURN, 0);
    whenAboutIsUp([](HWND box) { PostMessageW(GetDlgItem(box, IDOK), WM_KEYDOWN, VK_ESCAPE, 0); });
  });
  const UINT_PTR watchdog = SetTimer(nullptr, 0, 15000, menuWatchdog);
  PostMessageW(hwnd, WM_SYSCOMMAND, SC_KEYMENU, 'h');
  EXPECT_TRUE(pumpUntil([&] {
    int n = 0;
    for (const auto& e : handler.events) n += e == "about 2";
    return n == 3;
  }));

  // Alt+F, X: exit.
  g_steps.push_back([this] { PostMessageW(hwnd, WM_CHAR, 'x', 0); });
  PostMessageW(hwnd, WM_SYSCOMMAND, SC_KEYMENU, 'f');
  EXPECT_TRUE(pumpUntil([&] { return logged("command 105"); }));
  EXPECT_FALSE(window->alive());
  KillTimer(nullptr, watchdog);
}

// Inside the menu loop: clicks the About item once the Help popup is up.
void clickAboutItem(int tries) {
  g_steps.push_front([tries] {
    HWND popup = FindWindowW(L"#32768", nullptr);
    HMENU sub = popup ? reinterpret_cast<HMENU>(SendMessageW(popup, 0x01E1 /* MN_GETHMENU */, 0, 0)) : nullptr;
    RECT item{};
    if (!sub || !GetMenuItemRect(nullptr, sub, 1, &item)) {
      if (tries > 0) clickAboutItem(tries - 1);
      return;
    }
    vltest::clickAt((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    whenAboutIsUp([](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); });
  });
}

// Leaves a menu loop that a test could not finish, so that it fails instead of hanging.
void CALLBACK menuWatchdog(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  EndMenu();
}

TEST_F(GalleryWin32, MenuByMouse) {
  RECT help{};
  ASSERT_TRUE(GetMenuItemRect(hwnd, GetMenu(hwnd), 1, &help));
  // A click on the Help title starts the menu loop; the click on its About item ends it.
  clickAboutItem(50);
  const UINT_PTR watchdog = SetTimer(nullptr, 0, 10000, menuWatchdog);
  SetForegroundWindow(hwnd);
  vltest::clickAt((help.left + help.right) / 2, (help.top + help.bottom) / 2);
  EXPECT_TRUE(pumpUntil([&] { return logged("about 2"); }));
  KillTimer(nullptr, watchdog);
}

}  // namespace

// The Win32 preference opener against real folders: APPDATA set, unset (the Windows
// directory's "Application Data"), and blocked by a regular file named vantela.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

#include "ScopedEnv.h"
#include "comsrc/PrefFileOpener_Win32.h"
#include "settings/PrefStore.h"
#include "settings/Settings.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using comsrc::PrefFileOpener_Win32;

TEST(PrefFileOpener_Win32, AppDataIsTheBase) {
  vltest::TempDir dir;
  vltest::ScopedEnv appData("APPDATA", dir.path().c_str());
  PrefFileOpener_Win32 opener;
  EXPECT_EQ(opener.getBase(), nullptr);
  ASSERT_EQ(opener.locateBase(), 0);
  EXPECT_STREQ(opener.getBase(), dir.path().c_str());
  EXPECT_EQ(opener.enterFolder("vantela"), 0);
  EXPECT_EQ(opener.getBase(), dir.path() + "\\vantela");
  EXPECT_TRUE(fs::is_directory(dir.path() + "\\vantela"));
  PrefFileOpener_Win32 second;
  ASSERT_EQ(second.locateBase(), 0);
  EXPECT_EQ(second.enterFolder("vantela"), 0);
}

TEST(PrefFileOpener_Win32, WithoutAppDataTheBaseIsApplicationDataInTheWindowsDirectory) {
  char windows[MAX_PATH];
  const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
  ASSERT_GT(length, 0u);
  const std::string expected = std::string(windows, length) + "\\Application Data";
  vltest::ScopedEnv appData("APPDATA", nullptr);
  PrefFileOpener_Win32 opener;
  ASSERT_EQ(opener.locateBase(), 0);
  EXPECT_EQ(opener.getBase(), expected);
  EXPECT_TRUE(fs::is_directory(expected));
  EXPECT_EQ(opener.enterFolder("vantela"), 0);
  EXPECT_TRUE(fs::is_directory(expected + "\\vantela"));

  PrefStore store;
  DeviceSlots slots = makeDefaultSlots();
  slots[1].port = 12;
  ASSERT_EQ(saveSettings(store, slots, CaptureMode::externalMonitor), 0);
  DeviceSlots loaded = makeDefaultSlots();
  CaptureMode mode = CaptureMode::mainScreen;
  PrefStore again;
  ASSERT_EQ(loadSettings(again, loaded, mode), 0);
  EXPECT_EQ(loaded[1].port, 12);
  EXPECT_EQ(mode, CaptureMode::externalMonitor);
  fs::remove_all(expected + "\\vantela");
}

TEST(PrefFileOpener_Win32, AppDataLongerThanMaxPathIsReadWhole) {
  const std::string longValue = "C:\\" + std::string(300, 'v');
  vltest::ScopedEnv appData("APPDATA", longValue.c_str());
  PrefFileOpener_Win32 opener;
  ASSERT_EQ(opener.locateBase(), 0);
  EXPECT_EQ(opener.getBase(), longValue);
}

TEST(PrefFileOpener_Win32, RegularFileNamedVantelaStopsLoadAndSave) {
  vltest::TempDir dir;
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("vantela"), "x"));
  vltest::ScopedEnv appData("APPDATA", dir.path().c_str());
  PrefFileOpener_Win32 opener;
  ASSERT_EQ(opener.locateBase(), 0);
  EXPECT_EQ(opener.enterFolder("vantela"), -8);
  EXPECT_STREQ(opener.getBase(), dir.path().c_str());
  PrefStore store;
  DeviceSlots slots = makeDefaultSlots();
  CaptureMode mode = CaptureMode::mainScreen;
  EXPECT_EQ(loadSettings(store, slots, mode), -2);
  EXPECT_EQ(saveSettings(store, slots, mode), -2);
  EXPECT_EQ(vltest::TempDir::readFile(dir.file("vantela")), "x");
}

TEST(PrefFileOpener_Win32, MissingParentCannotBeCreated) {
  vltest::TempDir dir;
  const std::string missing = dir.path() + "\\missing\\deeper";
  vltest::ScopedEnv appData("APPDATA", missing.c_str());
  PrefFileOpener_Win32 opener;
  ASSERT_EQ(opener.locateBase(), 0);
  EXPECT_EQ(opener.enterFolder("vantela"), -16);
}

TEST(PrefFileOpener_Win32, JoinsWithBackslashAndReplacesFiles) {
  PrefFileOpener_Win32 opener;
  std::unique_ptr<multio::Stream> stream;
  EXPECT_EQ(opener.open("x", multio::kOpenRead, stream), -128);
  EXPECT_STREQ(opener.join("C:\\a\\", "b").get(), "C:\\a\\\\b");

  vltest::TempDir dir;
  ASSERT_EQ(opener.setBase(dir.path().c_str(), 0), 0);
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("old"), "old"));
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("new"), "new"));
  EXPECT_EQ(opener.replaceFile("new", "old"), 0);
  EXPECT_EQ(vltest::TempDir::readFile(dir.file("old")), "new");
  EXPECT_FALSE(vltest::TempDir::exists(dir.file("new")));
  EXPECT_EQ(opener.replaceFile("new", "old"), -ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(opener.open("old", multio::kOpenRead, stream), 0);
  stream->close();
  EXPECT_EQ(opener.removeFile("old"), 0);
  EXPECT_EQ(opener.removeFile("old"), -ERROR_FILE_NOT_FOUND);
}

// The Linux preference opener against real folders: XDG_CONFIG_HOME, the HOME fallback, and
// what blocks them.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "ScopedEnv.h"
#include "comsrc/PrefFileOpener_POSIX.h"
#include "settings/PrefStore.h"
#include "settings/Settings.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using comsrc::PrefFileOpener_POSIX;

TEST(PrefFileOpener_POSIX, ConfigHomeIsTheBase) {
  vltest::TempDir dir;
  vltest::ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
  PrefFileOpener_POSIX opener;
  EXPECT_EQ(opener.getBase(), nullptr);
  ASSERT_EQ(opener.locateBase(), 0);
  EXPECT_STREQ(opener.getBase(), dir.path().c_str());
  EXPECT_EQ(opener.enterFolder("vantela"), 0);
  EXPECT_EQ(opener.getBase(), dir.path() + "/vantela");
  EXPECT_TRUE(fs::is_directory(dir.path() + "/vantela"));
  // Entering an existing folder again is fine.
  PrefFileOpener_POSIX second;
  ASSERT_EQ(second.locateBase(), 0);
  EXPECT_EQ(second.enterFolder("vantela"), 0);
}

TEST(PrefFileOpener_POSIX, WithoutConfigHomeTheBaseIsDotConfigInHome) {
  vltest::TempDir dir;
  vltest::ScopedEnv home("HOME", dir.path().c_str());
  for (const char* config : {static_cast<const char*>(nullptr), "", "relative/path"}) {
    SCOPED_TRACE(config ? config : "(unset)");
    vltest::ScopedEnv unset("XDG_CONFIG_HOME", config);
    PrefFileOpener_POSIX opener;
    ASSERT_EQ(opener.locateBase(), 0);
    EXPECT_EQ(opener.getBase(), dir.path() + "/.config");
    EXPECT_TRUE(fs::is_directory(dir.path() + "/.config"));
  }
}

TEST(PrefFileOpener_POSIX, NoHomeAndNoConfigHomeIsNoBase) {
  vltest::ScopedEnv config("XDG_CONFIG_HOME", nullptr);
  vltest::ScopedEnv home("HOME", nullptr);
  PrefFileOpener_POSIX opener;
  EXPECT_EQ(opener.locateBase(), -128);
  PrefStore store;
  DeviceSlots slots = makeDefaultSlots();
  CaptureMode mode = CaptureMode::mainScreen;
  EXPECT_EQ(loadSettings(store, slots, mode), -1);
  EXPECT_EQ(saveSettings(store, slots, mode), -1);
}

TEST(PrefFileOpener_POSIX, UnusableDotConfigIsMinusTwo) {
  vltest::TempDir dir;
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file(".config"), "x"));
  vltest::ScopedEnv config("XDG_CONFIG_HOME", nullptr);
  vltest::ScopedEnv home("HOME", dir.path().c_str());
  PrefFileOpener_POSIX opener;
  EXPECT_EQ(opener.locateBase(), -2);
}

TEST(PrefFileOpener_POSIX, RegularFileOrMissingParentBlocksTheFolder) {
  vltest::TempDir dir;
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("vantela"), "x"));
  vltest::ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
  PrefFileOpener_POSIX opener;
  ASSERT_EQ(opener.locateBase(), 0);
  EXPECT_EQ(opener.enterFolder("vantela"), -8);
  EXPECT_STREQ(opener.getBase(), dir.path().c_str());  // the base stays where it was

  const std::string missing = dir.path() + "/missing/deeper";
  vltest::ScopedEnv gone("XDG_CONFIG_HOME", missing.c_str());
  PrefFileOpener_POSIX blocked;
  ASSERT_EQ(blocked.locateBase(), 0);
  EXPECT_EQ(blocked.enterFolder("vantela"), -16);
  PrefStore store;
  DeviceSlots slots = makeDefaultSlots();
  CaptureMode mode = CaptureMode::mainScreen;
  EXPECT_EQ(loadSettings(store, slots, mode), -2);
}

TEST(PrefFileOpener_POSIX, JoinsWithSlashAndOpensInsideTheBase) {
  PrefFileOpener_POSIX opener;
  std::unique_ptr<multio::Stream> stream;
  EXPECT_EQ(opener.open("x", multio::kOpenRead, stream), -128);  // no base yet
  EXPECT_EQ(opener.enterFolder("x"), -128);
  EXPECT_STREQ(opener.join("/a/b/", "c").get(), "/a/b//c");
  EXPECT_EQ(opener.join(nullptr, "c"), nullptr);

  EXPECT_EQ(opener.setBase("/tmp/abcdef", 6), 0);
  EXPECT_STREQ(opener.getBase(), "/tmp/a");
  EXPECT_EQ(opener.setBase("/tmp/abc", 0), 0);
  EXPECT_STREQ(opener.getBase(), "/tmp/abc");
  EXPECT_EQ(opener.setBase("/t", 50), 0);
  EXPECT_STREQ(opener.getBase(), "/t");

  vltest::TempDir dir;
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("inside.txt"), "in"));
  ASSERT_EQ(opener.setBase(dir.path().c_str(), 0), 0);
  ASSERT_EQ(opener.open("inside.txt", multio::kOpenRead, stream), 0);
  char buffer[4];
  EXPECT_EQ(stream->read(buffer, 4, 0), 2);
  stream->close();
  EXPECT_EQ(opener.open("absent.txt", multio::kOpenRead, stream), -2);  // -ENOENT
  EXPECT_FALSE(stream);

  // replaceFile puts one file in the place of another; removeFile deletes.
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("new"), "new"));
  EXPECT_EQ(opener.replaceFile("new", "inside.txt"), 0);
  EXPECT_EQ(vltest::TempDir::readFile(dir.file("inside.txt")), "new");
  EXPECT_FALSE(vltest::TempDir::exists(dir.file("new")));
  EXPECT_LT(opener.replaceFile("new", "inside.txt"), 0);
  EXPECT_EQ(opener.removeFile("inside.txt"), 0);
  EXPECT_LT(opener.removeFile("inside.txt"), 0);
}

TEST(PrefFileOpener_POSIX, SettingsLandInConfigHomeVantela) {
  vltest::TempDir dir;
  vltest::ScopedEnv config("XDG_CONFIG_HOME", nullptr);
  vltest::ScopedEnv home("HOME", dir.path().c_str());
  PrefStore store;
  DeviceSlots slots = makeDefaultSlots();
  CaptureMode mode = CaptureMode::mainScreen;
  ASSERT_EQ(saveSettings(store, slots, mode), 0);
  EXPECT_EQ(vltest::TempDir::readFile(dir.path() + "/.config/vantela/vantelink.ini").rfind("G.MODE=0\n", 0), 0u);
}

// Reals in the settings file keep their '.' when the process runs in a decimal-comma locale.
// The locale is built here from the system's locale sources, when they are installed.
TEST(SettingsLocale_POSIX, RealsIgnoreADecimalCommaLocale) {
  vltest::TempDir dir;
  const std::string made = dir.file("de_DE.UTF-8");
  const std::string command = "localedef -c -i de_DE -f UTF-8 '" + made + "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  // Without the locale sources (Debian's package "locales") localedef fails and leaves an empty
  // folder behind.
  if (status == -1 || !fs::is_regular_file(made + "/LC_NUMERIC"))
    GTEST_SKIP() << "localedef or the de_DE locale sources are missing";
  vltest::ScopedEnv localePath("LOCPATH", dir.path().c_str());
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
  const double libraryReading = std::strtod("1.25", nullptr);

  const double point = PrefStore::parseReal("1.25");
  const double comma = PrefStore::parseReal("0,75");
  PrefStore store;
  DeviceSlots slots = makeDefaultSlots();
  slots[0].contrast = 0.55;
  putSettings(store, slots, CaptureMode::mainScreen);
  std::setlocale(LC_NUMERIC, previous.c_str());

  EXPECT_EQ(libraryReading, 1.0);  // the locale really is in force
  EXPECT_EQ(point, 1.25);
  EXPECT_EQ(comma, 0.0);
  EXPECT_STREQ(store.find("MO.0.CONTRAST"), "0.550000");
}

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "ScopedEnv.h"
#include "support/TempDir.h"
#include "ui/StartAtLogin.h"

namespace {

std::string contentsOf(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

TEST(StartAtLogin, TheAutostartEntryIsWhatTheCheckMarkShowsWhoeverWroteIt) {
  vltest::TempDir dir;
  vltest::ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
  const std::string entry = dir.file("autostart") + "/vantelink.desktop";
  EXPECT_FALSE(ui::startsAtLogin());

  ASSERT_TRUE(ui::setStartAtLogin(true));
  EXPECT_TRUE(ui::startsAtLogin());
  const std::string self = std::filesystem::read_symlink("/proc/self/exe");
  const std::string written = contentsOf(entry);
  EXPECT_NE(written.find("\nExec=" + self + "\n"), std::string::npos) << written;
  EXPECT_FALSE(std::filesystem::exists(entry + ".tmp"));

  // Switched off or on by the desktop's own tools, in the ways they do it.
  const std::string plain = "[Desktop Entry]\nType=Application\nExec=vantelink\n";
  const std::pair<std::string, bool> outside[] = {
      {plain + "Hidden=true\n", false},
      {plain + "X-GNOME-Autostart-enabled = false\r\n", false},
      {plain, true},
      {plain + "X-GNOME-Autostart-enabled=true\n[Desktop Action Other]\nHidden=true\n", true},
      {"", false},
  };
  for (const auto& [text, on] : outside) {
    writeFile(entry, text);
    EXPECT_EQ(ui::startsAtLogin(), on) << text;
  }

  ASSERT_TRUE(ui::setStartAtLogin(false));
  EXPECT_FALSE(std::filesystem::exists(entry));
  EXPECT_FALSE(ui::startsAtLogin());
  EXPECT_TRUE(ui::setStartAtLogin(false)) << "nothing to remove is no failure";

  // Where the autostart folder cannot be made, the failure is reported and nothing is set.
  writeFile(dir.file("blocked"), "");
  {
    vltest::ScopedEnv blocked("XDG_CONFIG_HOME", dir.file("blocked").c_str());
    EXPECT_FALSE(ui::setStartAtLogin(true));
    EXPECT_FALSE(ui::startsAtLogin());
  }
  // Without XDG_CONFIG_HOME, the entry goes below ~/.config, made when missing.
  vltest::ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
  vltest::ScopedEnv home("HOME", dir.file("home").c_str());
  std::filesystem::create_directory(dir.file("home"));
  ASSERT_TRUE(ui::setStartAtLogin(true));
  EXPECT_TRUE(std::filesystem::exists(dir.file("home") + "/.config/autostart/vantelink.desktop"));
}

TEST(StartAtLogin, TheProgramsPathIsQuotedAsTheExecKeyAsks) {
  const std::pair<const char*, const char*> cases[] = {
      {"/usr/bin/vantelink", "Exec=/usr/bin/vantelink\n"},
      {"/opt/my tools/vantelink", "Exec=\"/opt/my tools/vantelink\"\n"},
      {"/opt/100%/vantelink", "Exec=/opt/100%%/vantelink\n"},
      {"/o\"p$t`\\/v", "Exec=\"/o\\\\\"p\\\\$t\\\\`\\\\\\\\/v\"\n"},
  };
  for (const auto& [path, line] : cases) EXPECT_NE(ui::autostartEntry(path).find(line), std::string::npos) << path;
  EXPECT_EQ(ui::autostartEntry("/a\nb"), "");
  EXPECT_EQ(ui::autostartEntry(""), "");
}

}  // namespace

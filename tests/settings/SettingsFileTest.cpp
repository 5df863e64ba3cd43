// loadSettings and saveSettings on real files, with the preference base pointed at a
// temporary folder through the platform's variable.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>

#include "ScopedEnv.h"
#include "comsrc/PrefFileOpener.h"
#include "settings/PrefStore.h"
#include "settings/CaptureOptions.h"
#include "settings/Settings.h"
#include "settings/SoundValues.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

int countLines(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

class SettingsFile : public ::testing::Test {
 protected:
  SettingsFile() : base(vltest::prefBaseVariable(), dir.path().c_str()) {}

  std::string folder() const { return dir.file("vantela"); }
  std::string iniPath() const { return (fs::path(folder()) / "vantelink.ini").string(); }
  std::string tempPath() const { return (fs::path(folder()) / "vantelink.ini.tmp").string(); }
  void writeIni(const std::string& bytes) {
    fs::create_directories(folder());
    ASSERT_TRUE(vltest::TempDir::writeFile(iniPath(), bytes));
  }
  int32_t load() { return loadSettings(store, slots, captureMode); }
  int32_t save() { return saveSettings(store, slots, captureMode); }

  vltest::TempDir dir;
  vltest::ScopedEnv base;
  PrefStore store;
  DeviceSlots slots = makeDefaultSlots();
  CaptureMode captureMode = CaptureMode::mainScreen;
};

constexpr const char* kDefaultSlot0 =
    "MO.0.ACTIVE=0\nMO.0.PORT=0\nMO.0.SPEED=500000\nMO.0.DITHER=1\nMO.0.CONTRAST=1.000000\n"
    "MO.0.OFFSET=0\nMO.0.GAMMA=1.000000\nMO.0.INVERT=0\nMO.0.ROTATE=0\nMO.0.SHRINK=0\nMO.0.CTS=0\n"
    "MO.0.POS.X=0\nMO.0.POS.Y=0\n";

}  // namespace

TEST_F(SettingsFile, NoFileKeepsTheDefaultsAndCreatesTheFolder) {
  EXPECT_EQ(load(), 0);
  EXPECT_TRUE(fs::is_directory(folder()));
  EXPECT_FALSE(vltest::TempDir::exists(iniPath()));
  EXPECT_EQ(captureMode, CaptureMode::mainScreen);
  for (const DeviceSettings& s : slots) {
    EXPECT_EQ(s.speed, 500000);
    EXPECT_EQ(s.dither, 1);
    EXPECT_EQ(s.contrast, 1.0);
    EXPECT_EQ(s.gamma, 1.0);
    EXPECT_EQ(s.active | s.port | s.cts | s.offset | s.rotate | s.shrink | s.invert | s.posX | s.posY, 0);
  }
}

TEST_F(SettingsFile, SavedDefaultsAreFiftyThreeLfLines) {
  EXPECT_EQ(save(), 0);
  const std::string text = vltest::TempDir::readFile(iniPath());
  EXPECT_EQ(text.rfind(std::string("G.MODE=0\n") + kDefaultSlot0, 0), 0u) << text;
  EXPECT_EQ(countLines(text), 53);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 13), "MO.3.POS.Y=0\n");
  EXPECT_NE(text.find("MO.2.CONTRAST=1.000000\nMO.2.OFFSET=0\n"), std::string::npos);
  EXPECT_FALSE(vltest::TempDir::exists(tempPath()));
}

TEST_F(SettingsFile, ReadingRulesFromTheFile) {
  writeIni(
      "G.MODE=7\r\n"
      "MO.0.SPEED=0x7A120\r\n"
      "MO.0.PORT=010\n"
      "  mo.1.gamma =  1.25   # a note\n"
      "MO.0.CTS=\n"
      "MO.0.INVERT=5\n"
      "MO.1.DITHER=7\n"
      "MO.1.CONTRAST=3.0\n"
      "FOO.BAR=1\n"
      "MO.2.OFFSET=-8\n"
      "MO.2.OFFSET=16\n"
      "MO.3.SPEED=fast\n");
  slots[0].cts = 1;
  EXPECT_EQ(load(), 0);
  EXPECT_EQ(captureMode, CaptureMode::mainScreen);
  EXPECT_EQ(slots[0].speed, 500000);
  EXPECT_EQ(slots[0].port, 8);
  EXPECT_EQ(slots[1].gamma, 1.25);
  EXPECT_EQ(slots[0].cts, 1);  // an empty value changes nothing
  EXPECT_EQ(slots[0].invert, 5);
  EXPECT_EQ(slots[1].dither, 0);  // a mode the program lacks counts as the threshold
  EXPECT_EQ(slots[1].contrast, 3.0);
  EXPECT_EQ(slots[2].offset, 16);
  EXPECT_EQ(slots[3].speed, 500000);  // not a number reads as 0, and no speed is the default

  EXPECT_EQ(save(), 0);
  const std::string text = vltest::TempDir::readFile(iniPath());
  EXPECT_EQ(countLines(text), 54);
  EXPECT_NE(text.find("MO.0.INVERT=1\n"), std::string::npos);
  EXPECT_NE(text.find("MO.0.CTS=1\n"), std::string::npos);
  EXPECT_NE(text.find("MO.2.DITHER=1\nMO.2.CONTRAST=1.000000\nMO.2.OFFSET=16\n"), std::string::npos);
  EXPECT_EQ(text.find("MO.2.OFFSET=-8"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 23), "MO.3.POS.Y=0\nFOO.BAR=1\n");
}

TEST_F(SettingsFile, ModeOneLoadsAsOne) {
  writeIni("G.MODE=1\n");
  EXPECT_EQ(load(), 0);
  EXPECT_EQ(captureMode, CaptureMode::externalMonitor);
}

TEST_F(SettingsFile, RoundTripGivesTheSameValuesAndTheSameBytes) {
  const int32_t speeds[] = {9600, 1000000, 115200, 250000};
  for (int i = 0; i < 4; ++i) {
    DeviceSettings& s = slots[i];
    s.active = i % 2;
    s.port = 60 - i;
    s.speed = speeds[i];
    s.cts = (i + 1) % 2;
    s.dither = i % 3;
    s.contrast = 0.5 + 0.05 * (i + 3);
    s.gamma = 1.5 - 0.05 * i;
    s.offset = -64 + 8 * i;
    s.rotate = i == 2 ? 2 : 0;
    s.shrink = i;
    s.invert = i == 3;
    s.posX = 16 * i;
    s.posY = 64 - 16 * i;
  }
  captureMode = CaptureMode::externalMonitor;
  writeIni("zeta.key = first\nALPHA=second value\n");
  {
    PrefStore first;
    DeviceSlots ignored = makeDefaultSlots();
    CaptureMode mode = CaptureMode::mainScreen;
    ASSERT_EQ(loadSettings(first, ignored, mode), 0);
    ASSERT_EQ(saveSettings(first, slots, captureMode), 0);
  }
  const std::string saved = vltest::TempDir::readFile(iniPath());
  EXPECT_EQ(countLines(saved), 55);
  EXPECT_EQ(saved.substr(saved.find("MO.3.POS.Y=")), "MO.3.POS.Y=16\nZETA.KEY=first\nALPHA=second value\n");

  PrefStore again;
  DeviceSlots loaded = makeDefaultSlots();
  CaptureMode mode = CaptureMode::mainScreen;
  ASSERT_EQ(loadSettings(again, loaded, mode), 0);
  EXPECT_EQ(mode, CaptureMode::externalMonitor);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const DeviceSettings& a = slots[i];
    const DeviceSettings& b = loaded[i];
    EXPECT_EQ(a.active, b.active);
    EXPECT_EQ(a.port, b.port);
    EXPECT_EQ(a.speed, b.speed);
    EXPECT_EQ(a.cts, b.cts);
    EXPECT_EQ(a.dither, b.dither);
    EXPECT_NEAR(a.contrast, b.contrast, 5e-7);
    EXPECT_NEAR(a.gamma, b.gamma, 5e-7);
    EXPECT_EQ(a.offset, b.offset);
    EXPECT_EQ(a.rotate, b.rotate);
    EXPECT_EQ(a.shrink, b.shrink);
    EXPECT_EQ(a.invert, b.invert);
    EXPECT_EQ(a.posX, b.posX);
    EXPECT_EQ(a.posY, b.posY);
  }
  ASSERT_EQ(saveSettings(again, loaded, mode), 0);
  EXPECT_EQ(vltest::TempDir::readFile(iniPath()), saved);
}

TEST_F(SettingsFile, HostileFileLoadsByTheRules) {
  std::string hostile;
  hostile += "MO.0.PORT=" + std::string(100000, '9') + "\n";           // huge number, long line
  const char withNul[] = "MO.0.SPEED=9600\0MO.0.CTS=1\n";
  hostile += std::string(withNul, sizeof withNul - 1);                   // NUL ends the text
  hostile += "\x01\x02\xff\xfe=\x80\x81\n";                              // binary key and value
  hostile += "MO.1.OFFSET=-99999999999999999999\n";
  hostile += "MO.1.CONTRAST=1e999\n";
  hostile += "MO.1.GAMMA=nan\n";
  hostile += "MO.2.GAMMA=1e300\n";
  hostile += "no equals at all " + std::string(5000, 'x') + "\n";
  for (int i = 0; i < 300; ++i) hostile += "X" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  hostile += "MO.3.PORT=4\n";
  hostile += "MO.2.PORT=3\rMO.2.SPEED=9600\rMO.2.CTS=1\r";              // CR-only line ends
  writeIni(hostile);

  EXPECT_EQ(load(), 0);
  EXPECT_EQ(slots[0].port, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(slots[0].speed, 9600);
  EXPECT_EQ(slots[0].cts, 0);
  EXPECT_EQ(slots[1].offset, std::numeric_limits<int32_t>::min());
  // Infinities and not-a-number count as missing; a finite real is taken however large.
  EXPECT_EQ(slots[1].contrast, 1.0);
  EXPECT_EQ(slots[1].gamma, 1.0);
  EXPECT_EQ(slots[2].gamma, 1e300);
  EXPECT_EQ(store.size(), 256);  // the 53 known keys came first; later new keys are dropped
  EXPECT_STREQ(store.find("\x01\x02\xff\xfe"), "\x80\x81");
  EXPECT_NE(store.find("X201"), nullptr);
  EXPECT_EQ(store.find("X202"), nullptr);
  // With CR-only ends the rest is one line: its value starts with 3 and the other keys are text.
  EXPECT_EQ(slots[2].port, 3);
  EXPECT_EQ(slots[2].speed, 500000);
  EXPECT_EQ(slots[2].cts, 0);
  EXPECT_EQ(slots[3].port, 4);

  // What was read goes back out and loads the same again.
  EXPECT_EQ(save(), 0);
  const std::string first = vltest::TempDir::readFile(iniPath());
  EXPECT_EQ(countLines(first), 256);
  PrefStore again;
  DeviceSlots loaded = makeDefaultSlots();
  CaptureMode mode = CaptureMode::mainScreen;
  EXPECT_EQ(loadSettings(again, loaded, mode), 0);
  EXPECT_EQ(loaded[0].port, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(saveSettings(again, loaded, mode), 0);
  EXPECT_EQ(vltest::TempDir::readFile(iniPath()), first);
}

// Values only an edited file holds: each gets one meaning, said in one trace line, and the
// file keeps that meaning once saved.
TEST_F(SettingsFile, HandEditedValuesGetOneMeaning) {
  struct Case {
    const char* line;
    int32_t DeviceSettings::*field;
    int32_t expected;
    const char* trace;  // nullptr: taken as read, nothing said
  };
  const Case cases[] = {
      {"MO.0.ROTATE=1", &DeviceSettings::rotate, 0, "MO.0.ROTATE=1 taken as 0"},
      {"MO.0.ROTATE=3", &DeviceSettings::rotate, 0, "MO.0.ROTATE=3 taken as 0"},
      {"MO.0.ROTATE=-2", &DeviceSettings::rotate, 0, "MO.0.ROTATE=-2 taken as 0"},
      {"MO.0.ROTATE=2", &DeviceSettings::rotate, 2, nullptr},
      {"MO.1.SPEED=0", &DeviceSettings::speed, 500000, "MO.1.SPEED=0 taken as 500000"},
      {"MO.1.SPEED=-9600", &DeviceSettings::speed, 500000, "MO.1.SPEED=-9600 taken as 500000"},
      {"MO.1.SPEED=12345", &DeviceSettings::speed, 12345, nullptr},  // any speed the line can make
      {"MO.0.DITHER=3", &DeviceSettings::dither, 0, "MO.0.DITHER=3 taken as 0"},
      {"MO.0.DITHER=-1", &DeviceSettings::dither, 0, "MO.0.DITHER=-1 taken as 0"},
      {"MO.0.DITHER=2", &DeviceSettings::dither, 2, nullptr},
      {"MO.2.SHRINK=4", &DeviceSettings::shrink, 0, "MO.2.SHRINK=4 taken as 0"},
      {"MO.2.SHRINK=3", &DeviceSettings::shrink, 3, nullptr},
      {"MO.3.POS.X=5000", &DeviceSettings::posX, 240, "MO.3.POS.X=5000 taken as 240"},
      {"MO.3.POS.X=-16", &DeviceSettings::posX, 0, "MO.3.POS.X=-16 taken as 0"},
      {"MO.3.POS.Y=241", &DeviceSettings::posY, 240, "MO.3.POS.Y=241 taken as 240"},
      {"MO.3.POS.Y=64", &DeviceSettings::posY, 64, nullptr},
  };
  const std::string tracePath = dir.file("trace.txt");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    writeIni(std::string(c.line) + "\n");
    slots = makeDefaultSlots();
    store.clear();
    ASSERT_EQ(load(), 0);
    const size_t slot = size_t(c.line[3] - '0');
    EXPECT_EQ(slots[slot].*c.field, c.expected);

    // The same value through the trace: one line for a value changed, none otherwise.
    std::FILE* trace = std::fopen(tracePath.c_str(), "wb");
    ASSERT_NE(trace, nullptr);
    DeviceSlots raw = makeDefaultSlots();
    const char* eq = std::strchr(c.line, '=');
    raw[slot].*c.field = std::atoi(eq + 1);
    makeSettingsSound(raw, trace);
    std::fclose(trace);
    const std::string said = vltest::TempDir::readFile(tracePath);
    EXPECT_EQ(said, c.trace ? "vantelink: settings: " + std::string(c.trace) + "\n" : "");
    EXPECT_EQ(raw[slot].*c.field, c.expected);
  }
}

TEST_F(SettingsFile, RegularFileNamedVantelaStopsLoadAndSave) {
  ASSERT_TRUE(vltest::TempDir::writeFile(folder(), "not a folder"));
  slots[0].port = 7;
  EXPECT_EQ(load(), -2);
  EXPECT_EQ(slots[0].port, 7);
  EXPECT_EQ(save(), -2);
  EXPECT_EQ(vltest::TempDir::readFile(folder()), "not a folder");
}

TEST_F(SettingsFile, SaveThatCannotWriteKeepsTheOldFile) {
  writeIni("MO.0.PORT=5\n");
  // A folder where the temporary file would go: it cannot be opened for writing.
  fs::create_directories(tempPath());
  slots[0].port = 9;
  EXPECT_EQ(save(), -3);
  EXPECT_EQ(vltest::TempDir::readFile(iniPath()), "MO.0.PORT=5\n");
}

namespace {

// Passes everything to the platform's opener, except that the temporary file's stream fails
// after `limit` bytes, as a full disk would.
class DiskFullOpener : public comsrc::PrefFileOpener {
 public:
  explicit DiskFullOpener(int32_t limit) : real(comsrc::makePrefFileOpener()), limit(limit) {}

  int32_t open(const char* name, int32_t flags, std::unique_ptr<multio::Stream>& out) override {
    const int32_t result = real->open(name, flags, out);
    if (result == 0 && std::strcmp(name, kSettingsTempFile) == 0) out = std::make_unique<Limited>(std::move(out), limit);
    return result;
  }
  int32_t locateBase() override { return real->locateBase(); }
  int32_t enterFolder(const char* name) override { return real->enterFolder(name); }
  const char* getBase() const override { return real->getBase(); }
  int32_t setBase(const char* text, int32_t length) override { return real->setBase(text, length); }
  std::unique_ptr<char[]> join(const char* directory, const char* name) override { return real->join(directory, name); }
  int32_t replaceFile(const char* from, const char* to) override { return real->replaceFile(from, to); }
  int32_t removeFile(const char* name) override { return real->removeFile(name); }
  bool baseIsFolder() const override { return real->baseIsFolder(); }

 private:
  struct Limited : multio::Stream {
    Limited(std::unique_ptr<multio::Stream> inner, int32_t room) : inner(std::move(inner)), room(room) {}
    int32_t write(const void* buffer, int32_t count, int32_t flags) override {
      if (room <= 0) return -1;
      const int32_t n = inner->write(buffer, count < room ? count : room, flags);
      if (n > 0) room -= n;
      return n;
    }
    int32_t flush() override { return inner->flush(); }
    int32_t close() override { return inner->close(); }
    std::unique_ptr<multio::Stream> inner;
    int32_t room;
  };

  std::unique_ptr<comsrc::PrefFileOpener> real;
  int32_t limit;
};

}  // namespace

TEST_F(SettingsFile, SaveFailingMidwayKeepsTheOldFileAndLeavesNoTemporary) {
  writeIni("MO.0.PORT=5\nKEEP=me\n");
  slots[0].port = 9;
  for (int32_t limit : {0, 10, 300}) {
    SCOPED_TRACE(limit);
    DiskFullOpener opener(limit);
    EXPECT_EQ(saveSettings(opener, store, slots, captureMode), -3);
    EXPECT_EQ(vltest::TempDir::readFile(iniPath()), "MO.0.PORT=5\nKEEP=me\n");
    EXPECT_FALSE(vltest::TempDir::exists(tempPath()));
  }
  DiskFullOpener roomy(1 << 20);
  EXPECT_EQ(saveSettings(roomy, store, slots, captureMode), 0);
  const std::string saved = vltest::TempDir::readFile(iniPath());
  EXPECT_NE(saved.find("MO.0.PORT=9\n"), std::string::npos);

  // One byte short of the whole file is still a failure.
  writeIni("MO.0.PORT=5\n");
  DiskFullOpener almost(static_cast<int32_t>(saved.size()) - 1);
  EXPECT_EQ(saveSettings(almost, store, slots, captureMode), -3);
  EXPECT_EQ(vltest::TempDir::readFile(iniPath()), "MO.0.PORT=5\n");
}

TEST_F(SettingsFile, RealsIgnoreTheProcessLocale) {
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  bool commaLocale = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252", "de-DE", "German"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr && std::localeconv()->decimal_point[0] == ',') {
      commaLocale = true;
      break;
    }
  }
  if (!commaLocale) {
    std::setlocale(LC_NUMERIC, previous.c_str());
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  writeIni("MO.0.GAMMA=1.25\nMO.0.CONTRAST=0,75\n");
  const int32_t loaded = load();
  slots[1].contrast = 0.55;
  const int32_t saved = save();
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_EQ(loaded, 0);
  EXPECT_EQ(slots[0].gamma, 1.25);
  EXPECT_EQ(slots[0].contrast, 0.0);
  EXPECT_EQ(saved, 0);
  EXPECT_NE(vltest::TempDir::readFile(iniPath()).find("MO.1.CONTRAST=0.550000\n"), std::string::npos);
}

TEST_F(SettingsFile, TheCaptureOptionsTravelInTheFileOnlyWhenSet) {
  writeIni("g.output = HDMI-A-1\nG.PORTAL.TOKEN=4f2c-token\nG.AREA.X=-99999999999\nG.AREA.Y=1920\n"
           "G.WINDOW.TITLE=a = b\nG.WINDOW.CLASS=xterm\nG.PORTAL.WINDOW.TOKEN=77e1-window\n");
  ASSERT_EQ(load(), 0);
  CaptureOptions options;
  takeCaptureOptions(store, options);
  EXPECT_EQ(options.waylandOutput, "HDMI-A-1");
  EXPECT_EQ(options.portalToken, "4f2c-token");
  EXPECT_EQ(options.portalWindowToken, "77e1-window");
  EXPECT_EQ(options.areaX, -kAreaReach);  // far beyond every screen: as far as an area may lie
  EXPECT_EQ(options.areaY, 1920);
  EXPECT_EQ(options.windowTitle, "a = b");
  EXPECT_EQ(options.windowClass, "xterm");

  // A new token replaces the old; a value that would break the line is not written.
  options.portalToken = "new-token";
  options.waylandOutput = "DP-1\nG.MODE=1";
  // A window picked without a class takes the old class out of the file, a window's token
  // forgotten its token; an area back at the origin is written as such.
  options.windowClass.clear();
  options.portalWindowToken.clear();
  options.areaY = 0;
  putCaptureOptions(store, options);
  ASSERT_EQ(save(), 0);
  const std::string text = vltest::TempDir::readFile(iniPath());
  EXPECT_NE(text.find("G.PORTAL.TOKEN=new-token\n"), std::string::npos) << text;
  EXPECT_NE(text.find("G.OUTPUT=HDMI-A-1\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("DP-1"), std::string::npos) << text;
  EXPECT_NE(text.find("G.AREA.X=-32767\nG.AREA.Y=0\nG.WINDOW.TITLE=a = b\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("G.WINDOW.CLASS"), std::string::npos) << text;
  EXPECT_EQ(text.find("77e1-window"), std::string::npos) << text;

  // Without them the file has no such lines.
  PrefStore fresh;
  putCaptureOptions(fresh, CaptureOptions{});
  EXPECT_EQ(fresh.size(), 0);
}

// A file named on the command line: read and written where it is, beside the default one,
// never creating a folder; a path that names a folder instead of a file is refused.
TEST_F(SettingsFile, ANamedFileIsReadAndWrittenInItsOwnFolderOnly) {
  fs::create_directories(dir.file("other"));
  const std::string named = (fs::path(dir.file("other")) / "second.ini").string();
  ASSERT_TRUE(vltest::TempDir::writeFile(named, "MO.1.GAMMA=2.500000\nX.KEPT=1\n"));
  EXPECT_EQ(loadSettings(named, store, slots, captureMode), kSettingsOk);
  EXPECT_EQ(slots[1].gamma, 2.5);
  slots[0].port = 9;
  EXPECT_EQ(saveSettings(named, store, slots, captureMode), kSettingsOk);
  const std::string saved = vltest::TempDir::readFile(named);
  EXPECT_NE(saved.find("MO.0.PORT=9\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("X.KEPT=1\n"), std::string::npos) << saved;
  EXPECT_FALSE(fs::exists(named + ".tmp"));
  EXPECT_FALSE(fs::exists(folder())) << "the default folder was made";

  const std::string nowhere = (fs::path(dir.file("missing")) / "third.ini").string();
  EXPECT_EQ(saveSettings(nowhere, store, slots, captureMode), kSettingsNotSaved);
  EXPECT_FALSE(fs::exists(dir.file("missing")));
  EXPECT_EQ(saveSettings(dir.file("other") + "/", store, slots, captureMode), kSettingsNoFolder);
}

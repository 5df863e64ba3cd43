#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "support/TestPty_POSIX.h"
#include "tools/common/PanelDecoder.h"
#include "tools/common/PngFile.h"

namespace {

struct ToolRun {
  int status = -1;
  std::string errors;
};

class PreviewTool : public ::testing::Test {
 protected:
  vltest::TempDir dir;

  ToolRun run(const std::string& arguments) {
    const std::string err = dir.file("stderr.txt");
    const std::string command = std::string("'") + VL_PREVIEW_PROGRAM + "' " + arguments + " >/dev/null 2>'" + err + "'";
    const int raw = std::system(command.c_str());
    ToolRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.errors = vltest::TempDir::readFile(err);
    return r;
  }

  // A picture whose pixel (x, y) is white where bright(x, y) holds, black elsewhere.
  template <class Bright>
  std::string picture(const std::string& name, int32_t w, int32_t h, Bright bright) {
    std::vector<uint8_t> bgrx(size_t(w) * h * 4, 0);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        if (bright(x, y)) std::fill_n(&bgrx[(size_t(y) * w + x) * 4], 3, 255);
    std::string error;
    const std::string path = dir.file(name);
    EXPECT_TRUE(vltools::writePng(path, vltools::PngKind::rgb8, w, h, bgrx.data(), w * 4, error)) << error;
    return path;
  }

  std::string settings(const std::string& text) {
    const std::string path = dir.file("vantelink.ini");
    EXPECT_TRUE(vltest::TempDir::writeFile(path, text));
    return path;
  }

  // The panel in OUTPUT: 1 where bright.
  std::vector<uint8_t> panel(const std::string& path) {
    vltools::PngPicture p;
    std::string error;
    EXPECT_TRUE(vltools::readPng(path, p, error)) << error;
    EXPECT_EQ(p.width, 400);
    EXPECT_EQ(p.height, 240);
    std::vector<uint8_t> bits;
    for (size_t i = 0; i + 3 < p.bgrx.size(); i += 4) bits.push_back(p.bgrx[i] >= 128 ? 1 : 0);
    return bits;
  }

  int32_t brightCount(const std::vector<uint8_t>& bits) {
    int32_t n = 0;
    for (uint8_t b : bits) n += b;
    return n;
  }
};

TEST_F(PreviewTool, WhitePictureWithThresholdLightsTheWholePanel) {
  const std::string in = picture("white.png", 400, 240, [](int32_t, int32_t) { return true; });
  // Read by the program's own rules: key case, blanks and comments as in any settings file.
  const std::string ini = settings("  mo.0.dither =  0   # two levels\r\nMO.0.CONTRAST=\n");
  const ToolRun r = run("--settings '" + ini + "' --wire '" + dir.file("wire.bin") + "' '" + in + "' '" +
                    dir.file("out.png") + "'");
  ASSERT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(brightCount(panel(dir.file("out.png"))), 400 * 240);
  const std::string wire = vltest::TempDir::readFile(dir.file("wire.bin"));
  ASSERT_EQ(wire.size(), 240u * 57);
  for (size_t l = 0; l < 240; ++l) {
    EXPECT_EQ(uint8_t(wire[l * 57]), 0x80);
    EXPECT_EQ(uint8_t(wire[l * 57 + 2]), l + 1);
    EXPECT_EQ(uint8_t(wire[l * 57 + 3]), 0xFF);
  }
}

TEST_F(PreviewTool, OutputIsThePanelTheWireBytesDraw) {
  // Defaults: Floyd–Steinberg on a diagonal gradient, rotated and inverted by the settings.
  const std::string in = picture("grad.png", 400, 240, [](int32_t x, int32_t y) { return (x * 7 + y * 13) % 97 < x / 5; });
  const std::string ini = settings("MO.0.ROTATE=2\nMO.0.INVERT=1\n");
  ASSERT_EQ(run("--settings '" + ini + "' --wire '" + dir.file("w.bin") + "' '" + in + "' '" + dir.file("o.png") + "'").status,
            0);
  const std::string wire = vltest::TempDir::readFile(dir.file("w.bin"));
  PanelDecoder decoder;
  decoder.feed(reinterpret_cast<const uint8_t*>(wire.data()), wire.size());
  decoder.finish();
  EXPECT_EQ(decoder.records(), 240u);
  EXPECT_EQ(decoder.skipped(), 0u);
  EXPECT_EQ(panel(dir.file("o.png")), decoder.panel());
  EXPECT_EQ(uint8_t(wire[2]), 240);  // rotated: working row 0 goes to the bottom line
}

TEST_F(PreviewTool, RotationTurnsThePictureAndSlotsUseTheirOwnSettings) {
  const std::string in = picture("left.png", 400, 240, [](int32_t x, int32_t) { return x < 100; });
  // Slot 2 thresholds and turns the picture; slot 0 would dither.
  const std::string ini = settings("MO.2.DITHER=0\nMO.2.ROTATE=2\nG.MODE=1\n");  // either capture mode
  ASSERT_EQ(run("--slot 2 --settings '" + ini + "' '" + in + "' '" + dir.file("o.png") + "'").status, 0);
  const std::vector<uint8_t> bits = panel(dir.file("o.png"));
  EXPECT_EQ(brightCount(bits), 100 * 240);
  EXPECT_EQ(bits[399], 1);  // the bright left quarter is now on the right
  EXPECT_EQ(bits[0], 0);
}

TEST_F(PreviewTool, CaptureIsThePictureBoundedLikeTheScreen) {
  // A small picture fills only its own lines; the rest of the panel stays dark.
  const std::string small = picture("small.png", 200, 100, [](int32_t, int32_t) { return true; });
  const std::string ini = settings("MO.0.DITHER=0\n");
  ASSERT_EQ(run("--settings '" + ini + "' --wire '" + dir.file("w.bin") + "' '" + small + "' '" + dir.file("o.png") + "'")
                .status,
            0);
  EXPECT_EQ(vltest::TempDir::readFile(dir.file("w.bin")).size(), 112u * 57);  // rows to the 16-pixel grid
  EXPECT_EQ(brightCount(panel(dir.file("o.png"))), 200 * 100);

  // A large picture with shrink 2 on slot 0: 210 × 160 of it are captured.
  const std::string large = picture("large.png", 800, 600, [](int32_t, int32_t) { return true; });
  const std::string shrunk = settings("MO.0.DITHER=0\nMO.0.SHRINK=2\n");
  ASSERT_EQ(run("--settings '" + shrunk + "' '" + large + "' '" + dir.file("o2.png") + "'").status, 0);
  EXPECT_EQ(brightCount(panel(dir.file("o2.png"))), 210 * 160);
}

TEST_F(PreviewTool, LaterFramesSendOnlyWhatChanges) {
  const std::string in = picture("grey.png", 400, 240, [](int32_t x, int32_t y) { return (x + y) % 2 == 0; });
  const std::string still = settings("MO.0.DITHER=0\n");
  ASSERT_EQ(run("--frames 3 --settings '" + still + "' --wire '" + dir.file("a.bin") + "' '" + in + "' '" +
                dir.file("a.png") + "'")
                .status,
            0);
  EXPECT_EQ(vltest::TempDir::readFile(dir.file("a.bin")).size(), 240u * 57);

  const std::string halftone = settings("MO.0.DITHER=2\n");
  ASSERT_EQ(run("--frames=3 --settings='" + halftone + "' --wire='" + dir.file("b.bin") + "' '" + in + "' '" +
                dir.file("b.png") + "'")
                .status,
            0);
  EXPECT_EQ(vltest::TempDir::readFile(dir.file("b.bin")).size(), 3u * 240 * 57);
}

TEST_F(PreviewTool, BadArgumentsAndPicturesExitWithStatusTwoAndOneLine) {
  const std::string in = picture("p.png", 10, 10, [](int32_t, int32_t) { return true; });
  ASSERT_TRUE(vltest::TempDir::writeFile(dir.file("junk.png"), "\x89PNG but not really"));
  const std::string out = "'" + dir.file("o.png") + "'";
  const std::vector<std::string> bad = {
      "",
      "'" + in + "'",
      "'" + in + "' " + out + " extra",
      "--slot 4 '" + in + "' " + out,
      "--slot -1 '" + in + "' " + out,
      "--frames 0 '" + in + "' " + out,
      "--frames 2x '" + in + "' " + out,
      "--frames '" + in + "' " + out,
      "--colour red '" + in + "' " + out,
      "'" + dir.file("missing.png") + "' " + out,
      "'" + dir.file("junk.png") + "' " + out,
      "--settings '" + dir.file("no-such.ini") + "' '" + in + "' " + out,
  };
  for (const std::string& args : bad) {
    const ToolRun r = run(args);
    EXPECT_EQ(r.status, 2) << args;
    ASSERT_FALSE(r.errors.empty()) << args;
    EXPECT_EQ(r.errors.find('\n'), r.errors.size() - 1) << args << ": " << r.errors;
  }
  EXPECT_FALSE(vltest::TempDir::exists(dir.file("o.png")));
  EXPECT_EQ(run("--help").status, 0);
}

// The simulator, reading the wire bytes from its terminal as a device would, ends with the same
// panel as the preview's OUTPUT.
TEST_F(PreviewTool, TheSimulatorDrawsTheSamePanelFromTheWireBytes) {
  const std::string in = picture("g.png", 420, 250, [](int32_t x, int32_t y) { return (x * x + 3 * y) % 101 < 50; });
  ASSERT_EQ(run("--wire '" + dir.file("w.bin") + "' '" + in + "' '" + dir.file("o.png") + "'").status, 0);
  const std::string wire = vltest::TempDir::readFile(dir.file("w.bin"));
  ASSERT_EQ(wire.size(), 240u * 57);

  const std::string link = dir.file("device"), png = dir.file("sim.png"), out = dir.file("sim.txt");
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> args = {"vantela-sim", "--link", link, "--speed", "0", "--png", png};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, VL_SIM_PROGRAM, &files, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&files);

  int fd = -1;
  for (int i = 0; i < 500 && fd < 0; ++i) {
    fd = vltest::openRawTerminal(link);
    if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_GE(fd, 0) << "the simulator did not come up";
  size_t written = 0;
  while (written < wire.size()) {
    const ssize_t n = ::write(fd, wire.data() + written, wire.size() - written);
    ASSERT_GT(n, 0);
    written += size_t(n);
  }
  tcdrain(fd);
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  ::close(fd);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(vltest::TempDir::readFile(out).find("records 240 bytes 13680 skipped 0"), std::string::npos)
      << vltest::TempDir::readFile(out);
  EXPECT_EQ(panel(png), panel(dir.file("o.png")));
}

}  // namespace

// GoogleTest before Xlib, whose macros clash with it.
#include <gtest/gtest.h>
// (Xlib after GoogleTest)
#include "EndToEnd_X11.h"

#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "link/DeviceLink.h"
#include "link/PortPath_POSIX.h"
#include "link/SimProcess_POSIX.h"
#include "support/TempDir.h"
#include "tools/common/PngFile.h"

namespace vltest {

using namespace std::chrono_literals;

void drawPicture(Display* d) {
  const Window root = DefaultRootWindow(d);
  GC gc = XCreateGC(d, root, 0, nullptr);
  auto fill = [&](int x, int y, int w, int h, unsigned long rgb) {
    XSetForeground(d, gc, rgb);
    XFillRectangle(d, root, gc, x, y, unsigned(w), unsigned(h));
  };
  fill(0, 0, 800, 600, 0x303030);
  for (int x = 0; x < 400; ++x) fill(x, 0, 1, 120, (unsigned long)(x * 255 / 399) * 0x010101);
  for (int y = 120; y < 240; y += 6) fill(0, y, 400, 3, y % 12 ? 0xE0E0E0 : 0x102040);
  fill(40, 140, 120, 80, 0xFF0000);
  fill(180, 140, 120, 80, 0x00FF00);
  fill(250, 60, 60, 160, 0x0000FF);
  XSetForeground(d, gc, 0xFFFFFF);
  XFillArc(d, root, gc, 320, 20, 70, 70, 0, 360 * 64);
  fill(400, 0, 400, 600, 0x808080);
  XSync(d, False);
  XFreeGC(d, gc);
}

bool screenshot(Display* d, const std::string& path, std::string& error) {
  const int width = DisplayWidth(d, DefaultScreen(d)), height = DisplayHeight(d, DefaultScreen(d));
  XImage* image = XGetImage(d, DefaultRootWindow(d), 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
  if (!image) {
    error = "XGetImage failed";
    return false;
  }
  std::vector<uint8_t> bgrx(size_t(width) * size_t(height) * 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const unsigned long p = XGetPixel(image, x, y);
      uint8_t* o = &bgrx[(size_t(y) * size_t(width) + size_t(x)) * 4];
      o[0] = uint8_t(p), o[1] = uint8_t(p >> 8), o[2] = uint8_t(p >> 16), o[3] = 0;
    }
  XDestroyImage(image);
  return vltools::writePng(path, vltools::PngKind::rgb8, width, height, bgrx.data(), width * 4, error);
}

Comparison compareWithPreview(Display* d, const TempDir& dir, const std::string& panelPath, const std::string& tag,
                              int rows) {
  Comparison c;
  std::string error;
  const std::string shot = dir.file("screen" + tag + ".png"), preview = dir.file("preview" + tag + ".png");
  const std::string command =
      std::string(VL_PREVIEW_PROGRAM) + " --settings " + dir.file("settings.ini") + " " + shot + " " + preview;
  if (!screenshot(d, shot, error) || std::system(command.c_str()) != 0) return c;
  vltools::PngPicture a, b;
  if (!vltools::readPng(panelPath, a, error) || !vltools::readPng(preview, b, error)) return c;
  if (a.width != 400 || a.height != 240 || b.width != 400 || b.height != 240) return c;
  c.differing = 0;
  for (size_t i = 0; i < a.bgrx.size(); i += 4) {
    if (long(i / 4 / 400) < rows) c.differing += a.bgrx[i] != b.bgrx[i];
    c.bright += a.bgrx[i] > 128;
  }
  return c;
}

void waitUntilSent(DeviceLink& link, uint32_t empty, const std::function<void()>& frame) {
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (link.shown.heldBackCount() > 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(45ms);
    frame();
  }
  while (link.freeSpace() != empty && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(2ms);
  std::this_thread::sleep_for(300ms);  // the simulator reads what the terminal holds
}

std::string startSimulatorAsCom5(const TempDir& dir, SimProcess& sim, int dither) {
  if (!TempDir::writeFile(dir.file("settings.ini"), "MO.0.DITHER=" + std::to_string(dither) + "\n")) return {};
  std::filesystem::create_directories(dir.file("ports"));
  std::filesystem::create_directories(dir.file("dev"));
  setPortLocations({dir.file("ports"), dir.file("dev")});
  const std::string com5 = dir.file("ports") + "/com5";
  const std::string panel = dir.file("panel.png");
  if (!sim.start({"--link", com5, "--speed", "0", "--png", panel}, com5, dir.file("sim.out"))) return {};
  return panel;
}

void expectTwoPanels(const Comparison& first, const Comparison& second, const std::string& simCounts, long fullLines) {
  EXPECT_EQ(first.differing, 0);
  EXPECT_EQ(second.differing, 0);
  EXPECT_GT(first.bright, 400 * 240 / 10);
  EXPECT_LT(first.bright, 400 * 240 * 9 / 10);
  EXPECT_GT(second.bright, first.bright + 1000);
  EXPECT_EQ(simCounts.rfind("records ", 0), 0u) << simCounts;
  const long records = std::atol(simCounts.c_str() + 8);
  EXPECT_GE(records, fullLines + 1) << simCounts;
  EXPECT_LT(records, fullLines + 160) << simCounts;
}

}  // namespace vltest

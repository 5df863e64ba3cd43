// The gallery program driven from outside with xdotool, as a user would: real pointer and
// keyboard events through the X server, results read from its log and its pixels.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "Gallery.h"
#include "GalleryProbes.h"
#include "support/TempDir.h"
#include "XDrive.h"
#include "support/XServer_X11.h"
#include "support/HostTools_POSIX.h"
#include "ui/MenuBar.h"
#include "ui/resource.h"
#include "ui/Painter_X11.h"

extern char** environ;

namespace {

using vltest::capture;
using vltest::waitFor;
using vltest::xdotool;
constexpr int32_t kBar = ui::MenuBar::barHeight;

struct GalleryDrive : testing::Test {
  void SetUp() override {
    VL_SKIP_WITHOUT_PROGRAM("Xvfb");
    VL_SKIP_WITHOUT_PROGRAM("xdotool");
    VL_SKIP_WITHOUT_FONTS();
    ASSERT_TRUE(server.ok());
    // A stand-in for the desktop's opener that writes down the address it was given.
    const std::string bin = dir.file("bin");
    ASSERT_EQ(std::system(("mkdir -p " + bin).c_str()), 0);
    ASSERT_TRUE(vltest::TempDir::writeFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > \"" + dir.file("opened") +
                                                                    ".tmp\" && mv \"" + dir.file("opened.tmp") +
                                                                    "\" \"" + dir.file("opened") + "\"\n"));
    ASSERT_EQ(chmod((bin + "/xdg-open").c_str(), 0755), 0);
    const char* path = std::getenv("PATH");
    const std::string newPath = bin + ":" + (path ? path : "/usr/bin:/bin");
    setenv("PATH", newPath.c_str(), 1);

    logPath = dir.file("log");
    const char* argv[] = {VL_GALLERY_EXE, logPath.c_str(), nullptr};
    ASSERT_EQ(posix_spawn(&pid, VL_GALLERY_EXE, nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    dpy = XOpenDisplay(nullptr);
    ASSERT_NE(dpy, nullptr);
    const std::string id = capture("timeout 20 xdotool search --sync --onlyvisible --name '^Vantelink gallery$'");
    win = static_cast<::Window>(std::strtoul(id.c_str(), nullptr, 10));
    ASSERT_NE(win, 0u) << "the gallery window did not appear";
    ASSERT_TRUE(waitFor([&] { return pixel(4, 4) == vltest::kBlack; })) << "the gallery was not painted";
    ui::Form reference;
    vltest::buildGallery(reference);
    for (size_t i = 0; i < reference.size(); ++i) rects[reference.at(i)->id] = reference.at(i)->rect;
  }
  void TearDown() override {
    if (dpy) XCloseDisplay(dpy);
    if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }

  // Client-area pixel of the gallery.
  uint32_t pixel(int32_t x, int32_t y) {
    XImage* img = XGetImage(dpy, win, x, y + kBar, 1, 1, AllPlanes, ZPixmap);
    if (!img) return 0xFFFFFFFF;
    const uint32_t p = static_cast<uint32_t>(XGetPixel(img, 0, 0)) & 0xFFFFFF;
    XDestroyImage(img);
    return p;
  }
  // Moves the pointer to a client point (y may be negative: the menu bar lies above).
  void moveTo(int32_t x, int32_t y) {
    int rx = 0, ry = 0;
    ::Window child;
    XTranslateCoordinates(dpy, win, DefaultRootWindow(dpy), x, y + kBar, &rx, &ry, &child);
    ASSERT_TRUE(xdotool("mousemove --sync " + std::to_string(rx) + " " + std::to_string(ry)));
  }
  std::string log() { return vltest::TempDir::readFile(logPath); }
  bool logged(const std::string& line) { return (("\n" + log()).find("\n" + line + "\n")) != std::string::npos; }
  bool waitLogged(const std::string& line) {
    return waitFor([&] { return logged(line); });
  }
  // A click on the toggling check box marks that everything sent before it has been handled.
  void sentinel() {
    const int before = count("click 41");
    const ui::Rect r = rects[vltest::galleryToggleCheck];
    moveTo(r.left + 30, (r.top + r.bottom) / 2);
    xdotool("click 1");
    ASSERT_TRUE(waitFor([&] { return count("click 41") == before + 1; }));
  }
  int count(const std::string& line) {
    const std::string all = "\n" + log();
    int n = 0;
    for (size_t at = all.find("\n" + line + "\n"); at != std::string::npos; at = all.find("\n" + line + "\n", at + 1))
      ++n;
    return n;
  }
  ::Window findWindow(const std::string& name) {
    const std::string id = capture("timeout 10 xdotool search --sync --onlyvisible --name '" + name + "'");
    return static_cast<::Window>(std::strtoul(id.c_str(), nullptr, 10));
  }
  ui::Rect titleRect(int32_t popup) {
    ui::x11::Connection* c = ui::x11::acquire();
    if (!c) return {};
    ui::MenuBar bar(ui::mainMenu, ui::mainMenuCount);
    {
      ui::Painter_X11 measure(*c, DefaultRootWindow(c->dpy), 0, 0, {});
      bar.layout(measure);
    }
    const ui::Rect r = bar.titleRect(popup);
    ui::x11::release();
    return r;
  }
  bool exited(int ms = 5000) {
    return waitFor([&] { return pid > 0 && waitpid(pid, &status, WNOHANG) == pid ? (pid = -1, true) : pid < 0; }, ms);
  }
  int status = -1;

  vltest::XServer& server = vltest::sharedXvfb();
  vltest::TempDir dir;
  std::string logPath;
  pid_t pid = -1;
  Display* dpy = nullptr;
  ::Window win = 0;
  std::map<int32_t, ui::Rect> rects;
};

TEST_F(GalleryDrive, PressMoveOffMoveBackReleaseClicksOnce) {
  const ui::Rect r = rects[vltest::galleryClickButton];
  moveTo(r.left + 40, r.top + 9);
  xdotool("mousedown 1");
  EXPECT_TRUE(waitFor([&] { return pixel(r.left + 1, r.top + 1) == vltest::kBlack; })) << "not drawn pressed";
  moveTo(250, 300);
  EXPECT_TRUE(waitFor([&] { return pixel(r.left + 1, r.top + 1) == vltest::kWhite; })) << "not drawn released";
  moveTo(r.left + 20, r.top + 5);
  EXPECT_TRUE(waitFor([&] { return pixel(r.left + 1, r.top + 1) == vltest::kBlack; })) << "not drawn pressed again";
  xdotool("mouseup 1");
  EXPECT_TRUE(waitLogged("click 40"));
  EXPECT_TRUE(waitFor([&] { return pixel(r.left + 1, r.top + 1) == vltest::kWhite; }));
  EXPECT_EQ(count("click 40"), 1);
}

TEST_F(GalleryDrive, ReleaseOutsideTheWindowReachesTheWindowAndClicksNothing) {
  const ui::Rect r = rects[vltest::galleryClickButton];
  moveTo(r.left + 40, r.top + 9);
  xdotool("mousedown 1");
  ASSERT_TRUE(waitFor([&] { return pixel(r.left + 1, r.top + 1) == vltest::kBlack; }));
  ASSERT_TRUE(xdotool("mousemove --sync 700 550"));  // far outside the 314-pixel-wide window
  EXPECT_TRUE(waitFor([&] { return pixel(r.left + 1, r.top + 1) == vltest::kWhite; }));
  xdotool("mouseup 1");
  sentinel();
  EXPECT_EQ(count("click 40"), 0);
  EXPECT_EQ(pixel(r.left + 1, r.top + 1), vltest::kWhite);
  // The grab ended with the release: the next press inside works as usual.
  moveTo(r.left + 40, r.top + 9);
  xdotool("click 1");
  EXPECT_TRUE(waitLogged("click 40"));
}

TEST_F(GalleryDrive, DisabledButtonGivesNoClickAndToggleRepaints) {
  const ui::Rect d = rects[vltest::galleryDisabledButton];
  moveTo(d.left + 40, d.top + 9);
  xdotool("click 1");
  sentinel();  // also checks the box
  EXPECT_EQ(count("click 43"), 0);
  const ui::Rect c = rects[vltest::galleryToggleCheck];
  const int32_t t = (c.top + c.bottom - 14) / 2;
  EXPECT_TRUE(waitFor([&] { return pixel(c.left + 8, t + 7) == vltest::kBlack; })) << "check mark not drawn";
}

TEST_F(GalleryDrive, MenuAndAboutBoxByMouse) {
  const ui::Rect help = titleRect(1);
  ASSERT_FALSE(help.isEmpty());
  moveTo(help.left + 4, -kBar / 2);
  xdotool("click 1");
  // The popup opens below the title, over the client area; the About item is its second row.
  const int32_t itemY = ui::MenuBar::itemHeight + ui::MenuBar::itemHeight / 2 + 1;
  ASSERT_TRUE(waitFor([&] { return pixel(help.left, 5) == vltest::kBlack; })) << "popup frame not drawn";
  moveTo(help.left + 30, itemY);
  xdotool("click 1");
  const ::Window about = findWindow("Vantelink$");
  ASSERT_NE(about, 0u);

  // The About box: icon, three lines of text and the OK button, laid out in dialog units of its
  // font (an eighth of the 12-pixel cell down; a quarter of the average character width across).
  XWindowAttributes attrs{};
  ASSERT_TRUE(XGetWindowAttributes(dpy, about, &attrs));
  EXPECT_EQ(attrs.height, 111);
  const int32_t baseX = (attrs.width * 4 + 85) / 170;
  EXPECT_GE(baseX, 6);
  EXPECT_EQ((170 * baseX + 2) / 4, attrs.width);
  const int32_t w = attrs.width, h = attrs.height;
  const auto dx = [&](int32_t units) { return (units * baseX + 2) / 4; };
  vltest::Image shot;
  ASSERT_TRUE(waitFor([&] {
    XImage* x = XGetImage(dpy, about, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (!x) return false;
    shot.width = w, shot.height = h;
    shot.pixels.assign(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y)
      for (int xx = 0; xx < w; ++xx) shot.pixels[y * w + xx] = static_cast<uint32_t>(XGetPixel(x, xx, y)) & 0xFFFFFF;
    XDestroyImage(x);
    return shot.at(dx(113), 80) == vltest::kBlack;
  })) << "OK button frame not at its place";
  const char* b = std::getenv("VL_BINARY_DIR");
  vltest::writePng(std::string(b ? b : ".") + "/artefacts/about-x11.png", shot);
  EXPECT_EQ(shot.at(dx(14) + 3, 21 + 10), 0x2A2A2Au) << "icon bezel";
  for (int32_t row : {21, 39, 57}) EXPECT_GT(vltest::inkIn(shot, {dx(42), row, dx(156), row + 12}, vltest::kWhite).count, 40);
  // Every line fits its field: no ink touches the field's right end.
  for (int32_t row : {21, 39, 57}) EXPECT_EQ(vltest::inkIn(shot, {dx(156) - 2, row, dx(156), row + 12}, vltest::kWhite).count, 0);

  int ax = 0, ay = 0;
  ::Window child;
  XTranslateCoordinates(dpy, about, DefaultRootWindow(dpy), dx(113) + 20, 90, &ax, &ay, &child);
  xdotool("mousemove --sync " + std::to_string(ax) + " " + std::to_string(ay) + " click 1");
  EXPECT_TRUE(waitLogged("about 1"));
  EXPECT_TRUE(waitFor([&] { return pixel(help.left, 5) == vltest::kWhite; })) << "popup did not close";

  // Input to the owner works again after the box has gone.
  sentinel();
}

TEST_F(GalleryDrive, MenuAndAboutBoxByKeys) {
  xdotool("key alt+h");
  ASSERT_TRUE(waitFor([&] { return pixel(titleRect(1).left, 5) == vltest::kBlack; })) << "popup not open";
  xdotool("key Down Return");
  ASSERT_NE(findWindow("Vantelink$"), 0u);
  xdotool("key Escape");
  EXPECT_TRUE(waitLogged("about 2"));

  xdotool("key alt+h a");  // the item's mnemonic
  ASSERT_NE(findWindow("Vantelink$"), 0u);
  xdotool("key Escape");
  ASSERT_TRUE(waitFor([&] { return count("about 2") == 2; }));

  xdotool("key alt+question");
  ASSERT_NE(findWindow("Vantelink$"), 0u);
  xdotool("key Return");
  ASSERT_TRUE(waitFor([&] { return count("about 1") == 1; }));

  xdotool("key alt+slash");
  const ::Window about = findWindow("Vantelink$");
  ASSERT_NE(about, 0u);
  // The close box: the window manager's WM_DELETE_WINDOW message.
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = about;
  ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
  XSendEvent(dpy, about, False, NoEventMask, &ev);
  XFlush(dpy);
  ASSERT_TRUE(waitFor([&] { return count("about 2") == 3; }));
  EXPECT_EQ(count("command 104"), 4);
}

TEST_F(GalleryDrive, WebPageItemOpensTheBuildTimeAddress) {
  xdotool("key alt+h");
  ASSERT_TRUE(waitFor([&] { return pixel(titleRect(1).left, 5) == vltest::kBlack; }));
  xdotool("key Return");
  EXPECT_TRUE(waitLogged("web 0"));
  EXPECT_TRUE(waitFor([&] { return vltest::TempDir::exists(dir.file("opened")); }));
  EXPECT_EQ(vltest::TempDir::readFile(dir.file("opened")), VL_WEB_PAGE);
}

TEST_F(GalleryDrive, ExitByKeysEndsTheProgram) {
  xdotool("key alt+f");
  ASSERT_TRUE(waitFor([&] { return pixel(titleRect(0).left, 5) == vltest::kBlack; }));
  xdotool("key x");
  EXPECT_TRUE(waitLogged("command 105"));
  EXPECT_TRUE(exited());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(logged("destroy"));
}

TEST_F(GalleryDrive, ExitByMouseEndsTheProgram) {
  const ui::Rect file = titleRect(0);
  moveTo(file.left + 4, -kBar / 2);
  xdotool("click 1");
  ASSERT_TRUE(waitFor([&] { return pixel(file.left, 5) == vltest::kBlack; }));
  moveTo(file.left + 30, 4 * ui::MenuBar::itemHeight + ui::MenuBar::itemHeight / 2 + 1);  // the fifth row
  xdotool("click 1");
  EXPECT_TRUE(waitLogged("command 105"));
  EXPECT_TRUE(exited());
}

// The window hears of each popup before it shows, and the mark it sets is drawn in that popup.
TEST_F(GalleryDrive, TheStartAtLoginMarkIsSetAsThePopupOpens) {
  const ui::Rect file = titleRect(0);
  // The first row's room left of its text (client coordinates), lit while the keys select it.
  auto tickPixels = [&] {
    int n = 0;
    for (int32_t y = 1; y < ui::MenuBar::itemHeight; ++y)
      for (int32_t x = file.left + 2; x < file.left + 20; ++x) n += pixel(x, y) == vltest::kWhite;
    return n;
  };
  xdotool("key alt+f");
  ASSERT_TRUE(waitLogged("popup 0"));
  ASSERT_TRUE(waitFor([&] { return pixel(file.left, 5) == vltest::kBlack; }));
  EXPECT_EQ(tickPixels(), 0);
  xdotool("key Return");  // the first item, start at login
  ASSERT_TRUE(waitLogged("command " + std::to_string(IDM_STARTATLOGIN)));
  xdotool("key alt+f");
  ASSERT_TRUE(waitFor([&] { return count("popup 0") == 2; }));
  EXPECT_TRUE(waitFor([&] { return tickPixels() > 6; })) << "no check mark";
  xdotool("key Right");
  EXPECT_TRUE(waitLogged("popup 1"));
  xdotool("key Escape");
  sentinel();
}

TEST_F(GalleryDrive, EscapeClosesTheMenuWithoutACommand) {
  xdotool("key alt+f");
  ASSERT_TRUE(waitFor([&] { return pixel(titleRect(0).left, 5) == vltest::kBlack; }));
  xdotool("key Escape");
  EXPECT_TRUE(waitFor([&] { return pixel(titleRect(0).left, 5) != vltest::kBlack; }));
  sentinel();
  EXPECT_EQ(count("command 105"), 0);
}

}  // namespace

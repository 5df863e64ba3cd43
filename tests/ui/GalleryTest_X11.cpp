// The gallery drawn by the X11 adapter on an X server of the test's own, read back with XGetImage.
#include <gtest/gtest.h>

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "Gallery.h"
#include "GalleryProbes.h"
#include "Image.h"
#include "support/XServer_X11.h"
#include "support/HostTools_POSIX.h"
#include "ui/Display_X11.h"
#include "ui/MenuBar.h"
#include "ui/MenuModel.h"
#include "ui/Painter_X11.h"
#include "ui/Window_X11.h"

namespace {

vltest::Image grab(Display* dpy, ::Window w, int32_t width, int32_t height) {
  vltest::Image img;
  XImage* x = XGetImage(dpy, w, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!x) return img;
  img.width = width, img.height = height;
  img.pixels.resize(static_cast<size_t>(width) * height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t xx = 0; xx < width; ++xx)
      img.pixels[static_cast<size_t>(y) * width + xx] = static_cast<uint32_t>(XGetPixel(x, xx, y)) & 0xFFFFFF;
  XDestroyImage(x);
  return img;
}

std::string artefactDir() {
  const char* b = std::getenv("VL_BINARY_DIR");
  std::string dir = std::string(b ? b : ".") + "/artefacts";
  std::filesystem::create_directories(dir);
  return dir;
}

struct GalleryX11 : testing::Test {
  void SetUp() override {
    VL_SKIP_WITHOUT_PROGRAM("Xvfb");
    // The pixel positions and glyph checks below are those of the Japanese Gothic.
    if (!vltest::fontInstalled("IPAPGothic") && !vltest::fontInstalled("IPAGothic"))
      GTEST_SKIP() << "the IPA Gothic font (fonts-ipafont-gothic) is not installed";
    ASSERT_TRUE(server.ok()) << "Xvfb did not start";
    ui::WindowSpec windowSpec;
    windowSpec.className = "VantelinkGallery";
    windowSpec.title = "Vantelink gallery";
    window = ui::createWindow(windowSpec, handler);
    ASSERT_TRUE(window);
    window->show();
    // Until the first full paint has been handled.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (handler.paints == 0 && std::chrono::steady_clock::now() < end)
      if (ui::pumpMessage() == ui::Pumped::none) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_GT(handler.paints, 0);
    x11 = static_cast<ui::Window_X11*>(window.get());
    dpy = ui::x11::current()->dpy;
    XSync(dpy, False);
  }
  void TearDown() override { window.reset(); }
  vltest::Image client() {
    vltest::Image whole = grab(dpy, x11->xid(), window->clientWidth(), window->clientHeight() + x11->barHeight());
    return whole.crop(0, x11->barHeight(), window->clientWidth(), window->clientHeight());
  }

  vltest::XServer& server = vltest::sharedXvfb();
  vltest::GalleryHandler handler;
  std::unique_ptr<ui::Window> window;
  ui::Window_X11* x11 = nullptr;
  Display* dpy = nullptr;
};

TEST_F(GalleryX11, ClientAreaMatchesTheWindowsBuildAndTheMenuBarSitsAbove) {
  EXPECT_EQ(window->clientWidth(), 314);
  EXPECT_EQ(window->clientHeight(), 336);
  XWindowAttributes attrs{};
  ASSERT_TRUE(XGetWindowAttributes(dpy, x11->xid(), &attrs));
  EXPECT_EQ(attrs.width, 314);
  EXPECT_EQ(attrs.height, 336 + ui::MenuBar::barHeight);
  const vltest::Image whole = grab(dpy, x11->xid(), attrs.width, attrs.height);
  // The bar's text: ink inside each title, and the grey line under the bar.
  for (int32_t i = 0; i < 2; ++i) {
    const ui::Rect t = x11->menu()->titleRect(i);
    EXPECT_GT(vltest::inkIn(whole, t, vltest::kWhite).count, 20) << "title " << i;
  }
  EXPECT_EQ(whole.at(200, ui::MenuBar::barHeight - 1), vltest::kGrey);

  // The mnemonic is underlined: a black run under the "F" one row below the baseline, where the
  // kana before it leave the row white.
  ui::x11::Connection* c = ui::x11::current();
  ui::Painter_X11 measure(*c, x11->xid(), 0, 0, {});
  const ui::Rect title = x11->menu()->titleRect(0);
  const int32_t textLeft = title.left + (title.width() - measure.textWidth("ファイル(&F)", ui::Font::normal)) / 2;
  const int32_t fLeft = textLeft + measure.textWidth("ファイル(", ui::Font::normal);
  const int32_t fWidth = measure.textWidth("F", ui::Font::normal);
  XftFont* f = c->fonts[0];
  const int32_t top = (title.height() - c->cellHeight) / 2;
  const int32_t underline = top + (c->cellHeight * f->ascent + (f->ascent + f->descent) / 2) / (f->ascent + f->descent) + 1;
  for (int32_t x = fLeft; x < fLeft + fWidth; ++x) EXPECT_EQ(whole.at(x, underline), vltest::kBlack) << x;
  EXPECT_EQ(vltest::inkIn(whole, {textLeft, underline, textLeft + 20, underline + 1}, vltest::kWhite).count, 0);
}

TEST_F(GalleryX11, FontIsTheJapaneseGothicThatMsUiGothicMapsTo) {
  const ui::x11::Connection* c = ui::x11::current();
  ASSERT_NE(c, nullptr);
  for (ui::Font f : {ui::Font::normal, ui::Font::bold}) {
    const std::string family = ui::x11::fontFamily(*c, f);
    EXPECT_TRUE(family == "IPAPGothic" || family == "IPAGothic") << family << " from " << ui::x11::fontFile(*c, f);
    XftFont* font = c->fonts[static_cast<int>(f)];
    for (FcChar32 ch : {U'あ', U'ア', U'設', U'定', U'A'}) EXPECT_TRUE(XftCharExists(dpy, font, ch)) << ch;
    // 9 points at 96 dpi: 12 pixels, the Windows build's font height, and the line height here.
    double size = 0;
    ASSERT_EQ(FcPatternGetDouble(font->pattern, FC_PIXEL_SIZE, 0, &size), FcResultMatch);
    EXPECT_NEAR(size, 12.0, 0.01);
    EXPECT_EQ(c->cellHeight, 12);
  }
}

TEST_F(GalleryX11, EveryWidgetStandsAtItsPixels) {
  const vltest::Image img = client();
  ASSERT_EQ(img.width, 314);
  EXPECT_TRUE(vltest::writePng(artefactDir() + "/gallery-x11.png", img));
  for (const std::string& line : vltest::checkGallery(handler.form, img)) ADD_FAILURE() << line;
}

TEST_F(GalleryX11, KanaAreRealGlyphsAndBoldIsHeavier) {
  const vltest::Image img = client();
  const auto a = vltest::inkShape(img, handler.form.findById(vltest::galleryKanaA)->rect, vltest::kWhite);
  const auto b = vltest::inkShape(img, handler.form.findById(vltest::galleryKanaB)->rect, vltest::kWhite);
  ASSERT_GT(a.size(), 30u);
  ASSERT_GT(b.size(), 30u);
  // Two different kana drawn as the same shape would be the empty boxes of a font without them.
  EXPECT_NE(a, b);
  const auto normal = vltest::inkIn(img, handler.form.findById(vltest::galleryNormalSample)->rect, vltest::kWhite);
  const auto bold = vltest::inkIn(img, handler.form.findById(vltest::galleryBoldSample)->rect, vltest::kWhite);
  EXPECT_GT(bold.count, normal.count + normal.count / 10);
}

TEST_F(GalleryX11, PressOnTheGroupBoxLeavesTheWidgetsInsideDrawn) {
  const vltest::Image before = client();
  handler.message(*window, ui::msgLButtonDown, 0, ui::pointParam(302, 300));
  handler.message(*window, ui::msgLButtonUp, 0, ui::pointParam(302, 300));
  XSync(dpy, False);
  const vltest::Image after = client();
  EXPECT_EQ(before.pixels, after.pixels);
  EXPECT_TRUE(handler.events.empty());
}

// A window procedure whose timer keeps running while the About box is up, and which ends the box
// through its close box after a few ticks.
struct TimerHandler : ui::WindowHandler {
  intptr_t message(ui::Window& w, uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
    if (msg == ui::msgTimer) {
      ++ticks;
      if (inAbout && ++ticksInAbout == 3) closeAbout();
      if (ticksInAbout > 200) w.destroy();  // a safety stop: the modal loop ends with its owner
      return 0;
    }
    if (msg == ui::msgLButtonDown) ++presses;
    if (msg == ui::msgPaint) {
      if (auto p = w.beginPaint()) p->fillRect({0, 0, 10, 10}, ui::Colour::black);
      return 0;
    }
    return w.defaultProc(msg, wParam, lParam);
  }
  void closeAbout() {
    Display* dpy = ui::x11::current()->dpy;
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &n)) return;
    for (unsigned i = 0; i < n; ++i) {
      XTextProperty name{};
      if (XGetWMName(dpy, children[i], &name) && name.value) {
        if (std::string(reinterpret_cast<const char*>(name.value), name.nitems) == ui::aboutCaption) {
          XEvent ev{};
          ev.xclient.type = ClientMessage;
          ev.xclient.window = children[i];
          ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
          ev.xclient.format = 32;
          ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
          XSendEvent(dpy, children[i], False, NoEventMask, &ev);
          // The owner takes no input meanwhile: this press must not reach its procedure.
          XEvent press{};
          press.xbutton.type = ButtonPress;
          press.xbutton.window = owner;
          press.xbutton.button = Button1;
          press.xbutton.x = press.xbutton.y = 30;
          XSendEvent(dpy, owner, False, ButtonPressMask, &press);
          XFlush(dpy);
        }
        XFree(name.value);
      }
    }
    if (children) XFree(children);
  }
  int ticks = 0, ticksInAbout = 0, presses = 0;
  bool inAbout = false;
  ::Window owner = 0;
};

TEST(WindowX11, TimerRunsDuringTheModalAboutBoxWhichTheCloseBoxEnds) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  VL_SKIP_WITHOUT_FONTS();
  ASSERT_TRUE(vltest::sharedXvfb().ok());
  TimerHandler handler;
  ui::WindowSpec windowSpec;
  windowSpec.className = "VantelinkTimer";
  windowSpec.title = "timer";
  auto window = ui::createWindow(windowSpec, handler);
  ASSERT_TRUE(window);
  handler.owner = static_cast<ui::Window_X11*>(window.get())->xid();
  window->show();
  window->setTimer(7, 30);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (handler.ticks < 2 && std::chrono::steady_clock::now() < end)
    if (ui::pumpMessage() == ui::Pumped::none) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_GE(handler.ticks, 2);
  handler.inAbout = true;
  EXPECT_EQ(window->runAbout(), 2);
  EXPECT_GE(handler.ticksInAbout, 3);
  EXPECT_EQ(handler.presses, 0);
  // Afterwards the owner takes input again.
  XEvent press{};
  press.xbutton.type = ButtonPress;
  press.xbutton.window = handler.owner;
  press.xbutton.button = Button1;
  Display* dpy = ui::x11::current()->dpy;
  XSendEvent(dpy, handler.owner, False, ButtonPressMask, &press);
  XFlush(dpy);
  const auto end2 = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (handler.presses == 0 && std::chrono::steady_clock::now() < end2)
    if (ui::pumpMessage() == ui::Pumped::none) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_EQ(handler.presses, 1);
}

struct MoveCounter : ui::WindowHandler {
  intptr_t message(ui::Window& w, uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
    if (msg == ui::msgMouseMove || msg == ui::msgRButtonDown) seen.emplace_back(msg, ui::pointX(lParam));
    return w.defaultProc(msg, wParam, lParam);
  }
  std::vector<std::pair<uint32_t, int32_t>> seen;
};

TEST(WindowX11, ARunOfPointerMovesArrivesAsItsLatestAndKeepsItsPlaceBeforeAPress) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  VL_SKIP_WITHOUT_FONTS();
  ASSERT_TRUE(vltest::sharedXvfb().ok());
  MoveCounter handler;
  ui::WindowSpec windowSpec;
  windowSpec.className = "VantelinkMoves";
  windowSpec.mainMenu = false;
  auto window = ui::createWindow(windowSpec, handler);
  ASSERT_TRUE(window);
  const ::Window xid = static_cast<ui::Window_X11*>(window.get())->xid();
  Display* dpy = ui::x11::current()->dpy;
  auto sendPointer = [&](int type, int x) {
    XEvent ev{};
    ev.type = type;
    ev.xany.window = xid;
    if (type == MotionNotify) {
      ev.xmotion.x = x, ev.xmotion.y = 5;
    } else {
      ev.xbutton.x = x, ev.xbutton.y = 5, ev.xbutton.button = Button3;
    }
    XSendEvent(dpy, xid, False, NoEventMask, &ev);
  };
  for (int i = 1; i <= 50; ++i) sendPointer(MotionNotify, i);
  sendPointer(ButtonPress, 60);
  for (int i = 70; i <= 75; ++i) sendPointer(MotionNotify, i);
  XSync(dpy, False);
  for (int idle = 0; idle < 20;)
    if (ui::pumpMessage() == ui::Pumped::none) ++idle, std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const std::vector<std::pair<uint32_t, int32_t>> want{
      {ui::msgMouseMove, 50}, {ui::msgRButtonDown, 60}, {ui::msgMouseMove, 75}};
  EXPECT_EQ(handler.seen, want);
}

}  // namespace

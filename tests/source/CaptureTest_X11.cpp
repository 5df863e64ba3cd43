// The X11 screen source against a real X server: the acquirer, the capture bitmap on both
// transfer paths, and ScreenMirrorSource on pictures drawn by an X client.
// GoogleTest before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>
#include <poll.h>
// (keep)
#include <X11/Xlib.h>
#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <thread>

#include "MirrorTileWalk.h"
#include "SourceFakes.h"
#include "support/XServer_X11.h"
#include "support/HostTools_POSIX.h"
#include "support/TempDir.h"
#include "comsrc/DIBitmap_X11.h"
#include "source/ScreenMirrorSource.h"
#include "settings/ScopedEnv.h"
#include "source/DisplayDiscovery.h"
#include "source/DisplayPlatform.h"
#include "source/ScreenSources.h"
#include "source/DisplayConnection.h"
#include "source/ScreenCapture_X11.h"
#include "source/WindowCapture_X11.h"
#include "settings/CaptureOptions.h"
#include "comsrc/ScreenContext_X11.h"

using comsrc::Rect;

namespace {

vltest::XServer& server() {
  static vltest::XServer s("800x600x24");
  return s;
}

int openSockets() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return -1;
  while (dirent* e = readdir(d)) {
    struct stat st;
    if (fstatat(dirfd(d), e->d_name, &st, 0) == 0 && S_ISSOCK(st.st_mode)) ++n;
  }
  closedir(d);
  return n;
}

// A second client that draws on the root window.
class Painter {
 public:
  explicit Painter(const std::string& name) : d(XOpenDisplay(name.c_str())) {
    if (d) gc = XCreateGC(d, DefaultRootWindow(d), 0, nullptr);
  }
  ~Painter() {
    if (d) {
      XFreeGC(d, gc);
      XCloseDisplay(d);
    }
  }
  void fill(int x, int y, int w, int h, unsigned long rgb) {
    XSetForeground(d, gc, rgb);
    XFillRectangle(d, DefaultRootWindow(d), gc, x, y, unsigned(w), unsigned(h));
    XSync(d, False);
  }
  void point(int x, int y, unsigned long rgb) { fill(x, y, 1, 1, rgb); }
  // A picture with structure everywhere: stripes of colour and a grey ramp.
  void picture(int w, int h) {
    fill(0, 0, w, h, 0x000000);
    for (int x = 0; x < w; x += 8) fill(x, 0, 4, h / 2, (unsigned long)(x * 997) & 0xFFFFFF);
    for (int x = 0; x < w; ++x) fill(x, h / 2, 1, h - h / 2, (unsigned long)(x % 256) * 0x010101);
  }

  Display* d = nullptr;
  GC gc{};
};

uint32_t rgbAt(comsrc::DIBitmap& b, int x, int y) { return vltest::pixelAt(b, x, y) & 0xFFFFFF; }

class CaptureX11 : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    VL_SKIP_WITHOUT_PROGRAM("Xvfb");
    ASSERT_TRUE(server().ok()) << "Xvfb did not start";
    acquirer = std::make_unique<DisplayConnection>(server().name().c_str());
    ASSERT_EQ(acquirer->open(), 0);
  }
  bool shm() const { return GetParam(); }
  std::unique_ptr<DisplayConnection> acquirer;
};

}  // namespace

TEST(DisplayConnectionX11, OpensTheNamedDisplayAndReopensWithoutLeaking) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  ASSERT_TRUE(server().ok());
  DisplayConnection acquirer(server().name().c_str());
  EXPECT_EQ(acquirer.screenContext(), nullptr);
  EXPECT_EQ(*acquirer.rect(), Rect{});
  const int before = openSockets();
  ASSERT_EQ(acquirer.open(), 0);
  ASSERT_NE(acquirer.screenContext(), nullptr);
  EXPECT_EQ(acquirer.screenContext()->width, 800);
  EXPECT_EQ(acquirer.screenContext()->height, 600);
  ASSERT_EQ(acquirer.open(), 0);
  EXPECT_EQ(openSockets(), before + 1);
  EXPECT_EQ(acquirer.close(), 0);
  EXPECT_EQ(acquirer.screenContext(), nullptr);
  EXPECT_EQ(openSockets(), before);

  DisplayConnection nowhere(":987");
  EXPECT_EQ(nowhere.open(), -1);
  EXPECT_EQ(nowhere.screenContext(), nullptr);
}

TEST(DisplayConnectionX11, BitmapsKeepTheConnectionPastClose) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  ASSERT_TRUE(server().ok());
  DisplayConnection acquirer(server().name().c_str());
  ASSERT_EQ(acquirer.open(), 0);
  comsrc::DIBitmap_X11 bitmap(acquirer.screenContext());
  ASSERT_EQ(bitmap.create(16, 16), 0);
  acquirer.close();
  EXPECT_EQ(bitmap.capture(0, 0), 0);
}

TEST_P(CaptureX11, BitmapLayoutAndLocks) {
  comsrc::DIBitmap_X11 b(acquirer->screenContext(), shm());
  EXPECT_EQ(b.getKind(), comsrc::kBitmapKindDIBX11);
  EXPECT_EQ(b.lockPixels(), nullptr);
  EXPECT_EQ(b.lockContext(), nullptr);
  EXPECT_EQ(b.createWithDepth(401, 240, 24), -1);
  EXPECT_EQ(b.createWithDepth(0, 240, 32), -10);
  ASSERT_EQ(b.createWithDepth(401, 240, 32), 0);
  EXPECT_EQ(b.usesSharedMemory(), shm());
  EXPECT_EQ(b.getWidth(), 401);
  EXPECT_EQ(b.getHeight(), 240);
  EXPECT_EQ(b.getStride(), 1604);
  EXPECT_EQ(b.getBitsPerPixel(), 32);
  EXPECT_EQ(b.create(10, 10), -1);
  uint8_t* p = b.lockPixels();
  ASSERT_EQ(p, b.getPixels());
  EXPECT_EQ(p[0] | p[1604 * 239 + 1600], 0);  // cleared
  EXPECT_EQ(b.lockPixels(), nullptr);
  EXPECT_EQ(b.lockContext(), nullptr);
  EXPECT_EQ(b.unlockPixels(), 0);
  EXPECT_EQ(b.unlockPixels(), -1);
  comsrc::DrawingContext* c = b.lockContext();
  ASSERT_NE(c, nullptr);
  EXPECT_NE(b.lockPixels(), nullptr);  // the pixel lock ignores the context lock
  EXPECT_EQ(b.unlockPixels(), 0);
  EXPECT_EQ(b.unlockContext(c), 0);
}

TEST_P(CaptureX11, CapturesWhatAClientDrewInBlueGreenRedOrder) {
  Painter painter(server().name());
  ASSERT_NE(painter.d, nullptr);
  painter.fill(0, 0, 800, 600, 0x000000);
  painter.fill(100, 50, 30, 20, 0xFF0000);
  painter.fill(130, 50, 30, 20, 0x00FF00);
  painter.fill(160, 50, 30, 20, 0x123456);
  comsrc::DIBitmap_X11 b(acquirer->screenContext(), shm());
  ASSERT_EQ(b.create(120, 40), 0);
  ASSERT_EQ(b.capture(90, 40), 0);
  const uint8_t* red = b.getPixels() + 10 * b.getStride() + 10 * 4;
  EXPECT_EQ(red[0], 0);
  EXPECT_EQ(red[1], 0);
  EXPECT_EQ(red[2], 0xFF);
  EXPECT_EQ(rgbAt(b, 40, 10), 0x00FF00u);
  EXPECT_EQ(rgbAt(b, 70, 29), 0x123456u);
  EXPECT_EQ(rgbAt(b, 9, 10), 0u);
  EXPECT_EQ(rgbAt(b, 100, 30), 0u);
}

// Each row read lands in its place, and what an earlier capture left outside the screen goes.
TEST_P(CaptureX11, PartOutsideTheScreenIsBlack) {
  Painter painter(server().name());
  painter.fill(0, 0, 800, 600, 0x808080);
  painter.fill(790, 595, 10, 5, 0x123456);
  comsrc::DIBitmap_X11 b(acquirer->screenContext(), shm());
  ASSERT_EQ(b.create(64, 64), 0);
  EXPECT_EQ(b.capture(780, 590), 0);
  EXPECT_EQ(rgbAt(b, 19, 9), 0x123456u);
  EXPECT_EQ(rgbAt(b, 10, 5), 0x123456u);
  EXPECT_EQ(rgbAt(b, 9, 5), 0x808080u);
  EXPECT_EQ(rgbAt(b, 20, 9), 0u);
  EXPECT_EQ(rgbAt(b, 19, 10), 0u);
  EXPECT_EQ(b.capture(900, 700), 0);
  EXPECT_EQ(rgbAt(b, 0, 0), 0u);
  EXPECT_EQ(b.capture(-10, -10), 0);
  EXPECT_EQ(rgbAt(b, 10, 10), 0x808080u);
  EXPECT_EQ(rgbAt(b, 63, 63), 0x808080u);
  EXPECT_EQ(rgbAt(b, 9, 30), 0u);
}

TEST_P(CaptureX11, MirrorReportsTheFirstImageWholeThenTheDrawnTiles) {
  Painter painter(server().name());
  painter.picture(800, 600);
  vltest::FakeCounter counter;
  vltest::RecordingList list;
  ScreenMirrorSource source(*acquirer, list, Rect{0, 0, 640, 480}, makeScreenCapture_X11(shm()), counter);
  ASSERT_EQ(source.refresh(), 1);
  ASSERT_EQ(list.added.size(), 1u);
  EXPECT_EQ(list.added[0], (Rect{0, 0, 640, 480}));
  comsrc::DIBitmap* image = source.bitmap();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(rgbAt(*image, 8, 10), (8ul * 997) & 0xFFFFFF);
  EXPECT_EQ(rgbAt(*image, 300, 400), 300u % 256 * 0x010101);

  vltest::walkDrawnTiles(
      source, list, counter, [&] { painter.fill(100, 50, 70, 40, 0xFFFFFF); },
      [&](int x, int y) { painter.point(x, y, 0x0000FF); });
}

TEST_P(CaptureX11, ToldWhetherAnythingWasDrawnSinceTheLastCopyInAnyWindow) {
  Painter painter(server().name());
  ASSERT_NE(painter.d, nullptr);
  std::unique_ptr<ScreenCapture> capture = makeScreenCapture_X11(shm());
  ScreenContext* screen = acquirer->screenContext();
  std::unique_ptr<comsrc::DIBitmap> target = capture->createCaptureBitmap(screen, 64, 64);
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(capture->drawing(screen), Drawing::unknown);  // nothing known yet
  capture->blitFromScreen(*target, screen, 0, 0);
  EXPECT_EQ(capture->drawing(screen), Drawing::nothing);
  painter.point(700, 500, 0x123456);  // outside the copied area too: any drawing counts
  EXPECT_EQ(capture->drawing(screen), Drawing::drawn);
  capture->blitFromScreen(*target, screen, 0, 0);
  EXPECT_EQ(capture->drawing(screen), Drawing::nothing);

  // Drawing inside another client's window counts as drawing on the screen.
  const Window child = XCreateSimpleWindow(painter.d, DefaultRootWindow(painter.d), 10, 10, 50, 50, 0, 0, 0);
  XMapWindow(painter.d, child);
  XSync(painter.d, False);
  capture->drawing(screen);
  capture->blitFromScreen(*target, screen, 0, 0);
  EXPECT_EQ(capture->drawing(screen), Drawing::nothing);
  XSetForeground(painter.d, painter.gc, 0xFFFFFF);
  XFillRectangle(painter.d, child, painter.gc, 5, 5, 10, 10);
  XSync(painter.d, False);
  EXPECT_EQ(capture->drawing(screen), Drawing::drawn);

  // Between copies the main loop asks, and waits on the connection for the next drawing.
  capture->blitFromScreen(*target, screen, 0, 0);
  EXPECT_EQ(capture->drawing(screen), Drawing::nothing);
  pollfd wait{static_cast<int>(capture->drawingEvents(screen)), POLLIN, 0};
  ASSERT_GE(wait.fd, 0);
  XFillRectangle(painter.d, child, painter.gc, 20, 20, 10, 10);
  XSync(painter.d, False);
  EXPECT_EQ(poll(&wait, 1, 2000), 1) << "a drawing wakes the wait";
  EXPECT_EQ(capture->drawing(screen), Drawing::drawn);
  EXPECT_EQ(capture->drawing(screen), Drawing::drawn) << "the answer stays for the copy";
  XDestroyWindow(painter.d, child);
  XSync(painter.d, False);
}

INSTANTIATE_TEST_SUITE_P(Transfer, CaptureX11, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& i) { return i.param ? "XShm" : "XGetImage"; });

// The window's own pixels from its top left, black beyond it; unmapped, the capture is lost, as
// it is from the start on a server without Composite.
TEST(WindowCaptureX11, ReadsTheWindowUntilItIsUnmappedAndNeedsComposite) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  for (const bool composite : {true, false}) {
    vltest::XServer x("320x240x24", composite ? std::vector<std::string>{}
                                              : std::vector<std::string>{"-extension", "Composite"});
    ASSERT_TRUE(x.ok());
    Painter painter(x.name());
    const Window w = XCreateSimpleWindow(painter.d, DefaultRootWindow(painter.d), 50, 60, 100, 80, 0, 0, 0x123456);
    XStoreName(painter.d, w, "shown");
    XMapWindow(painter.d, w);
    painter.fill(0, 0, 320, 240, 0xFFFFFF);  // on the root, around the window
    DisplayConnection d(x.name().c_str());
    ASSERT_EQ(d.open(), 0);
    CaptureOptions options;
    options.windowTitle = "shown";
    auto capture = makeWindowCapture_X11(&options, nullptr);
    capture->drawing(d.screenContext());
    ASSERT_EQ(capture->lost(), !composite);
    if (!composite) continue;
    auto b = capture->createCaptureBitmap(d.screenContext(), 120, 100);
    ASSERT_TRUE(b && capture->blitFromScreen(*b, d.screenContext(), 0, 0));
    EXPECT_EQ(rgbAt(*b, 0, 0), 0x123456u);
    EXPECT_EQ(rgbAt(*b, 99, 79), 0x123456u);
    EXPECT_EQ(rgbAt(*b, 100, 0), 0u);
    EXPECT_EQ(rgbAt(*b, 0, 80), 0u);
    XUnmapWindow(painter.d, w);
    XSync(painter.d, False);
    for (int i = 0; i < 100 && !capture->lost(); ++i) {
      capture->drawing(d.screenContext());
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(capture->lost());
  }
}

TEST(CaptureX11Server, ServerWithoutSharedMemoryFallsBackToXGetImage) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  vltest::XServer plain("320x240x24", {"-extension", "MIT-SHM"});
  ASSERT_TRUE(plain.ok());
  DisplayConnection acquirer(plain.name().c_str());
  ASSERT_EQ(acquirer.open(), 0);
  EXPECT_FALSE(acquirer.screenContext()->shmOffered);
  Painter painter(plain.name());
  painter.fill(0, 0, 320, 240, 0x204060);
  vltest::FakeCounter counter;
  vltest::RecordingList list;
  // Wider than the screen: the part beyond it stays black.
  ScreenMirrorSource source(acquirer, list, Rect{0, 0, 640, 480}, makeScreenCapture(), counter);
  ASSERT_EQ(source.refresh(), 1);
  auto* image = static_cast<comsrc::DIBitmap_X11*>(source.bitmap());
  EXPECT_FALSE(image->usesSharedMemory());
  EXPECT_EQ(rgbAt(*image, 319, 239), 0x204060u);
  EXPECT_EQ(rgbAt(*image, 320, 239), 0u);
}

// X servers that go away under the program, during discovery and under a capture: neither may
// end the program, and a lost connection is closed without being used again.
// In a child process, discovery asks the server over and over while the server is stopped; the
// loss lands inside one of its short-lived connections (with Xlib's default the child would end
// there with 1). The child ends 0 once the screen is no longer found.
TEST(ServerLossX11, DiscoveryThatLosesItsServerFindsNoDisplayAndTheProgramGoesOn) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  vltest::TempDir noStandIns;
  for (int round = 0; round < 3; ++round) {
    auto x = std::make_unique<vltest::XServer>("320x240x24");
    ASSERT_TRUE(x->ok());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(SIGPIPE, SIG_IGN);  // as the program does: a write to the dead server fails, it does not kill
      setenv("DISPLAY", x->name().c_str(), 1);
      setenv("XDG_RUNTIME_DIR", noStandIns.path().c_str(), 1);
      std::unique_ptr<DisplayPlatform> made = makeDisplayPlatform();
      DisplayPlatform& platform = *made;
      DisplayAdapter adapter;
      for (int i = 0; i < 200000; ++i)
        if (!platform.adapter(0, adapter)) _exit(platform.virtualScreenWidth() == 0 ? 0 : 3);
      _exit(2);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    x.reset();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "round " << round;
    ASSERT_EQ(WEXITSTATUS(status), 0) << "round " << round << " (1: the loss ended the process)";
  }
}

// The server of a captured display goes away between two frames: the next frames neither hang
// nor touch the dead connection through Xlib, nor bring back an older picture (the failed reads
// report nothing and keep the last one), the source is lost once the reads keep failing, and
// closing it leaves no socket behind.
TEST(ServerLossX11, CaptureWhoseServerGoesAwayClosesItsConnection) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  for (bool shm : {true, false}) {
    const int before = openSockets();
    auto x = std::make_unique<vltest::XServer>("320x240x24");
    ASSERT_TRUE(x->ok());
    DisplayConnection acquirer(x->name().c_str());
    ASSERT_EQ(acquirer.open(), 0);
    vltest::FakeCounter counter;
    vltest::RecordingList list;
    {
      ScreenMirrorSource source(acquirer, list, Rect{0, 0, 320, 240}, makeScreenCapture_X11(shm), counter);
      ASSERT_EQ(source.refresh(), 1);
      Painter(x->name()).fill(0, 0, 64, 64, 0x30c050);
      counter.advanceMs(40);
      ASSERT_GT(source.refresh(), 0);
      x.reset();
      int32_t result = 0;
      int frames = 0;
      for (; frames < 2 * ScreenMirrorSource::kFailedReadsLost && result == 0; ++frames) {
        counter.advanceMs(40);
        list.clear();
        result = source.refresh();
        EXPECT_EQ(list.count(), 0u) << "frame " << frames;
        ASSERT_NE(source.bitmap(), nullptr);
        EXPECT_EQ(rgbAt(*source.bitmap(), 10, 10), 0x30c050u) << "frame " << frames;
      }
      EXPECT_EQ(result, failure(SourceFailure::captureLost));
      EXPECT_GE(frames, 3);
    }
    EXPECT_EQ(acquirer.close(), 0);
    EXPECT_EQ(acquirer.open(), -1);
    EXPECT_EQ(openSockets(), before) << (shm ? "shared memory" : "plain");
  }
}

// A capture exists only while its mode is active: discovery for the external monitor never
// reaches for the main screen's capture (here a screen copy, whose compositor is a socket that
// counts who connects and hangs up at once).
TEST(CaptureChoice, ExternalMonitorModeOpensNoMainScreenCapture) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  ASSERT_TRUE(server().ok());
  vltest::TempDir dir;
  const std::string socketPath = dir.file("wayland-0");
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  int connections = 0;
  const auto discoverIn = [&](CaptureMode mode) {
    std::thread compositor([&] {
      pollfd p{listener, POLLIN, 0};
      if (poll(&p, 1, 1500) == 1) {
        close(accept(listener, nullptr, nullptr));
        ++connections;
      }
    });
    ScreenSources sources;
    sources.captureMode = mode;
    discoverDisplays(sources);
    compositor.join();
  };
  vltest::ScopedEnv display("DISPLAY", server().name().c_str()), wayland("WAYLAND_DISPLAY", socketPath.c_str()),
      path("VANTELINK_CAPTURE", "screencopy"), runtime("XDG_RUNTIME_DIR", dir.path().c_str());
  discoverIn(CaptureMode::externalMonitor);
  EXPECT_EQ(connections, 0);
  discoverIn(CaptureMode::mainScreen);
  EXPECT_EQ(connections, 1);
  close(listener);
}

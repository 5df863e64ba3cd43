// vantela-vdisplay as the program meets it: a stand-in display that an X client draws on, its
// socket spoken to directly and through the program's escape channel.
#include <gtest/gtest.h>
// (Xlib after GoogleTest)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "settings/ScopedEnv.h"
#include "source/EscapeChannel_POSIX.h"
#include "source/DisplayConnection.h"
#include "source/VDisplayProtocol.h"
#include "source/VDisplaySocket_POSIX.h"
#include "support/TempDir.h"
#include "support/VDisplayProcess_POSIX.h"
#include "tools/vdisplay/FrameFile.h"

namespace {

using namespace std::chrono_literals;
using comsrc::Rect;

struct Reply {
  bool ok = false;
  int32_t result = 0;
  std::vector<uint8_t> out;
};

Reply ask(int sock, uint32_t code, int32_t outLength, const std::vector<uint8_t>& in = {}) {
  Reply r;
  r.out.resize(size_t(outLength));
  uint32_t bytes = 0;
  r.ok = vdisplay::transact(sock, code, int32_t(in.size()), in.data(), outLength, r.out.data(), r.result, bytes,
                            nullptr, 2000);
  r.out.resize(bytes);
  return r;
}

// The rectangles of the type-127 records of a fetched list.
std::vector<Rect> rectsOf(const std::vector<uint8_t>& list) {
  std::vector<Rect> rects;
  size_t at = 0;
  while (at + 12 <= list.size()) {
    const uint32_t length = vdisplay::get32(&list[at]), payload = vdisplay::get32(&list[at + 4]);
    if (length == 0) break;
    if (vdisplay::get32(&list[at + 8]) == 127 && at + payload + 12 <= list.size()) {
      const uint8_t* p = &list[at + payload];
      const uint32_t count = vdisplay::get32(p + 8);
      for (uint32_t i = 0; i < count && at + payload + 12 + (i + 1) * 16 <= list.size(); ++i) {
        const uint8_t* q = p + 12 + i * 16;
        rects.push_back(Rect{int32_t(vdisplay::get32(q)), int32_t(vdisplay::get32(q + 4)), int32_t(vdisplay::get32(q + 8)),
                             int32_t(vdisplay::get32(q + 12))});
      }
    }
    at += length;
  }
  return rects;
}

// Fetches what the client has not seen yet, waiting a little for the stand-in to catch up.
std::vector<Rect> fetchChanges(int sock) {
  const auto end = std::chrono::steady_clock::now() + 3s;
  do {
    const Reply size = ask(sock, vtdrv::kEscChangesSize, 4);
    if (size.ok && size.result == 0 && size.out.size() == 4 && vdisplay::get32(size.out.data()) > 0) {
      const Reply list = ask(sock, vtdrv::kEscChangesFetch, 0x4000, {0, 0, 0, 0});
      if (list.ok && list.result >= 0) return rectsOf(list.out);
    }
    std::this_thread::sleep_for(5ms);
  } while (std::chrono::steady_clock::now() < end);
  return {};
}

bool covers(const std::vector<Rect>& rects, const Rect& want) {
  for (int32_t y = want.top; y < want.bottom; ++y)
    for (int32_t x = want.left; x < want.right; ++x) {
      bool in = false;
      for (const Rect& r : rects) in = in || (x >= r.left && x < r.right && y >= r.top && y < r.bottom);
      if (!in) return false;
    }
  return true;
}

void fill(Display* d, Drawable where, const Rect& r, unsigned long rgb) {
  GC gc = XCreateGC(d, where, 0, nullptr);
  XSetForeground(d, gc, rgb);
  XFillRectangle(d, where, gc, r.left, r.top, unsigned(r.width()), unsigned(r.height()));
  XFreeGC(d, gc);
  XSync(d, False);
}

// Pixels of the mapped frame (blue, green, red, unused) that differ from the display's root.
long differingPixels(Display* d, const uint8_t* frame, int width, int height) {
  XImage* image = XGetImage(d, DefaultRootWindow(d), 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
  if (!image) return -1;
  long differing = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const unsigned long p = XGetPixel(image, x, y);
      const uint8_t* q = frame + (size_t(y) * size_t(width) + size_t(x)) * 4;
      differing += q[0] != uint8_t(p) || q[1] != uint8_t(p >> 8) || q[2] != uint8_t(p >> 16);
    }
  XDestroyImage(image);
  return differing;
}

bool hungUp(int sock) {
  pollfd p{sock, POLLIN, 0};
  char c;
  return poll(&p, 1, 2000) == 1 && recv(sock, &c, 1, MSG_DONTWAIT) == 0;
}

class VDisplayTool : public testing::Test {
 protected:
  void SetUp() override {
    if (!vltest::VDisplayProcess::xvfbInstalled()) GTEST_SKIP() << "Xvfb is not installed";
  }
  vltest::TempDir runtime;
  vltest::ScopedEnv env{"XDG_RUNTIME_DIR", runtime.path().c_str()};
};

TEST_F(VDisplayTool, ServesDrawnRectanglesAndPixelsToEveryClientAndOutlivesBadOnes) {
  vltest::VDisplayProcess stand;
  ASSERT_TRUE(stand.start({"--size", "320x240", "--position", "5,-7"}));
  const std::string folder = runtime.file("vantela");
  const int32_t number = vdisplay::displayNumber(stand.display().c_str());
  ASSERT_GE(number, 0);
  EXPECT_EQ(vdisplay::socketNumbers(folder), std::vector<int32_t>{number});
  const std::string socket = vdisplay::socketPath(folder, number);
  const int a = vdisplay::connectSocket(socket), b = vdisplay::connectSocket(socket);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);

  // What discovery learns, and the driver's identity.
  const Reply about = ask(a, vdisplay::kDescribe, vdisplay::kDescribeBytes);
  ASSERT_TRUE(about.ok);
  ASSERT_EQ(about.out.size(), vdisplay::kDescribeBytes);
  EXPECT_EQ(int32_t(vdisplay::get32(&about.out[0])), 5);
  EXPECT_EQ(int32_t(vdisplay::get32(&about.out[4])), -7);
  EXPECT_EQ(vdisplay::get32(&about.out[8]), 320u);
  EXPECT_EQ(vdisplay::get32(&about.out[12]), 240u);
  const std::string description(reinterpret_cast<const char*>(&about.out[16]));
  EXPECT_EQ(description.rfind("Vantela", 0), 0u) << description;
  EXPECT_EQ(vdisplay::displayNumber(description.c_str()), number) << description;
  const Reply who = ask(a, vtdrv::kEscIdentify, 128);
  ASSERT_TRUE(who.ok);
  EXPECT_GE(who.result, 5);
  EXPECT_LE(who.result, 32);
  EXPECT_EQ(std::string(who.out.begin(), who.out.end()).rfind("VTDRV", 0), 0u);
  // A new source starts with the whole frame to copy.
  EXPECT_EQ(ask(a, vtdrv::kEscStart, 0).result, 1);
  EXPECT_EQ(fetchChanges(a), std::vector<Rect>{(Rect{0, 0, 320, 240})});

  // An X client draws on the root and in a window of its own; both clients see both.
  Display* painter = XOpenDisplay(stand.display().c_str());
  ASSERT_NE(painter, nullptr);
  const Rect onRoot{30, 40, 80, 100};
  fill(painter, DefaultRootWindow(painter), onRoot, 0xFF8040);
  Window w = XCreateSimpleWindow(painter, DefaultRootWindow(painter), 200, 150, 60, 40, 0, 0, 0);
  XSelectInput(painter, w, ExposureMask);
  XMapWindow(painter, w);
  XEvent e;
  XWindowEvent(painter, w, ExposureMask, &e);
  fill(painter, w, Rect{0, 0, 60, 40}, 0x20C0E0);
  std::vector<Rect> seenByA = fetchChanges(a), seenByB = fetchChanges(b);
  EXPECT_TRUE(covers(seenByA, onRoot));
  EXPECT_TRUE(covers(seenByA, Rect{200, 150, 260, 190}));
  EXPECT_TRUE(covers(seenByB, onRoot));
  EXPECT_TRUE(covers(seenByB, Rect{200, 150, 260, 190}));
  for (const Rect& r : seenByA) EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= 320 && r.bottom <= 240);
  EXPECT_FALSE(covers(seenByA, Rect{100, 0, 110, 10})) << "only what was drawn";
  // Handed over means cleared.
  const Reply none = ask(a, vtdrv::kEscChangesSize, 4);
  EXPECT_EQ(none.result, 0);
  EXPECT_EQ(vdisplay::get32(none.out.data()), 0u);

  // Far more separate rectangles than the list keeps: one rectangle of the whole frame.
  for (int i = 0; i < 300; ++i) fill(painter, DefaultRootWindow(painter), Rect{i % 20 * 16, i / 20 * 16, i % 20 * 16 + 1, i / 20 * 16 + 1}, 0xFFFFFF);
  const std::vector<Rect> many = fetchChanges(a);
  ASSERT_EQ(many.size(), 1u);
  EXPECT_EQ(many[0], (Rect{0, 0, 320, 240}));

  // The frame buffer through the program's escape channel: the display's pixels, in place.
  DisplayConnection display(description.c_str());
  ASSERT_EQ(display.open(), 0) << "the description's last word opens the display";
  EscapeChannel_POSIX channel(display);
  const uint8_t* pixels = nullptr;
  uint8_t mapIn[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  // A frame of another size than the display was given is not handed out: it would be read
  // past its end.
  *display.rect() = Rect{5, -7, 5 + 640, -7 + 480};
  EXPECT_EQ(channel.escape(vtdrv::kEscMapFrame, 8, mapIn, sizeof pixels, &pixels), -1);
  EXPECT_EQ(pixels, nullptr);
  *display.rect() = Rect{5, -7, 5 + 320, -7 + 240};
  ASSERT_GE(channel.escape(vtdrv::kEscMapFrame, 8, mapIn, sizeof pixels, &pixels), 1);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(differingPixels(painter, pixels, 320, 240), 0);
  EXPECT_EQ(pixels[(45 * 320 + 35) * 4 + 2], 0xFF);  // red of the rectangle on the root
  fill(painter, DefaultRootWindow(painter), Rect{0, 0, 10, 10}, 0x0000FF);
  EXPECT_EQ(pixels[0], 0xFF) << "the mapping follows the display";

  // Garbage on other connections: short, oversized, unknown, cut off. None stops the service.
  const int shortOne = vdisplay::connectSocket(socket);
  ASSERT_EQ(send(shortOne, "\x01\x00\x10", 3, MSG_NOSIGNAL), 3);
  close(shortOne);
  const int oversized = vdisplay::connectSocket(socket);
  uint8_t header[12];
  vdisplay::put32(header, vtdrv::kEscIdentify), vdisplay::put32(header + 4, 100000), vdisplay::put32(header + 8, 128);
  ASSERT_EQ(send(oversized, header, 12, MSG_NOSIGNAL), 12);
  EXPECT_TRUE(hungUp(oversized)) << "an oversized request ends its connection";
  close(oversized);
  const int negative = vdisplay::connectSocket(socket);
  vdisplay::put32(header + 4, 0), vdisplay::put32(header + 8, 0xFFFFFFF0u);
  ASSERT_EQ(send(negative, header, 12, MSG_NOSIGNAL), 12);
  EXPECT_TRUE(hungUp(negative));
  close(negative);
  const int unknown = vdisplay::connectSocket(socket);
  EXPECT_EQ(ask(unknown, 0x4242, 16).result, -1);
  EXPECT_EQ(ask(unknown, vtdrv::kEscChangesSize, 4).result, 0) << "and the connection goes on";
  close(unknown);
  const int cut = vdisplay::connectSocket(socket);
  vdisplay::put32(header, vtdrv::kEscMapFrame), vdisplay::put32(header + 4, 8), vdisplay::put32(header + 8, 16);
  ASSERT_EQ(send(cut, header, 12, MSG_NOSIGNAL), 12);
  ASSERT_EQ(send(cut, "abc", 3, MSG_NOSIGNAL), 3);
  close(cut);
  EXPECT_EQ(ask(b, vtdrv::kEscIdentify, 128).result, who.result);
  EXPECT_GE(channel.escape(vtdrv::kEscIdentify, 0, nullptr, 128, std::vector<uint8_t>(128).data()), 5);

  // A stand-in that stops answering holds the program up no longer than the channel's timeout,
  // and the channel connects again once it answers.
  stand.signal(SIGSTOP);
  const auto before = std::chrono::steady_clock::now();
  uint32_t size = 0;
  EXPECT_EQ(channel.escape(vtdrv::kEscChangesSize, 0, nullptr, 4, &size), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
  stand.signal(SIGCONT);
  EXPECT_EQ(channel.escape(vtdrv::kEscChangesSize, 0, nullptr, 4, &size), 0);

  uint8_t unmapIn[4 + sizeof pixels] = {1, 0, 0, 0};
  std::memcpy(unmapIn + 4, &pixels, sizeof pixels);
  EXPECT_EQ(channel.escape(vtdrv::kEscUnmapFrame, sizeof unmapIn, unmapIn, 0, nullptr), 1);
  XCloseDisplay(painter);
  close(a);
  close(b);

  // SIGTERM: it stops its X server and leaves nothing behind.
  EXPECT_EQ(stand.stop(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
  Display* gone = XOpenDisplay(stand.display().c_str());
  EXPECT_EQ(gone, nullptr);
  if (gone) XCloseDisplay(gone);
  // The program's context of the vanished display closes without ending the program.
  EXPECT_EQ(display.close(), 0);
  EXPECT_EQ(display.open(), -1);
}

// The frame-buffer file's header decides whether the stand-in starts.
TEST(VDisplayFrameFile, TakesOnlyPixelsThatTheProgramReadsInPlace) {
  vltest::TempDir dir;
  auto header = [](uint32_t bitsPerPixel, uint32_t byteOrder, uint32_t bytesPerLine, uint32_t height) {
    uint32_t w[25] = {100, 7, 2, 24, 64, height, 0, byteOrder, 32, 0, 32, bitsPerPixel, bytesPerLine, 4, 0xFF0000, 0xFF00, 0xFF, 8, 256, 2};
    std::string bytes;
    for (uint32_t v : w) bytes += char(v >> 24), bytes += char(v >> 16), bytes += char(v >> 8), bytes += char(v);
    return bytes + std::string(24 + 64 * 4 * 48, '\0');
  };
  struct Case {
    std::string bytes;
    const char* problem;  // a word of the message, or null when the file is good
  } cases[] = {
      {header(32, 0, 256, 48), nullptr},
      {header(16, 0, 128, 48), "bits per pixel"},
      {header(32, 1, 256, 48), "least-significant"},
      {header(32, 0, 320, 48), "row length"},
      {header(32, 0, 256, 40), "height"},
      {header(32, 0, 256, 48).substr(0, 2000), "shorter"},
      {"not an XWD file", "XWD"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file("Xvfb_screen0");
    ASSERT_TRUE(vltest::TempDir::writeFile(path, c.bytes));
    FrameFile f;
    const std::string problem = openFrameFile(path, 64, 48, f);
    if (!c.problem) {
      EXPECT_EQ(problem, "");
      EXPECT_EQ(f.pixelOffset, 100u + 2 * 12);
      EXPECT_GE(f.fd, 0);
      close(f.fd);
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
      EXPECT_EQ(problem.find('\n'), std::string::npos);
    }
  }
}

}  // namespace

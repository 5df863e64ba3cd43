#include "source/ScreenCapture_Portal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "comsrc/DIBitmap.h"
#include "comsrc/Rect.h"
#include "settings/CaptureOptions.h"
#include "source/ScreenCapture_PortalSession.h"
#include "source/ScreenCapture_PortalStream.h"
#include "source/ScreenCapture_PortalRefusal.h"
#include "source/ScreenCapture_Wayland.h"

namespace {

void drain(int fd) {
  uint64_t count;
  [[maybe_unused]] ssize_t n = read(fd, &count, sizeof count);
}

void signal(int fd) {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(fd, &one, sizeof one);
}

class ScreenCapture_Portal : public ScreenCapture {
 public:
  ScreenCapture_Portal(sd_bus* bus, CaptureOptions* captureOptions, int wakeFd, int stopFd)
      : options(captureOptions), wake(wakeFd), stop(stopFd) {
    worker = std::thread([this, bus, token = options ? options->portalToken : ""] { run(bus, token); });
  }

  ~ScreenCapture_Portal() override {
    stopping = true;
    signal(stop);
    worker.join();
    ::close(wake);
    ::close(stop);
  }

  std::unique_ptr<comsrc::DIBitmap> createCaptureBitmap(ScreenContext*, int32_t width, int32_t height) override {
    std::unique_ptr<comsrc::DIBitmap> b(new (std::nothrow) comsrc::DIBitmap());
    if (!b || b->createWithDepth(width, height, 32) != 0) return nullptr;
    return b;
  }

  int32_t createCompatBitmap(ScreenContext*, int32_t, int32_t, std::unique_ptr<comsrc::Bitmap>& out) override {
    out.reset();
    return 0;
  }

  // The held frame's pixels at (srcX, srcY) on the monitor; what lies outside it is black.
  void blitFromScreen(comsrc::DIBitmap& target, ScreenContext*, int32_t srcX, int32_t srcY, uint32_t) override {
    if (target.getBitsPerPixel() != 32) return;
    drain(wake);
    uint8_t* pixels = target.lockPixels();
    if (!pixels) return;
    const int32_t stride = target.getStride();
    const comsrc::Rect area = comsrc::rectAt(srcX, srcY, target.getWidth(), target.getHeight());
    {
      std::lock_guard<std::mutex> hold(frames.lock);
      const int32_t w = area.width();
      const int32_t x0 = std::clamp(-area.left, 0, w);
      const int32_t x1 = std::clamp(frames.width - area.left, x0, w);
      for (int32_t y = 0; y < area.height(); ++y) {
        uint8_t* row = pixels + ptrdiff_t{y} * stride;
        const int32_t fy = area.top + y;
        if (!frames.any || fy < 0 || fy >= frames.height || x0 == x1) {
          std::memset(row, 0, size_t(w) * 4);
          continue;
        }
        std::memset(row, 0, size_t(x0) * 4);
        const uint8_t* src = frames.pixels.data() + (size_t(fy) * frames.width + size_t(area.left + x0)) * 4;
        if (!frames.swapRedBlue) {
          std::memcpy(row + size_t(x0) * 4, src, size_t(x1 - x0) * 4);
        } else {
          for (int32_t x = x0; x < x1; ++x, src += 4) {
            uint8_t* to = row + size_t(x) * 4;
            to[0] = src[2], to[1] = src[1], to[2] = src[0], to[3] = src[3];
          }
        }
        std::memset(row + size_t(x1) * 4, 0, size_t(w - x1) * 4);
      }
      damageKnown = frames.any && area == lastArea && (!frames.fresh || frames.damageKnown);
      damage = comsrc::Rect{};
      if (damageKnown && frames.fresh)
        intersectRect(damage, comsrc::offsetRect(frames.damage, -srcX, -srcY),
                      comsrc::Rect{0, 0, area.width(), area.height()});
      if (frames.any) lastArea = area;
      frames.fresh = false;
    }
    target.unlockPixels();
  }

  bool drawnSinceLastBlit(ScreenContext*) override {
    drain(wake);
    std::lock_guard<std::mutex> hold(frames.lock);
    report();
    return frames.fresh;
  }

  int32_t drawingPending(ScreenContext* screen) override {
    if (lost()) return -1;
    return drawnSinceLastBlit(screen) ? 1 : 0;
  }

  intptr_t drawingEvents(ScreenContext*) override { return wake; }

  bool damagedArea(comsrc::Rect& out) override {
    if (!damageKnown) return false;
    out = damage;
    return true;
  }

  bool lost() const override {
    std::lock_guard<std::mutex> hold(frames.lock);
    return frames.failed;
  }

 private:
  void run(sd_bus* bus, const std::string& token) {
    PortalSession session(bus, token);
    uint32_t node = 0;
    int fd = -1;
    std::string why;
    const PortalSession::Outcome outcome = session.start(stopping, stop, node, fd, why);
    if (outcome == PortalSession::Outcome::Stopped) return;
    if (outcome == PortalSession::Outcome::Refused) setPortalRefused(true);
    if (outcome != PortalSession::Outcome::Started) return fail(why);
    {
      std::lock_guard<std::mutex> hold(frames.lock);
      started = "screen cast started: " + why;
      newToken = session.newRestoreToken();
    }
    PortalStream stream(frames, wake);
    if (!stream.connect(fd, node, why)) return fail(why);
    while (!stopping) {
      pollfd fds[3] = {{stream.loopFd(), POLLIN, 0}, {session.busFd(), POLLIN, 0}, {stop, POLLIN, 0}};
      if (poll(fds, 3, -1) < 0 && errno != EINTR) return fail("the screen cast could not be waited on");
      stream.iterate();
      if (!session.process()) return fail("the desktop portal closed the screen cast");
      std::lock_guard<std::mutex> hold(frames.lock);
      if (frames.failed) return;
    }
  }

  void fail(const std::string& why) {
    {
      std::lock_guard<std::mutex> hold(frames.lock);
      if (frames.failed) return;
      frames.failed = true;
      frames.failure = why;
    }
    signal(wake);
  }

  // On the window's thread: what the portal's thread found, once each.
  void report() {
    if (!newToken.empty() && options) options->portalToken = newToken;
    newToken.clear();
    if (!started.empty()) traceOnce("portal", started.c_str());
    started.clear();
    if (frames.failed && !reported) traceOnce("portal", frames.failure.c_str());
    reported = frames.failed;
  }

  mutable PortalFrames frames;
  CaptureOptions* options;
  std::string started, newToken;  // under frames.lock
  bool reported = false;
  int wake, stop;
  std::atomic<bool> stopping{false};
  std::thread worker;

  // The last blit's, on the window's thread.
  comsrc::Rect lastArea;
  bool damageKnown = false;
  comsrc::Rect damage;
};

}  // namespace

std::unique_ptr<ScreenCapture> makeScreenCapture_Portal(CaptureOptions* options, std::string& why) {
  if (portalRefused()) {
    why = "the screen cast was refused; not asked again until the capture mode changes";
    return nullptr;
  }
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0 || !bus) {
    why = "no session bus to reach the desktop portal";
    return nullptr;
  }
  const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  std::unique_ptr<ScreenCapture> capture;
  if (wake >= 0 && stop >= 0) capture.reset(new (std::nothrow) ScreenCapture_Portal(bus, options, wake, stop));
  if (!capture) {
    if (wake >= 0) ::close(wake);
    if (stop >= 0) ::close(stop);
    sd_bus_flush_close_unref(bus);
    why = "out of resources";
    return nullptr;
  }
  why = "the desktop portal's screen cast";
  return capture;
}

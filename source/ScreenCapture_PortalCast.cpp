#include "source/ScreenCapture_PortalCast.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

#include "source/ScreenCapture_PortalRefusal.h"
#include "source/ScreenCapture_PortalSession.h"

namespace {

// Long enough for discovery to make the source anew, short enough that the desktop's sharing
// indicator goes out soon after the mirror moves to the external monitor.
constexpr int64_t kParkedMs = 3000;

int64_t nowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}

void drain(int fd) {
  uint64_t count;
  [[maybe_unused]] ssize_t n = read(fd, &count, sizeof count);
}

void signal(int fd) {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(fd, &one, sizeof one);
}

// Whether the portal runs or the bus can start it; asked once per source, so briefly.
bool portalOnBus(sd_bus* bus) {
  constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
  sd_bus_set_method_call_timeout(bus, 1000000);
  sd_bus_message* reply = nullptr;
  int owned = 0;
  bool found = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                  "NameHasOwner", nullptr, &reply, "s", kPortal) >= 0 &&
               sd_bus_message_read(reply, "b", &owned) >= 0 && owned;
  reply = sd_bus_message_unref(reply);
  if (!found && sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                   "ListActivatableNames", nullptr, &reply, "") >= 0 &&
      sd_bus_message_enter_container(reply, 'a', "s") > 0) {
    const char* name = nullptr;
    while (!found && sd_bus_message_read_basic(reply, 's', &name) > 0) found = std::strcmp(name, kPortal) == 0;
  }
  sd_bus_message_unref(reply);
  return found;
}

}  // namespace

std::shared_ptr<PortalCast> PortalCast::start(const std::string& restoreToken, std::string& why) {
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0 || !bus) {
    why = "no session bus to reach the desktop portal";
    return nullptr;
  }
  if (!portalOnBus(bus)) {
    sd_bus_flush_close_unref(bus);
    why = "no desktop portal on the session bus";
    return nullptr;
  }
  int fds[2];
  for (int& fd : fds) fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  std::shared_ptr<PortalCast> cast;
  if (fds[0] >= 0 && fds[1] >= 0) cast.reset(new (std::nothrow) PortalCast(fds[0], fds[1]));
  if (!cast) {
    for (int fd : fds)
      if (fd >= 0) ::close(fd);
    sd_bus_flush_close_unref(bus);
    why = "out of resources";
    return nullptr;
  }
  cast->worker = std::thread([raw = cast.get(), bus, restoreToken] { raw->run(bus, restoreToken); });
  why = "the desktop portal's screen cast";
  return cast;
}

PortalCast::PortalCast(int wakeFd, int nudgeFd) : wake(wakeFd), nudge(nudgeFd) {}

PortalCast::~PortalCast() {
  stopping = true;
  signal(nudge);
  if (worker.joinable()) worker.join();
  ::close(wake);
  ::close(nudge);
}

bool PortalCast::failed() const {
  std::lock_guard<std::mutex> hold(frames.lock);
  return frames.failed;
}

void PortalCast::park(bool parked) {
  parkedSince = parked ? std::max<int64_t>(nowMs(), 1) : 0;
  signal(nudge);
}

int PortalCast::parkedWaitMs() const {
  const int64_t since = parkedSince;
  return since == 0 ? -1 : int(std::clamp<int64_t>(since + kParkedMs - nowMs(), 0, kParkedMs));
}

void PortalCast::run(sd_bus* bus, const std::string& token) {
  PortalSession session(bus, token);
  uint32_t node = 0;
  int fd = -1;
  std::string why;
  // A dialog still open when nothing mirrors the main screen any more is given up too.
  const PortalSession::Outcome outcome =
      session.start([this] { return stopping || parkedWaitMs() == 0; }, nudge, node, fd, why);
  if (outcome == PortalSession::Outcome::Stopped) return fail("the screen cast ended: nothing mirrors the main screen");
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
    pollfd fds[3] = {{stream.loopFd(), POLLIN, 0}, {session.busFd(), POLLIN, 0}, {nudge, POLLIN, 0}};
    if (poll(fds, 3, parkedWaitMs()) < 0 && errno != EINTR) return fail("the screen cast could not be waited on");
    drain(nudge);
    if (parkedWaitMs() == 0) return fail("the screen cast ended: nothing mirrors the main screen");
    stream.iterate();
    if (!session.process()) return fail("the desktop portal closed the screen cast");
    if (failed()) return;
  }
}

void PortalCast::fail(const std::string& why) {
  {
    std::lock_guard<std::mutex> hold(frames.lock);
    if (frames.failed) return;
    frames.failed = true;
    frames.failure = why;
  }
  signal(wake);
}

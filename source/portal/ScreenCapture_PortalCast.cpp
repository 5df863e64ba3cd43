#include "source/portal/ScreenCapture_PortalCast.h"

#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

#include "comsrc/LinuxToolkit_Linux.h"
#include "source/portal/ScreenCapture_PortalSession.h"

namespace {

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

std::shared_ptr<PortalCast> PortalCast::start(const std::string& restoreToken, bool window, std::string& why) {
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
  for (int& fd : fds) fd = makeWakeFd();
  std::shared_ptr<PortalCast> cast;
  if (fds[0] >= 0 && fds[1] >= 0) cast.reset(new (std::nothrow) PortalCast(fds[0], fds[1]));
  if (!cast) {
    for (int fd : fds)
      if (fd >= 0) ::close(fd);
    sd_bus_flush_close_unref(bus);
    why = "out of resources";
    return nullptr;
  }
  cast->worker = std::thread([raw = cast.get(), bus, restoreToken, window] { raw->run(bus, restoreToken, window); });
  why = "the desktop portal's screen cast";
  return cast;
}

PortalCast::PortalCast(int wakeFd, int nudgeFd) : wake(wakeFd), nudge(nudgeFd) {}

PortalCast::~PortalCast() {
  stopping = true;
  signalWake(nudge);
  if (worker.joinable()) worker.join();
  ::close(wake);
  ::close(nudge);
}

bool PortalCast::failed() const {
  std::lock_guard<std::mutex> hold(frames.lock);
  return frames.failed;
}

void PortalCast::run(sd_bus* bus, const std::string& token, bool window) {
  PortalSession session(bus, token, window);
  uint32_t node = 0;
  int fd = -1;
  std::string why;
  // A dialog still open when nothing mirrors the cast any more is given up too.
  const PortalSession::Outcome outcome = session.start([this] { return stopping.load(); }, nudge, node, fd, why);
  if (outcome == PortalSession::Outcome::Stopped) return fail("the screen cast ended: nothing mirrors it");
  if (outcome == PortalSession::Outcome::Refused) refused = true;
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
    if (poll(fds, 3, stream.stallWaitMs()) < 0 && errno != EINTR) return fail("the screen cast could not be waited on");
    drainWake(nudge);
    stream.iterate();
    if (!session.process()) return fail("the desktop portal closed the screen cast");
    if (failed()) return;
  }
}

void PortalCast::fail(const std::string& why) { frames.fail(why, wake); }

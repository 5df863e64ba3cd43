#include "source/portal/ScreenCapture_PortalSession.h"

#include <fcntl.h>
#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>

#include "comsrc/LinuxToolkit_Linux.h"

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr int kCallTimeoutMs = 5000;
constexpr uint32_t kSourceMonitor = 1;
constexpr uint32_t kSourceWindow = 2;
constexpr uint32_t kCursorHidden = 1;
constexpr uint32_t kPersistUntilRevoked = 2;


// Calls `each(key)` for every entry of an a{sv}; `each` reads the variant and returns true, or
// returns false to have it skipped.
template <typename Each>
bool readVardict(sd_bus_message* m, Each&& each) {
  if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0) return false;
  int r;
  while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
    const char* key = nullptr;
    if (sd_bus_message_read(m, "s", &key) < 0) return false;
    if (!each(std::string(key ? key : "")) && sd_bus_message_skip(m, "v") < 0) return false;
    if (sd_bus_message_exit_container(m) < 0) return false;
  }
  return r == 0 && sd_bus_message_exit_container(m) >= 0;
}

// A variant holding a string or an object path (portals differ in which they send).
bool readTextVariant(sd_bus_message* m, std::string& out) {
  char type = 0;
  const char* contents = nullptr;
  if (sd_bus_message_peek_type(m, &type, &contents) <= 0 || type != 'v' || !contents) return false;
  const std::string sig = contents;
  if (sig != "s" && sig != "o") return false;
  const char* text = nullptr;
  if (sd_bus_message_enter_container(m, 'v', sig.c_str()) <= 0 || sd_bus_message_read_basic(m, sig[0], &text) < 0)
    return false;
  out = text ? text : "";
  return sd_bus_message_exit_container(m) >= 0;
}

bool appendOption(sd_bus_message* m, const char* key, const std::string& text) {
  return sd_bus_message_append(m, "{sv}", key, "s", text.c_str()) >= 0;
}
bool appendOption(sd_bus_message* m, const char* key, uint32_t value) {
  return sd_bus_message_append(m, "{sv}", key, "u", value) >= 0;
}

}  // namespace

PortalSession::PortalSession(sd_bus* connection, std::string token, bool window)
    : bus(connection), sourceType(window ? kSourceWindow : kSourceMonitor), restoreToken(std::move(token)) {}

PortalSession::~PortalSession() {
  if (!session.empty() && !closed) {
    sd_bus_call_method_async(bus, nullptr, kPortal, session.c_str(), "org.freedesktop.portal.Session", "Close",
                             nullptr, nullptr, "");
    sd_bus_flush(bus);
  }
  sd_bus_slot_unref(closedMatch);
  sd_bus_message_unref(reply);
  sd_bus_message_unref(results);
  sd_bus_flush_close_unref(bus);
}

int PortalSession::busFd() const { return sd_bus_get_fd(bus); }

bool PortalSession::process() {
  int r;
  while ((r = sd_bus_process(bus, nullptr)) > 0) {
  }
  return r >= 0 && !closed;
}

std::string PortalSession::handleToken() { return "vantelink" + std::to_string(getpid()) + "_" + std::to_string(++serial); }

int PortalSession::onReply(sd_bus_message* message, void* data, sd_bus_error*) {
  auto* self = static_cast<PortalSession*>(data);
  sd_bus_message_unref(self->reply);
  self->reply = sd_bus_message_ref(message);
  self->replied = true;
  return 0;
}

int PortalSession::onResponse(sd_bus_message* message, void* data, sd_bus_error*) {
  auto* self = static_cast<PortalSession*>(data);
  uint32_t code = 2;
  if (sd_bus_message_read(message, "u", &code) < 0) code = 2;
  self->response = code;
  sd_bus_message_unref(self->results);
  self->results = sd_bus_message_ref(message);
  self->responded = true;
  return 0;
}

int PortalSession::onClosed(sd_bus_message*, void* data, sd_bus_error*) {
  static_cast<PortalSession*>(data)->closed = true;
  return 0;
}

// Handles the bus until `done`, the stop, a broken connection or the time-out (-1: none).
bool PortalSession::waitFor(const bool& done, int timeoutMs) {
  const int64_t end = monotonicMs() + timeoutMs;
  for (;;) {
    if (sd_bus_process(bus, nullptr) < 0) return false;
    if (done) return true;
    if (stopping()) return false;
    int left = 1000;
    if (timeoutMs >= 0) {
      left = int(std::min<int64_t>(end - monotonicMs(), 1000));
      if (left <= 0) return false;
    }
    int r;
    while ((r = sd_bus_process(bus, nullptr)) > 0) {
      if (done) return true;
    }
    if (r < 0) return false;
    pollfd fds[2] = {{sd_bus_get_fd(bus), short(sd_bus_get_events(bus)), 0}, {nudgeFd, POLLIN, 0}};
    if (poll(fds, 2, left) < 0 && errno != EINTR) return false;
    if (fds[1].revents & POLLIN) drainWake(nudgeFd);
  }
}

bool PortalSession::call(sd_bus_message* message, std::string& why) {
  sd_bus_slot* slot = nullptr;
  replied = false;
  const int r = sd_bus_call_async(bus, &slot, message, onReply, this, uint64_t{kCallTimeoutMs} * 1000);
  sd_bus_message_unref(message);
  const bool answered = r >= 0 && waitFor(replied, kCallTimeoutMs + 500);
  sd_bus_slot_unref(slot);
  if (!answered) {
    why = stopping() ? "stopped" : "the desktop portal did not answer";
    return false;
  }
  if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
    why = std::string("the desktop portal answered ") + (error->name ? error->name : "an error") +
          (error->message ? std::string(": ") + error->message : "");
    return false;
  }
  return true;
}

bool PortalSession::readProperty(const char* name, uint32_t& value) {
  sd_bus_message* m = nullptr;
  std::string why;
  if (sd_bus_message_new_method_call(bus, &m, kPortal, kPortalPath, "org.freedesktop.DBus.Properties", "Get") < 0 ||
      sd_bus_message_append(m, "ss", kScreenCast, name) < 0) {
    sd_bus_message_unref(m);
    return false;
  }
  return call(m, why) && sd_bus_message_read(reply, "v", "u", &value) >= 0;
}

// Sends one of the calls answered through a Request object and waits for its Response: the
// response code (0 granted, 1 refused by the user, 2 otherwise ended), or -1 when no answer came.
int PortalSession::request(const char* method, Build build, const char* what, std::string& why) {
  const std::string token = handleToken();
  const std::string path = requestPrefix + token;
  sd_bus_slot* match = nullptr;
  sd_bus_message* m = nullptr;
  responded = false;
  int outcome = -1;
  if (sd_bus_match_signal(bus, &match, nullptr, path.c_str(), "org.freedesktop.portal.Request", "Response",
                          onResponse, this) < 0 ||
      sd_bus_message_new_method_call(bus, &m, kPortal, kPortalPath, kScreenCast, method) < 0 ||
      !build(m, *this, token)) {
    sd_bus_message_unref(m);
    why = std::string("the ") + what + " call could not be made";
  } else if (call(m, why)) {
    // The user answers the permission dialog in their own time.
    if (waitFor(responded, -1)) {
      outcome = int(response);
      if (response != 0) why = std::string("the desktop portal ended the ") + what + (response == 1 ? ": refused" : "");
    } else {
      why = stopping() ? "stopped" : "the session bus went away";
    }
  }
  sd_bus_slot_unref(match);
  return outcome;
}

PortalSession::Outcome PortalSession::start(const std::function<bool()>& stop, int nudge, uint32_t& node,
                                            int& pipewireFd, std::string& why) {
  stopping = stop;
  nudgeFd = nudge;
  pipewireFd = -1;
  const char* unique = nullptr;
  if (sd_bus_get_unique_name(bus, &unique) < 0 || !unique) {
    why = "the session bus gave no name";
    return Outcome::Failed;
  }
  std::string sender = unique + (unique[0] == ':' ? 1 : 0);
  std::replace(sender.begin(), sender.end(), '.', '_');
  requestPrefix = std::string(kPortalPath) + "/request/" + sender + "/";

  if (!readProperty("version", version)) {
    why = stop() ? "stopped" : "no desktop portal with a screen cast answers on the session bus";
    return stop() ? Outcome::Stopped : Outcome::Failed;
  }
  if (!readProperty("AvailableCursorModes", cursorModes)) cursorModes = 0;

  const auto ended = [&](int code) {
    if (stop()) return Outcome::Stopped;
    return code > 0 ? Outcome::Refused : Outcome::Failed;
  };
  int code = request(
      "CreateSession",
      [](sd_bus_message* m, const PortalSession& self, const std::string& token) {
        return sd_bus_message_open_container(m, 'a', "{sv}") >= 0 && appendOption(m, "handle_token", token) &&
               appendOption(m, "session_handle_token", token) && sd_bus_message_close_container(m) >= 0;
      },
      "session", why);
  if (code == 0 && !readVardict(results, [&](const std::string& key) {
        return key == "session_handle" && readTextVariant(results, session);
      })) {
    session.clear();
  }
  if (code != 0) return ended(code);
  if (session.empty()) {
    why = "the desktop portal gave no session";
    return Outcome::Failed;
  }
  if (sd_bus_match_signal(bus, &closedMatch, nullptr, session.c_str(), "org.freedesktop.portal.Session", "Closed",
                          onClosed, this) < 0) {
    why = "the session's end could not be watched";
    return Outcome::Failed;
  }

  code = request(
      "SelectSources",
      [](sd_bus_message* m, const PortalSession& self, const std::string& token) {
        bool ok = sd_bus_message_append(m, "o", self.session.c_str()) >= 0 &&
                  sd_bus_message_open_container(m, 'a', "{sv}") >= 0 && appendOption(m, "handle_token", token) &&
                  appendOption(m, "types", self.sourceType) &&
                  sd_bus_message_append(m, "{sv}", "multiple", "b", 0) >= 0;
        if (ok && self.version >= 2 && (self.cursorModes & kCursorHidden))
          ok = appendOption(m, "cursor_mode", kCursorHidden);
        if (ok && self.version >= 4) {
          ok = appendOption(m, "persist_mode", kPersistUntilRevoked);
          if (ok && !self.restoreToken.empty()) ok = appendOption(m, "restore_token", self.restoreToken);
        }
        return ok && sd_bus_message_close_container(m) >= 0;
      },
      "source selection", why);
  if (code != 0) return ended(code);

  code = request(
      "Start",
      [](sd_bus_message* m, const PortalSession& self, const std::string& token) {
        return sd_bus_message_append(m, "os", self.session.c_str(), "") >= 0 &&
               sd_bus_message_open_container(m, 'a', "{sv}") >= 0 && appendOption(m, "handle_token", token) &&
               sd_bus_message_close_container(m) >= 0;
      },
      "screen cast", why);
  if (code != 0) return ended(code);
  node = 0;
  readStartResults(node);
  if (node == 0) {
    why = "the desktop portal started no stream";
    return Outcome::Failed;
  }

  sd_bus_message* m = nullptr;
  if (sd_bus_message_new_method_call(bus, &m, kPortal, kPortalPath, kScreenCast, "OpenPipeWireRemote") < 0 ||
      sd_bus_message_append(m, "oa{sv}", session.c_str(), 0) < 0) {
    sd_bus_message_unref(m);
    why = "the PipeWire remote could not be asked for";
    return Outcome::Failed;
  }
  int fd = -1;
  if (!call(m, why)) return stop() ? Outcome::Stopped : Outcome::Failed;
  if (sd_bus_message_read(reply, "h", &fd) < 0 || fd < 0 || (pipewireFd = fcntl(fd, F_DUPFD_CLOEXEC, 3)) < 0) {
    why = "the desktop portal gave no PipeWire remote";
    return Outcome::Failed;
  }
  char text[120];
  std::snprintf(text, sizeof text, "portal version %u, PipeWire node %u of a %s%s", version, node,
                sourceType == kSourceWindow ? "window" : "monitor", restoreToken.empty() ? "" : ", permission restored");
  why = text;
  if (!closed) return Outcome::Started;
  // Closed while the remote was asked for: the caller takes no descriptor from a failed start.
  ::close(pipewireFd);
  pipewireFd = -1;
  why = "the desktop portal closed the screen cast";
  return Outcome::Failed;
}

// The first stream of Start's results, and the restore token that replaces the old one.
void PortalSession::readStartResults(uint32_t& node) {
  readVardict(results, [&](const std::string& key) {
    if (key == "restore_token") {
      std::string token;
      if (!readTextVariant(results, token)) return false;
      if (!token.empty()) grantedToken = token;
      return true;
    }
    if (key != "streams" || sd_bus_message_enter_container(results, 'v', "a(ua{sv})") <= 0) return false;
    if (sd_bus_message_enter_container(results, 'a', "(ua{sv})") <= 0) return false;
    while (sd_bus_message_enter_container(results, 'r', "ua{sv}") > 0) {
      uint32_t id = 0;
      if (sd_bus_message_read(results, "u", &id) < 0 || sd_bus_message_skip(results, "a{sv}") < 0) return false;
      if (node == 0) node = id;
      sd_bus_message_exit_container(results);
    }
    sd_bus_message_exit_container(results);
    sd_bus_message_exit_container(results);
    return true;
  });
}

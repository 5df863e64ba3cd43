#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <string>

// One screen cast session of the desktop portal (org.freedesktop.portal.ScreenCast over the
// session bus, through sd-bus): a monitor, or one window, chosen in the portal's own dialog, the
// cursor hidden, permission kept (persist mode 2) and restored with the restore token of an
// earlier session of the same kind. Used by one thread only.
class PortalSession {
 public:
  enum class Outcome { Started, Refused, Failed, Stopped };

  PortalSession(sd_bus* bus, std::string restoreToken, bool window);  // takes the connection over
  ~PortalSession();                     // closes the session
  PortalSession(const PortalSession&) = delete;
  PortalSession& operator=(const PortalSession&) = delete;

  // Creates, sets up and starts the session and opens its PipeWire remote: `node` is the stream
  // to read and `pipewireFd` (owned by the caller from then on) the connection to reach it. The
  // user may take long to answer the permission dialog, so this waits on the bus until an answer
  // comes or `stop` says to give up, asking it at least once a second and whenever `nudgeFd`
  // (an eventfd, drained here) becomes readable.
  Outcome start(const std::function<bool()>& stop, int nudgeFd, uint32_t& node, int& pipewireFd, std::string& why);

  // The token that restores this session's permission next time; empty when none was given.
  const std::string& newRestoreToken() const { return grantedToken; }

  int busFd() const;
  // Handles whatever came on the bus without waiting; false once the session is over.
  bool process();

 private:
  using Build = bool (*)(sd_bus_message* call, const PortalSession& self, const std::string& token);
  int request(const char* method, Build build, const char* what, std::string& why);
  bool call(sd_bus_message* message, std::string& why);
  bool waitFor(const bool& done, int timeoutMs);
  bool readProperty(const char* name, uint32_t& value);
  void readStartResults(uint32_t& node);
  std::string handleToken();

  static int onReply(sd_bus_message* message, void* data, sd_bus_error* error);
  static int onResponse(sd_bus_message* message, void* data, sd_bus_error* error);
  static int onClosed(sd_bus_message* message, void* data, sd_bus_error* error);

  sd_bus* bus;
  std::string requestPrefix;
  std::string session;
  uint32_t sourceType;  // the portal's monitor or window
  uint32_t version = 1;
  uint32_t cursorModes = 0;
  std::string restoreToken;
  std::string grantedToken;
  bool closed = false;
  sd_bus_slot* closedMatch = nullptr;

  // The call and the request being awaited.
  sd_bus_message* reply = nullptr;
  bool replied = false;
  sd_bus_message* results = nullptr;
  uint32_t response = 0;
  bool responded = false;

  std::function<bool()> stopping;
  int nudgeFd = -1;
  uint32_t serial = 0;
};

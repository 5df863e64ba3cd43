#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "source/portal/ScreenCapture_PortalStream.h"

struct sd_bus;

// One screen cast of the desktop portal, from the session's start to its end, run on a thread
// of its own that hands frames to the window's thread through `frames`; destroying it ends the
// session.
class PortalCast {
 public:
  // Starts the session of a monitor, or of a `window`, with `restoreToken`; null with the reason
  // in `why` when it cannot be.
  static std::shared_ptr<PortalCast> start(const std::string& restoreToken, bool window, std::string& why);
  ~PortalCast();
  PortalCast(const PortalCast&) = delete;
  PortalCast& operator=(const PortalCast&) = delete;

  // Readable when a frame came or the cast failed.
  int wakeFd() const { return wake; }
  bool failed() const;
  // The user refused the screen cast (set before the cast fails).
  bool refusedByUser() const { return refused; }

  mutable PortalFrames frames;
  // Under frames.lock, for the window's thread to take: what the start found, and the token that
  // restores the permission next time.
  std::string started, newToken;

 private:
  PortalCast(int wake, int nudge);
  void run(sd_bus* bus, const std::string& token, bool window);
  void fail(const std::string& why);

  int wake, nudge;  // eventfds: to the window's thread, to the cast's
  std::atomic<bool> stopping{false};
  std::atomic<bool> refused{false};
  std::thread worker;
};

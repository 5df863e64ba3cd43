#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vltest {

// The stand-in display driver (vantela-vdisplay) as a child process. It takes its socket
// folder from XDG_RUNTIME_DIR, so a test that points that at a temporary folder of its own
// sees only its own stand-ins.
class VDisplayProcess {
 public:
  VDisplayProcess() = default;
  ~VDisplayProcess() { stop(); }
  VDisplayProcess(const VDisplayProcess&) = delete;
  VDisplayProcess& operator=(const VDisplayProcess&) = delete;

  static bool xvfbInstalled();
  // Starts it and waits for its "DISPLAY=:N" line; false when that does not come.
  bool start(const std::vector<std::string>& args);
  const std::string& display() const { return display_; }  // ":N"
  void signal(int sig) const;
  // Ends it with `sig` and returns its exit status (-1 when it was not running; 128 + signal
  // when the signal ended it).
  int stop(int sig = 15);

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  std::string display_;
};

}  // namespace vltest

#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vltest {

// An Xvfb of the test's own, on the first free display number (-displayfd); -noreset, as a
// server that resets when its last client leaves refuses connections meanwhile. It ends with
// the object, and with the test process however that ends.
class XServer {
 public:
  explicit XServer(const char* screen = "800x600x24", std::vector<std::string> extraArgs = {});
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool ok() const { return !name_.empty(); }
  const std::string& name() const { return name_; }  // ":N"
  pid_t pid() const { return pid_; }

  // DISPLAY names this server until the object ends, for code that opens the default display.
  void becomeDefault();

 private:
  pid_t pid_ = -1;
  std::string name_;
  bool setDisplay_ = false;
  bool hadPrevious_ = false;
  std::string previous_;
};

// The one X server of a test program that keeps a display connection for the life of the
// process (the toolkit does): every test of the program draws on it; DISPLAY names it.
XServer& sharedXvfb();

}  // namespace vltest

#pragma once

#include <sys/types.h>

#include <string>

namespace vltest {

// An X server of the test's own (Xvfb on a free display number); DISPLAY points at it while the
// object lives.
class XvfbServer {
 public:
  explicit XvfbServer(const char* screen = "800x600x24");
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool ok() const { return pid_ > 0 && !display_.empty(); }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
  std::string previous_;
  bool hadPrevious_ = false;
};

}  // namespace vltest

namespace vltest {

// The one X server of a test program: the toolkit keeps its display connection for the life of
// the process, so every test of the program draws on the same server.
XvfbServer& sharedXvfb();

}  // namespace vltest

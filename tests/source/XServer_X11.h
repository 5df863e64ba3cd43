#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vltest {

// An Xvfb of the test's own, on the first free display number (-displayfd); -noreset, as a
// server that resets when its last client leaves refuses connections meanwhile.
class XServer {
 public:
  explicit XServer(const char* screen = "800x600x24", std::vector<std::string> extraArgs = {});
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool ok() const { return !name_.empty(); }
  const std::string& name() const { return name_; }  // ":N"

 private:
  pid_t pid_ = -1;
  std::string name_;
};

}  // namespace vltest

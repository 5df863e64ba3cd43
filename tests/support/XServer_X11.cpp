#include "support/XServer_X11.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>

#include "support/ChildProcess_POSIX.h"

namespace vltest {

XServer::XServer(const char* screen, std::vector<std::string> extraArgs) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                                   "-nolisten", "tcp", "-noreset"};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  ChildIo io;
  io.quiet = true;
  io.keepFd = fds[1];
  pid_ = spawnTied(args, io);
  // Only Xvfb holds the write end now: a failed start reads as end of file, not a 20 s wait.
  close(fds[1]);
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  char c;
  while (pid_ > 0 && poll(&p, 1, 20000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (!number.empty()) name_ = ":" + number;
}

XServer::~XServer() {
  endChild(pid_);
  if (!setDisplay_) return;
  if (hadPrevious_)
    setenv("DISPLAY", previous_.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

void XServer::becomeDefault() {
  if (!ok()) return;
  if (!setDisplay_) {
    const char* old = std::getenv("DISPLAY");
    hadPrevious_ = old != nullptr;
    if (old) previous_ = old;
    setDisplay_ = true;
  }
  setenv("DISPLAY", name_.c_str(), 1);
}

XServer& sharedXvfb() {
  static XServer server;
  static const bool named = (server.becomeDefault(), true);
  (void)named;
  return server;
}

}  // namespace vltest

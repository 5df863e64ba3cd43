#include "support/VDisplayProcess_POSIX.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support/ChildProcess_POSIX.h"

namespace vltest {

bool VDisplayProcess::xvfbInstalled() { return std::system("command -v Xvfb >/dev/null 2>&1") == 0; }

bool VDisplayProcess::start(const std::vector<std::string>& args) {
  const char* dir = std::getenv("VL_BINARY_DIR");
  std::vector<std::string> all{std::string(dir ? dir : ".") + "/tools/vantela-vdisplay"};
  all.insert(all.end(), args.begin(), args.end());
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  ChildIo io;
  io.stdoutFd = fds[1];
  pid_ = spawnTied(all, io);
  close(fds[1]);
  output_ = fds[0];
  if (pid_ <= 0) return false;
  std::string line;
  pollfd p{output_, POLLIN, 0};
  char c;
  while (poll(&p, 1, 20000) == 1 && read(output_, &c, 1) == 1 && c != '\n') line += c;
  if (line.rfind("DISPLAY=:", 0) != 0) return false;
  display_ = line.substr(8);
  return true;
}

void VDisplayProcess::signal(int sig) const {
  if (pid_ > 0) kill(pid_, sig);
}

int VDisplayProcess::stop(int sig) {
  if (output_ >= 0) close(output_), output_ = -1;
  if (pid_ <= 0) return -1;
  const int status = endChild(pid_, sig);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace vltest

#include "support/VDisplayProcess_POSIX.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace vltest {

bool VDisplayProcess::xvfbInstalled() { return std::system("command -v Xvfb >/dev/null 2>&1") == 0; }

bool VDisplayProcess::start(const std::vector<std::string>& args) {
  const char* dir = std::getenv("VL_BINARY_DIR");
  std::vector<std::string> all{std::string(dir ? dir : ".") + "/tools/vantela-vdisplay"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  output_ = fds[0];
  if (rc != 0) {
    pid_ = -1;
    return false;
  }
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
  kill(pid_, sig);
  kill(pid_, SIGCONT);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace vltest

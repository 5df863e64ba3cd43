#include "support/ChildProcess_POSIX.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace vltest {

pid_t spawnTied(const std::vector<std::string>& args, const ChildIo& io) {
  if (args.empty()) return -1;
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out = io.stdoutFd;
  if (!io.stdoutFile.empty()) out = open(io.stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int null = io.quiet ? open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here to exec: the test may run threads.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    if (out >= 0) dup2(out, 1);
    if (null >= 0) dup2(null, 2);
    if (io.keepFd >= 0) fcntl(io.keepFd, F_SETFD, 0);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (!io.stdoutFile.empty() && out >= 0) close(out);
  if (null >= 0) close(null);
  return pid;
}

int endChild(pid_t pid, int sig) {
  if (pid <= 0) return -1;
  kill(pid, sig);
  kill(pid, SIGCONT);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace vltest

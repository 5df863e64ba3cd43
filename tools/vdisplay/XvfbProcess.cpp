#include "tools/vdisplay/XvfbProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

std::string XvfbProcess::start(int32_t number, int32_t width, int32_t height, const std::string& fbdir) {
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return "cannot make a pipe";
  std::vector<std::string> args = {"Xvfb"};
  if (number >= 0) args.push_back(":" + std::to_string(number));
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  // -noreset: a server that resets when its last client leaves refuses connections meanwhile.
  for (const char* a : {"-displayfd", "", "-screen", "0", "", "-fbdir", "", "-nolisten", "tcp", "-noreset"}) args.push_back(a);
  const size_t base = number >= 0 ? 2 : 1;
  args[base + 1] = std::to_string(ready[1]);
  args[base + 4] = screen;
  args[base + 6] = fbdir;
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // Its own process group, so that a terminal's Ctrl-C reaches only the stand-in, which then
    // stops it in order; and it ends with the stand-in even when that is killed outright.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    fcntl(ready[1], F_SETFD, 0);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
    execvp("Xvfb", argv.data());
    _exit(127);
  }
  close(ready[1]);
  if (pid_ < 0) {
    close(ready[0]);
    return "cannot start Xvfb";
  }
  std::string digits;
  pollfd p{ready[0], POLLIN, 0};
  char c;
  while (poll(&p, 1, 20000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n') digits += c;
  close(ready[0]);
  if (digits.empty()) {
    stop();
    return number >= 0 ? "Xvfb did not start on :" + std::to_string(number) + " (is the display taken, or Xvfb missing?)"
                       : "Xvfb did not start (is it installed?)";
  }
  number_ = int32_t(std::atoi(digits.c_str()));
  return {};
}

bool XvfbProcess::ended() {
  if (pid_ <= 0) return true;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
  pid_ = -1;
  return true;
}

void XvfbProcess::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

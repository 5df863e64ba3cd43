#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vltest {

// What a child's standard streams and descriptors become; -1 or empty leaves them as they are.
struct ChildIo {
  int stdoutFd = -1;          // dup'ed to descriptor 1
  std::string stdoutFile;     // or: created (truncated) as descriptor 1
  bool quiet = false;         // descriptor 2 to /dev/null
  int keepFd = -1;            // a close-on-exec descriptor the child keeps, under its own number
};

// Starts args[0] (looked up in PATH when it holds no slash) and returns its process id, -1 on
// failure. The child gets SIGTERM when the thread that started it ends, even killed outright
// (a CTest time-out), so no X server, simulator or stand-in outlives the test that started it.
pid_t spawnTied(const std::vector<std::string>& args, const ChildIo& io = {});

// SIGCONT then SIGTERM (or sig), and the wait; returns the wait status, -1 when pid <= 0.
int endChild(pid_t pid, int sig = 15);

}  // namespace vltest

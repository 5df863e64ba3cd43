#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProcess_POSIX.h"

namespace vltest {

// The device simulator (vantela-sim) as a child process, its standard output kept in a file.
class SimProcess {
 public:
  static std::string program() {
    const char* dir = std::getenv("VL_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/tools/vantela-sim";
  }

  // Starts the simulator with args and waits until linkPath appears (false when it does not).
  bool start(const std::vector<std::string>& args, const std::string& linkPath, const std::string& outputFile) {
    linkPath_ = linkPath;
    output_ = outputFile;
    std::vector<std::string> all{program()};
    all.insert(all.end(), args.begin(), args.end());
    ChildIo io;
    io.stdoutFile = output_;
    pid_ = spawnTied(all, io);
    if (pid_ <= 0) return false;
    return waitForLink(true, std::chrono::seconds(10));
  }

  bool waitForLink(bool present, std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      struct stat st;
      if ((lstat(linkPath_.c_str(), &st) == 0) == present) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  void signal(int sig) const {
    if (pid_ > 0) kill(pid_, sig);
  }

  // True once the simulator has ended by itself (--seconds).
  bool exited() {
    if (pid_ <= 0) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    pid_ = -1;
    return true;
  }

  // Ends the simulator (SIGTERM) if it still runs, and returns its line of counts.
  std::string stop() {
    if (output_.empty()) return {};
    endChild(pid_);
    pid_ = -1;
    std::string text;
    if (FILE* f = std::fopen(output_.c_str(), "r")) {
      char line[256];
      while (std::fgets(line, sizeof line, f)) text += line;
      std::fclose(f);
    }
    return text;
  }

  ~SimProcess() { stop(); }

 private:
  pid_t pid_ = -1;
  std::string linkPath_;
  std::string output_;
};

}  // namespace vltest

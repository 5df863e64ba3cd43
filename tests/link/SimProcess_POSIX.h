#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

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
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      pid_ = -1;
      return false;
    }
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
    if (pid_ > 0) {
      kill(pid_, SIGCONT);
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
      pid_ = -1;
    }
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

#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// An auto-reset event: `set` lets one wait through (now or the next one to come), and that
// wait clears it again.
class AutoResetEvent {
 public:
  void set() {
    {
      std::lock_guard<std::mutex> hold(lock);
      signalled = true;
    }
    changed.notify_one();
  }

  // True when the event was set, false when the time ran out first.
  bool wait(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> hold(lock);
    const bool got = changed.wait_for(hold, timeout, [this] { return signalled; });
    signalled = false;
    return got;
  }

 private:
  std::mutex lock;
  std::condition_variable changed;
  bool signalled = false;
};

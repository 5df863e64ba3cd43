#include <time.h>

#include "comsrc/TickClock.h"

namespace comsrc {

namespace {
class PerfCounter_POSIX : public PerfCounter {
 public:
  bool frequency(int64_t& countsPerSecond) override {
    countsPerSecond = 1000000000;
    return true;
  }
  bool now(int64_t& count) override {
    timespec ts{};
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return false;
    count = int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    return true;
  }
  // The boot-time clock runs on while the machine sleeps; the monotonic one stands still.
  bool suspended(int64_t& count) override {
    timespec boot{}, mono{};
    if (clock_gettime(CLOCK_BOOTTIME, &boot) != 0 || clock_gettime(CLOCK_MONOTONIC, &mono) != 0) return false;
    count = (int64_t(boot.tv_sec) - mono.tv_sec) * 1000000000 + (boot.tv_nsec - mono.tv_nsec);
    return true;
  }
};
}  // namespace

PerfCounter& systemPerfCounter() {
  static PerfCounter_POSIX counter;
  return counter;
}

}  // namespace comsrc

#include <time.h>

#include "comsrc/QPClock.h"

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
};
}  // namespace

PerfCounter& systemPerfCounter() {
  static PerfCounter_POSIX counter;
  return counter;
}

}  // namespace comsrc

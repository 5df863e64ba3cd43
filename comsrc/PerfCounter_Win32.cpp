#include <windows.h>

#include "comsrc/TickClock.h"

namespace comsrc {

namespace {
class PerfCounter_Win32 : public PerfCounter {
 public:
  bool frequency(int64_t& countsPerSecond) override {
    LARGE_INTEGER f;
    if (!QueryPerformanceFrequency(&f)) return false;
    countsPerSecond = f.QuadPart;
    return true;
  }
  bool now(int64_t& count) override {
    LARGE_INTEGER c;
    if (!QueryPerformanceCounter(&c)) return false;
    count = c.QuadPart;
    return true;
  }
};
}  // namespace

PerfCounter& systemPerfCounter() {
  static PerfCounter_Win32 counter;
  return counter;
}

}  // namespace comsrc

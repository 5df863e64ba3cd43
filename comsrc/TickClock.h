#pragma once

#include <cstdint>

namespace comsrc {

// The platform's high-resolution counter: QueryPerformanceCounter on Windows, the monotonic
// clock at 1e9 counts per second elsewhere. Tests hand TickClock a counter of their own.
class PerfCounter {
 public:
  virtual ~PerfCounter() = default;
  // false when the counter cannot be read.
  virtual bool frequency(int64_t& countsPerSecond) = 0;
  virtual bool now(int64_t& count) = 0;
  // The time the machine has spent asleep (suspended or hibernated) since it started, in counts;
  // false where the counter cannot tell (Windows reports a resume by a window message instead).
  virtual bool suspended(int64_t& count) {
    count = 0;
    return false;
  }
};

// The counter of this platform (one object for the program, stateless).
PerfCounter& systemPerfCounter();

// Turns the performance counter into units (both screen sources use milliseconds).
class TickClock {
 public:
  explicit TickClock(double unitsPerSecond, PerfCounter& counter = systemPerfCounter());
  virtual ~TickClock() = default;

  // The count divided into units, truncated, low 32 bits; 0 when the counter cannot be read.
  uint32_t read() const;

  int64_t frequency = 0x7FFFFFFF;  // counts per second; 0x7FFFFFFF when it cannot be read
  double ticksPerUnit = 0;         // 0 while the clock cannot convert
  double unitsPerSecond = 0;

 private:
  PerfCounter* counter;
};

}  // namespace comsrc

#include "comsrc/TickClock.h"

#include <cmath>

namespace comsrc {

TickClock::TickClock(double units, PerfCounter& source) : unitsPerSecond(units), counter(&source) {
  int64_t f = 0;
  if (!counter->frequency(f) || f <= 0) {
    frequency = 0x7FFFFFFF;
    return;
  }
  frequency = f;
  if (unitsPerSecond > 0) ticksPerUnit = double(frequency) / unitsPerSecond;
}

uint32_t TickClock::read() const {
  int64_t count = 0;
  if (!(ticksPerUnit > 0) || !counter->now(count)) return 0;
  const double units = std::trunc(double(count) / ticksPerUnit);
  // Keep the low 32 bits of the 64-bit value; out-of-range doubles would be undefined to convert.
  if (!(std::fabs(units) < 9.2e18)) return 0;
  return uint32_t(uint64_t(int64_t(units)));
}

}  // namespace comsrc

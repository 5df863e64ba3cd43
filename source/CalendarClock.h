#pragma once

#include <cstdint>
#include <ctime>

// Calendar time in whole seconds, as the driver source times its mapping's keep-alives: the
// system's, or a test's when it overrides seconds().
class CalendarClock {
 public:
  virtual ~CalendarClock() = default;
  virtual int64_t seconds() { return int64_t(std::time(nullptr)); }
};

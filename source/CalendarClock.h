#pragma once

#include <cstdint>

// Calendar time in whole seconds, as the driver source times its mapping's keep-alives.
class CalendarClock {
 public:
  virtual ~CalendarClock() = default;
  virtual int64_t seconds() = 0;
};

// The system's calendar time (one object for the program, stateless).
CalendarClock& systemCalendarClock();

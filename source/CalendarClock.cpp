#include "source/CalendarClock.h"

#include <ctime>

namespace {

class SystemCalendarClock : public CalendarClock {
 public:
  int64_t seconds() override { return int64_t(std::time(nullptr)); }
};

}  // namespace

CalendarClock& systemCalendarClock() {
  static SystemCalendarClock clock;
  return clock;
}

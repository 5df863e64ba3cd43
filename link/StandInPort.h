#pragma once

#include "multio/Stream.h"

// The port of a slot whose device did not open: failed, as that port is (so the window shows
// the error and housekeeping keeps trying the real port), yet it takes every byte and drops it,
// so that the slot's link runs and remembers what the device would show.
class StandInPort : public multio::Stream {
 public:
  bool failed() override { return true; }
};

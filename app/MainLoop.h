#pragma once

#include <cstdint>

#include "pipeline/ProduceFrame.h"
#include "ui/Pumped.h"

namespace comsrc {
class PerfCounter;
}
struct Devices;
struct ScreenSources;

// What a pass of the main loop calls out to. The program hands it the real routines
// (app/ProgramServices); the loop's rules are tested with fakes.
class LoopServices {
 public:
  virtual ~LoopServices() = default;
  // At most one window message.
  virtual ui::Pumped pumpMessage() = 0;
  // Returns when a window message (or, with drawings, a drawing on the captured screen) may be
  // waiting, or after ms milliseconds.
  virtual void waitForEvents(uint32_t ms, bool drawings) = 0;
  virtual int32_t discoverDisplays() = 0;
  virtual int32_t openLinks() = 0;
  virtual int32_t rebuildSource() = 0;
  // The driver source's identity check (capture mode 1); negative when the driver is gone.
  virtual int32_t checkDriver() = 0;
  // Whether a frame has anything to do.
  virtual FrameWork changePending() = 0;
  virtual void produceFrame() = 0;
  // A flag the window's status texts show has changed: show them now.
  virtual void showStatus() = 0;
  // Whether the window was told since the last call that the machine woke from sleep.
  virtual bool resumeReported() { return false; }
};

// The flags the window's status texts are made from, to see when they change.
struct StatusFlags {
  bool anyDeviceActive = false, linksOpen = false, sourceReady = false, driverFound = false, driverAttached = false;
  uint32_t portsOk = 0, linksFailed = 0;  // a bit per slot
  friend bool operator==(const StatusFlags&, const StatusFlags&) = default;
};
StatusFlags statusFlags(const Devices& devices, const ScreenSources& sources);

// The non-blocking loop: one message a pass, time in ticks of 1/100 s from the counter,
// housekeeping every 100 ticks, and frames while a device, its link and the screen source are
// all there: at once for a change, no closer than 40 ms to the last change's frame; every 4
// ticks while lines are due to be resent or the source cannot tell. Between frames the loop
// waits for events until the next deadline. Missed periods are not made up. After the machine
// wakes from sleep, housekeeping runs at once and every device is sent every line again.
class MainLoop {
 public:
  MainLoop(Devices& devices, ScreenSources& sources, LoopServices& services, comsrc::PerfCounter& counter);

  // One pass; false once the quit message has arrived.
  bool pass();
  void run();

  // The tick number now: trunc(counter / tick length), low 32 bits; 0 when the counter cannot
  // be read.
  uint32_t now() const;

 private:
  void housekeeping();
  // Whether the machine woke from sleep since the last pass: by the counter, or as the window
  // was told.
  bool resumed();
  // Whole milliseconds (at least 1) until tick `tick` begins; 1 when the counter cannot be read.
  uint32_t msUntilTick(uint32_t tick) const;

  Devices& devices;
  ScreenSources& sources;
  LoopServices& services;
  comsrc::PerfCounter& counter;
  double tickLength;
  uint32_t lastHousekeeping = 0;
  uint32_t lastFrame = 0;
  int64_t lastChangeCount = 0;  // the counter when the last frame for a change began
  StatusFlags shownStatus;
  int64_t asleep = -1;  // the counter's time asleep at the last pass; -1 when it cannot tell
};

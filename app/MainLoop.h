#pragma once

#include <cstdint>

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
  // At most one window message: 1 handled, 0 none waiting, -1 the quit message.
  virtual int32_t pumpMessage() = 0;
  virtual void sleep(uint32_t ms) = 0;
  virtual int32_t discoverDisplays() = 0;
  virtual int32_t openLinks() = 0;
  virtual int32_t rebuildSource() = 0;
  // The driver source's identity check (capture mode 1); negative when the driver is gone.
  virtual int32_t checkDriver() = 0;
  virtual void produceFrame() = 0;
};

// The non-blocking loop: one message a pass, time in ticks of 1/100 s from the counter,
// housekeeping every 100 ticks, a frame every 4 ticks while a device, its link and the screen
// source are all there. Between frames it sleeps 10 ms, and in the last tick before a frame
// until that tick ends. Missed periods are not made up.
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
  // Whole milliseconds (1 to 10) until the next tick begins.
  uint32_t msToNextTick() const;

  Devices& devices;
  ScreenSources& sources;
  LoopServices& services;
  comsrc::PerfCounter& counter;
  double tickLength;
  uint32_t lastHousekeeping = 0;
  uint32_t lastFrame = 0;
};

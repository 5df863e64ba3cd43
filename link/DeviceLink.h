#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "comsrc/Rect.h"
#include "link/ShownLines.h"
#include "multio/Stream.h"

// One device's connection: its serial stream, a byte ring the main thread fills with line
// records, and a writer thread that drains the ring into the port, so the main thread never
// waits on the serial line.
class DeviceLink {
 public:
  // Opens the port portName ("COM%d" or "\\.\COM%d") as the device's serial stream.
  DeviceLink(const char* portName, int32_t speed, int32_t cts);
  // Takes any stream as the device (a file for the preview tool, a test double), carrying
  // `speed` bits a second (0: as fast as anything comes).
  explicit DeviceLink(std::unique_ptr<multio::Stream> serial, int32_t speed = 0);
  ~DeviceLink();
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  void sizeRing(uint32_t size);  // only before anything is queued
  uint32_t freeSpace();
  uint32_t queued();  // bytes waiting for the line
  int32_t enqueue(const uint8_t* data, uint32_t length);  // whole block or -1
  void shutdown();

  multio::Stream* serial() const;  // null after shutdown

  // Bits a second the port carries; 0 for a stream that keeps up with anything. The writer
  // hands the port no more than the line carries, so what waits, waits in the ring.
  int32_t speed() const { return speed_; }

  comsrc::Rect area{0, 0, 128, 64};
  uint8_t invert = 0;
  int32_t rotate = 0;
  // What the device shows; a link opened anew knows nothing, so every line it is given goes out.
  ShownLines shown;

 private:
  int32_t speed_ = 0;
  struct Impl;
  std::unique_ptr<Impl> impl;
};

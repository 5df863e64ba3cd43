#pragma once

#include <cstdint>
#include <memory>

#include "multio/Stream.h"

// The serial port of one device as a stream: opened with the device's line settings (8 data
// bits, no parity, one stop bit, optional CTS flow control, DTR and RTS inactive), with blocking
// reads and writes. A write that finds the device gone closes the port; `failed` then reports
// true and the stream never reopens.
class SerialPort : public multio::Stream {
 public:
  // portName is "COM%d" or "\\.\COM%d". The object exists whether or not the port opened.
  SerialPort(const char* portName, int32_t speed, int32_t cts);
  ~SerialPort() override;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  int32_t read(void* buffer, int32_t count, int32_t flags) override;
  int32_t write(const void* buffer, int32_t count, int32_t flags) override;
  bool failed() override;

  // Makes a read or write in progress on another thread return soon (with what it had moved,
  // or -1), and every later one return -1 at once. Call it again until that thread has left
  // the call: a call that was just entering the system may miss one interruption.
  void interrupt();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl;
};

#pragma once

#include <cstdint>

// The escape channel to the virtual display driver: ExtEscape on the driver display's device
// context on Windows, the stand-in driver's socket on Linux. The result is what the driver
// returns (ExtEscape's meaning: > 0 success, 0 not implemented, < 0 error).
class EscapeChannel {
 public:
  virtual ~EscapeChannel() = default;
  virtual int32_t escape(uint32_t code, int32_t inLength, const void* in, int32_t outLength, void* out) = 0;
};

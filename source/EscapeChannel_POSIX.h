#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "source/EscapeChannel.h"

class DisplayConnection;
struct ScreenContext;

// The escapes of a stand-in display driver (vantela-vdisplay), sent over its socket. The
// socket is found through the display's device name (its last word is ":N") and connected
// anew after the display is reopened or the connection broke. ESC_MAP_FRAME maps the frame
// buffer the stand-in passes read-only and returns the address of its pixels, provided that the
// frame has the size of the display's rectangle (when that is set); ESC_UNMAP_FRAME releases
// that mapping. A stand-in that does not answer within the timeout gives -1.
class EscapeChannel_POSIX : public EscapeChannel {
 public:
  explicit EscapeChannel_POSIX(DisplayConnection& display, int timeoutMs = 200);
  ~EscapeChannel_POSIX() override;
  EscapeChannel_POSIX(const EscapeChannel_POSIX&) = delete;
  EscapeChannel_POSIX& operator=(const EscapeChannel_POSIX&) = delete;

  int32_t escape(uint32_t code, int32_t inLength, const void* in, int32_t outLength, void* out) override;

 private:
  struct Mapping {
    void* base;
    size_t length;
    const uint8_t* pixels;
  };
  bool connected();
  void disconnect();
  int32_t mapFrame(int32_t inLength, const void* in, int32_t outLength, void* out);
  int32_t unmapFrame(int32_t inLength, const void* in);

  DisplayConnection& display;
  int timeoutMs;
  ScreenContext* seen = nullptr;
  int sock = -1;
  std::vector<Mapping> mappings;
};

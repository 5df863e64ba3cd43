#pragma once

#include <cstdint>

#include "source/VtdrvEscapes.h"

// The socket protocol of the stand-in display driver (vantela-vdisplay) on Linux, shared by
// the stand-in and the program's escape channel. Each escape travels as one request and one
// reply on a Unix stream socket, all numbers little-endian:
//
//   request: code (u32), inLength (i32), outLength (i32), then inLength input bytes;
//   reply:   result (i32), outBytes (u32, never more than the request's outLength), then
//            outBytes output bytes.
//
// The codes are the driver's escape codes (vtdrv::) plus kDescribe, which discovery sends to learn an
// adapter's description and mode. ESC_MAP_FRAME cannot return an address across processes: its
// reply carries the frame-buffer file as a descriptor (SCM_RIGHTS, with the reply's first
// bytes) and, as output, kMapReplyBytes: the offset of the pixels in that file (u64), then the
// frame's width and height (u32 each). The escape channel maps the file and hands its caller
// the address of the pixels.
//
// A request with a negative length, an input longer than kMaxInput or an output longer than
// kMaxOutput ends the connection; an unknown code is answered with kResultError.
namespace vdisplay {

constexpr uint32_t kDescribe = 0x7D0001;

constexpr uint32_t kRequestHeaderBytes = 12;
constexpr uint32_t kReplyHeaderBytes = 8;
constexpr int32_t kMaxInput = 64;
constexpr int32_t kMaxOutput = 1 << 22;
constexpr int32_t kResultError = -1;

// kDescribe's output: x, y, width, height (i32 each), then the description, NUL-padded. The
// description begins with "Vantela" and ends with the stand-in's X display name (":N").
constexpr uint32_t kDescriptionBytes = 64;
constexpr uint32_t kDescribeBytes = 16 + kDescriptionBytes;
constexpr uint32_t kMapReplyBytes = 16;

inline void put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16), p[3] = uint8_t(v >> 24);
}
inline uint32_t get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void put64(uint8_t* p, uint64_t v) {
  put32(p, uint32_t(v));
  put32(p + 4, uint32_t(v >> 32));
}
inline uint64_t get64(const uint8_t* p) { return uint64_t(get32(p)) | uint64_t(get32(p + 4)) << 32; }

// The X display number in a name such as ":3" or ":3.0", or in a description whose last word
// is one; -1 when there is none.
inline int32_t displayNumber(const char* text) {
  const char* colon = nullptr;
  for (const char* p = text; *p; ++p)
    if (*p == ':') colon = p;
  if (!colon || colon[1] < '0' || colon[1] > '9') return -1;
  int64_t n = 0;
  const char* p = colon + 1;
  for (; *p >= '0' && *p <= '9'; ++p) {
    n = n * 10 + (*p - '0');
    if (n > 0x7FFFFFFF) return -1;
  }
  if (*p != '\0' && *p != '.') return -1;
  return int32_t(n);
}

}  // namespace vdisplay

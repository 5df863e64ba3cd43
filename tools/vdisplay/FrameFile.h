#pragma once

#include <cstdint>
#include <string>

// Xvfb's frame-buffer file (-fbdir): an XWD header, a colour map, then the pixels.
struct FrameFile {
  int fd = -1;               // open read-only, close-on-exec; the caller closes it
  uint64_t pixelOffset = 0;  // where the pixels start in the file
};

// Opens the file and checks that its pixels are what the program reads: width × height pixels
// of 32 bits, least-significant byte first, rows of exactly width × 4 bytes. Empty on success,
// else one line saying what is wrong.
std::string openFrameFile(const std::string& path, int32_t width, int32_t height, FrameFile& out);

#pragma once

#include <cstdint>

struct VDisplayOptions {
  int32_t width = 640;
  int32_t height = 480;
  int32_t x = 0;          // where the display lies on the desktop, as its adapter reports it
  int32_t y = 0;
  int32_t display = -1;   // X display number; -1: the first free one
};

// Parses the command line. Returns -1 to go on, else the exit status (0 after --help, 2 after
// a bad argument, with the message printed).
int parseVDisplayOptions(int argc, char** argv, VDisplayOptions& out);

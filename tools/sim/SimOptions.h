#pragma once

#include <cstdint>
#include <string>

struct SimOptions {
  int32_t port = 0;           // COM number to link in the ports folder, or 0
  std::string link;           // or a path to link the terminal at
  int64_t speed = 500000;     // bit/s; 0 reads as fast as bytes come
  std::string png;            // panel picture, written at exit and on SIGUSR1
  std::string wire;           // every byte received, in order
  std::string log;            // one line per decoded record: arrival time, address, bright pixels
  bool window = false;
  double seconds = 0;         // 0: until a signal ends it
  double away = 1.0;          // how long an unplugged device stays away
};

// Parses the command line. Returns -1 to go on, else the exit status (0 after --help, 2 after
// a bad argument, with the message printed).
int parseSimOptions(int argc, char** argv, SimOptions& out);

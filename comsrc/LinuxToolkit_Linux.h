#pragma once

// What the Linux adapters share for waiting: a monotonic millisecond clock and eventfd wakes.

#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>

inline int64_t monotonicMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}

// A non-blocking eventfd that wakes a poll until drained; -1 when none can be made.
inline int makeWakeFd() { return eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

inline void signalWake(int fd) {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(fd, &one, sizeof one);
}

inline void drainWake(int fd) {
  uint64_t count;
  [[maybe_unused]] ssize_t n = read(fd, &count, sizeof count);
}

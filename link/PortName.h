#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int32_t kFirstPort = 1;
inline constexpr int32_t kLastPort = 63;

// "COM%d" for 1 to 9, "\\.\COM%d" from 10 on; out always ends in a zero byte.
void formatPortName(int32_t port, char* out, size_t size);

// The port number a name gives ("COM5", "\\.\COM12", letters in either case), or -1 when the
// name names no port from 1 to 63.
int32_t parsePortName(const char* name);

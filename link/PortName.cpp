#include "link/PortName.h"

#include <cstdio>
#include <cstring>

void formatPortName(int32_t port, char* out, size_t size) {
  if (size == 0) return;
  std::snprintf(out, size, port < 10 ? "COM%d" : "\\\\.\\COM%d", static_cast<int>(port));
}

int32_t parsePortName(const char* name) {
  if (!name) return -1;
  if (std::strncmp(name, "\\\\.\\", 4) == 0) name += 4;
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  if (upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M') return -1;
  int32_t n = 0;
  const char* p = name + 3;
  if (*p < '1' || *p > '9') return -1;  // no sign, no leading zero
  for (; *p; ++p) {
    if (*p < '0' || *p > '9') return -1;
    n = n * 10 + (*p - '0');
    if (n > kLastPort) return -1;
  }
  return n;
}

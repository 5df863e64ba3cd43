#pragma once

#include <cstdint>

#include "multio/Stream_File.h"

namespace multio {

// A file descriptor as a stream. Owns the descriptor once attached: close() releases it, and
// destruction closes one that is still open.
class Stream_POSIXFile : public Stream_File<int, -1> {
 public:
  Stream_POSIXFile() = default;
  explicit Stream_POSIXFile(int fd) : Stream_File(fd) {}
  ~Stream_POSIXFile() override;

  int32_t close() override;
  int32_t read(void* buffer, int32_t count, int32_t flags) override;
  int32_t write(const void* buffer, int32_t count, int32_t flags) override;
  // origin 0, 1, 2: from the start, the current position, the end; the offset is an unsigned
  // 32-bit distance.
  int32_t seek(int32_t offset, int32_t origin) override;
  int32_t tell() override;
  int32_t flush() override;

  int descriptor() const { return file; }
};

}  // namespace multio

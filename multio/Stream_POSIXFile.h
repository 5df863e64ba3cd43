#pragma once

#include <cstdint>

#include "multio/Stream.h"

namespace multio {

// A file descriptor as a stream. Owns the descriptor once attached: close() releases it, and
// destruction closes one that is still open.
class Stream_POSIXFile : public Stream {
 public:
  Stream_POSIXFile() = default;
  explicit Stream_POSIXFile(int fd) : fd(fd) {}
  ~Stream_POSIXFile() override;
  Stream_POSIXFile(const Stream_POSIXFile&) = delete;
  Stream_POSIXFile& operator=(const Stream_POSIXFile&) = delete;

  int32_t query() override { return kErrUnsupported; }
  int32_t close() override;
  int32_t read(void* buffer, int32_t count, int32_t flags) override;
  int32_t write(const void* buffer, int32_t count, int32_t flags) override;
  // origin 0, 1, 2: from the start, the current position, the end; the offset is an unsigned
  // 32-bit distance.
  int32_t seek(int32_t offset, int32_t origin) override;
  int32_t tell() override;
  int32_t readable() override { return atEnd() ? 0 : 1; }
  bool atEnd() override { return fd < 0 || atEndFlag; }
  bool failed() override { return false; }
  int32_t flush() override;
  bool canSeek() override { return true; }

  int32_t attach(int newFd);
  int descriptor() const { return fd; }

 private:
  int fd = -1;
  bool atEndFlag = false;
};

}  // namespace multio

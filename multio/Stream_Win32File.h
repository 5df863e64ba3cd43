#pragma once

#include <windows.h>

#include <cstdint>

#include "multio/Stream_File.h"

namespace multio {

// A Win32 file handle as a stream. Owns the handle once attached: close() releases it, and
// destruction closes one that is still open.
class Stream_Win32File : public Stream_File<HANDLE, nullptr> {
 public:
  Stream_Win32File() = default;
  explicit Stream_Win32File(HANDLE handle) : Stream_File(handle) {}
  ~Stream_Win32File() override;

  int32_t close() override;
  int32_t read(void* buffer, int32_t count, int32_t flags) override;
  int32_t write(const void* buffer, int32_t count, int32_t flags) override;
  // origin 0, 1, 2: FILE_BEGIN, FILE_CURRENT, FILE_END; the offset is an unsigned 32-bit distance.
  int32_t seek(int32_t offset, int32_t origin) override;
  int32_t tell() override;
  int32_t flush() override;

  HANDLE getHandle() const { return file; }
};

}  // namespace multio

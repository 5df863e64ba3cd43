#pragma once

#include <cstdint>

#include "multio/Stream.h"

namespace multio {

// What the platforms' file streams share: a file (a POSIX descriptor, a Win32 handle) that the
// stream owns once attached, `kNone` while there is none, and the end of it once a read found it.
template <typename Handle, Handle kNone>
class Stream_File : public Stream {
 public:
  Stream_File(const Stream_File&) = delete;
  Stream_File& operator=(const Stream_File&) = delete;

  int32_t query() override { return kErrUnsupported; }
  int32_t readable() override { return atEnd() ? 0 : 1; }
  bool atEnd() override { return file == kNone || atEndFlag; }
  bool failed() override { return false; }
  bool canSeek() override { return true; }

  // kErrNotAvailable while another file is attached.
  int32_t attach(Handle newFile) {
    if (file != kNone) return kErrNotAvailable;
    file = newFile;
    atEndFlag = false;
    return 0;
  }

 protected:
  Stream_File() = default;
  explicit Stream_File(Handle attached) : file(attached) {}
  ~Stream_File() override = default;

  Handle file = kNone;
  bool atEndFlag = false;
};

}  // namespace multio

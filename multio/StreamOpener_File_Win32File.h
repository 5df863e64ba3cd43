#pragma once

#include "multio/StreamOpener.h"

namespace multio {

// Opens a path on disk as a Stream_Win32File; '/' in the path counts as '\'. Failures are
// minus GetLastError().
class StreamOpener_File_Win32File : public StreamOpener {
 public:
  int32_t open(const char* name, int32_t flags, std::unique_ptr<Stream>& out) override;
};

}  // namespace multio

#pragma once

#include "multio/StreamOpener.h"

namespace multio {

// Opens a path on disk as a Stream_POSIXFile. Failures are minus errno.
class StreamOpener_File_POSIXFile : public StreamOpener {
 public:
  int32_t open(const char* name, int32_t flags, std::unique_ptr<Stream>& out) override;
};

}  // namespace multio

#pragma once

#include <cstdint>
#include <memory>

#include "multio/Stream.h"

namespace multio {

// Open flags (a bit set). The settings code reads with kOpenRead and writes with
// kOpenWrite | kOpenTruncate | kOpenCreate.
enum OpenFlags : int32_t {
  kOpenRead = 0x001,  // read access, and others may read meanwhile
  kOpenWrite = 0x002,
  kOpenExecute = 0x004,
  kOpenTruncate = 0x200,
  kOpenCreate = 0x400,
  kOpenCreateNew = 0x800,  // fails when the file exists
};

// Results of open besides 0 and minus the system's error number.
enum OpenError : int32_t {
  kOpenErrNoStream = -2,       // the stream object could not be made
  kOpenErrPathCopy = -1024,    // the path could not be copied
};

// Opens a named stream. On success `out` holds the stream, which the caller closes;
// on every failure `out` is empty.
class StreamOpener {
 public:
  virtual ~StreamOpener() = default;
  virtual int32_t open(const char* name, int32_t flags, std::unique_ptr<Stream>& out) = 0;
};

// The platform's file opener (StreamOpener_File_Win32File or StreamOpener_File_POSIXFile).
std::unique_ptr<StreamOpener> makeFileStreamOpener();

}  // namespace multio

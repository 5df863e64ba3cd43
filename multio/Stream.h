#pragma once

#include <cstdint>

namespace multio {

// Result codes shared by every stream.
enum StreamError : int32_t {
  kErrGeneric = -1,
  kErrNotAvailable = -13,
  kErrNoHandle = -15,
  kErrUnsupported = -18,
  kErrPassOn = -19,
  kErrNotProvided = -125,
  kErrSystem = -128,
};

// A byte stream: counts of 0 or more are success, negative values are the codes above.
// The base class is a bottomless sink and source that touches no memory.
class Stream {
 public:
  virtual ~Stream() = default;

  virtual int32_t query() { return kErrNotAvailable; }
  virtual int32_t close() { return kErrNotProvided; }
  virtual int32_t read(void* buffer, int32_t count, int32_t flags) {
    bytesRead = addCount(bytesRead, count);
    return count;
  }
  virtual int32_t write(const void* buffer, int32_t count, int32_t flags) {
    bytesWritten = addCount(bytesWritten, count);
    return count;
  }
  virtual int32_t seek(int32_t offset, int32_t origin) { return kErrNotProvided; }
  virtual int32_t tell() { return kErrNotProvided; }
  virtual int32_t readable() { return INT32_MAX; }
  virtual bool atEnd() { return false; }
  virtual bool failed() { return false; }
  virtual int32_t flush() { return 0; }
  virtual int32_t control(int32_t argument) { return kErrNotProvided; }
  virtual bool canRead() { return true; }
  virtual bool canWrite() { return true; }
  virtual bool canSeek() { return false; }
  virtual bool canClose() { return true; }
  virtual bool canFlush() { return true; }
  virtual bool isInteractive() { return false; }
  virtual int32_t getBytesRead() { return bytesRead; }
  virtual int32_t getBytesWritten() { return bytesWritten; }

 protected:
  // The running counters wrap like the 32-bit counters they are, never overflow.
  static int32_t addCount(int32_t total, int32_t count) {
    return static_cast<int32_t>(static_cast<uint32_t>(total) + static_cast<uint32_t>(count));
  }

  int32_t bytesRead = 0;
  int32_t bytesWritten = 0;
};

}  // namespace multio

#include "multio/Stream_POSIXFile.h"

#include <cerrno>
#include <unistd.h>

namespace multio {

Stream_POSIXFile::~Stream_POSIXFile() { close(); }

int32_t Stream_POSIXFile::close() {
  // Forgetting the descriptor keeps a second close from hitting a number reused elsewhere.
  if (file >= 0) ::close(file);
  file = -1;
  return 0;
}

int32_t Stream_POSIXFile::read(void* buffer, int32_t count, int32_t flags) {
  if (flags != 0) return kErrUnsupported;
  auto* out = static_cast<unsigned char*>(buffer);
  int32_t total = 0;
  while (total < count) {
    const ssize_t got = ::read(file, out + total, static_cast<size_t>(count - total));
    if (got < 0 && errno == EINTR) continue;
    if (got == 0) {
      atEndFlag = true;
      break;
    }
    if (got < 0) {
      if (total == 0) return kErrGeneric;
      break;  // what arrived before the failure is delivered; the next read reports it
    }
    total += static_cast<int32_t>(got);
  }
  bytesRead = addCount(bytesRead, total);
  return total;
}

int32_t Stream_POSIXFile::write(const void* buffer, int32_t count, int32_t flags) {
  if (flags != 0) return kErrUnsupported;
  if (count < 0) return kErrGeneric;
  ssize_t put;
  do {
    put = ::write(file, buffer, static_cast<size_t>(count));
  } while (put < 0 && errno == EINTR);
  if (put < 0) return kErrGeneric;
  bytesWritten = addCount(bytesWritten, static_cast<int32_t>(put));
  return static_cast<int32_t>(put);
}

int32_t Stream_POSIXFile::seek(int32_t offset, int32_t origin) {
  if (file < 0) return kErrNoHandle;
  int whence;
  switch (origin) {
    case 0: whence = SEEK_SET; break;
    case 1: whence = SEEK_CUR; break;
    case 2: whence = SEEK_END; break;
    default: return kErrUnsupported;
  }
  if (::lseek(file, static_cast<off_t>(static_cast<uint32_t>(offset)), whence) < 0) return kErrGeneric;
  atEndFlag = false;
  return 0;
}

int32_t Stream_POSIXFile::tell() {
  if (file < 0) return kErrNoHandle;
  const off_t position = ::lseek(file, 0, SEEK_CUR);
  if (position < 0) return kErrGeneric;
  atEndFlag = false;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(position)));
}

int32_t Stream_POSIXFile::flush() {
  if (file < 0) return kErrNoHandle;
  return ::fsync(file) == 0 ? 0 : kErrSystem;
}

}  // namespace multio

#include "multio/StreamOpener_File_POSIXFile.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "multio/Stream_POSIXFile.h"

namespace multio {

namespace {

int openFlagsFor(int32_t flags) {
  int mode;
  if ((flags & kOpenRead) && (flags & kOpenWrite))
    mode = O_RDWR;
  else if (flags & kOpenWrite)
    mode = O_WRONLY;
  else
    mode = O_RDONLY;
  if (flags & kOpenCreateNew)
    mode |= O_CREAT | O_EXCL;
  else if (flags & kOpenCreate)
    mode |= O_CREAT | ((flags & kOpenTruncate) ? O_TRUNC : 0);
  else if (flags & kOpenTruncate)
    mode |= O_TRUNC;
  // No blocking on a FIFO, no terminal becoming the controlling one, nothing leaking into children.
  return mode | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
}

}  // namespace

int32_t StreamOpener_File_POSIXFile::open(const char* name, int32_t flags, std::unique_ptr<Stream>& out) {
  out.reset();
  const int fd = ::open(name != nullptr ? name : "", openFlagsFor(flags), 0666);
  if (fd < 0) return -errno;
  // A folder is not a file, as on Windows where opening one fails.
  struct stat info {};
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
    ::close(fd);
    return -error;
  }
  const int status = fcntl(fd, F_GETFL);
  if (status >= 0) fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  auto* stream = new (std::nothrow) Stream_POSIXFile(fd);
  if (stream == nullptr) {
    ::close(fd);
    return kOpenErrNoStream;
  }
  out.reset(stream);
  return 0;
}

std::unique_ptr<StreamOpener> makeFileStreamOpener() {
  return std::unique_ptr<StreamOpener>(new (std::nothrow) StreamOpener_File_POSIXFile());
}

}  // namespace multio

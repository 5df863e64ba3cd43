#include "comsrc/PrefFileOpener_POSIX.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "multio/StreamOpener_File_POSIXFile.h"

namespace comsrc {

int32_t PrefFileOpener_POSIX::open(const char* name, int32_t flags, std::unique_ptr<multio::Stream>& out) {
  out.reset();
  std::unique_ptr<char[]> path = join(getBase(), name);
  if (!path) return kErrNoBase;
  return multio::StreamOpener_File_POSIXFile().open(path.get(), flags, out);
}

int32_t PrefFileOpener_POSIX::locateBase() {
  // A relative XDG_CONFIG_HOME is not valid and is ignored, as the convention asks.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return setBase(config, 0) == 0 ? 0 : kErrNoMemory;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return kErrNoBase;
  if (setBase(home, 0) != 0) return kErrNoMemory;
  if (enterFolder(".config") != 0) return kErrFallbackFolder;
  return 0;
}

int32_t PrefFileOpener_POSIX::enterFolder(const char* name) {
  std::unique_ptr<char[]> path = join(getBase(), name);
  if (!path) return kErrNoBase;
  struct stat info {};
  int32_t result;
  if (::stat(path.get(), &info) != 0)
    result = ::mkdir(path.get(), 0700) == 0 ? 0 : kErrCreateFolder;
  else
    result = S_ISDIR(info.st_mode) ? 0 : kErrNotFolder;
  if (result == 0 && setBase(path.get(), 0) != 0) result = kErrNoMemory;
  return result;
}

std::unique_ptr<char[]> PrefFileOpener_POSIX::join(const char* directory, const char* name) {
  return joinWith('/', directory, name);
}

bool PrefFileOpener_POSIX::baseIsFolder() const {
  struct stat info {};
  const char* base = getBase();
  return ::stat(base && *base ? base : "/", &info) == 0 && S_ISDIR(info.st_mode);
}

int32_t PrefFileOpener_POSIX::replaceFile(const char* from, const char* to) {
  std::unique_ptr<char[]> fromPath = join(getBase(), from);
  std::unique_ptr<char[]> toPath = join(getBase(), to);
  if (!fromPath || !toPath) return kErrNoBase;
  if (std::rename(fromPath.get(), toPath.get()) != 0) return -errno;
  // The new name lasts through a power cut only once the folder itself reaches the disk.
  const int folder = ::open(getBase(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return 0;
}

int32_t PrefFileOpener_POSIX::removeFile(const char* name) {
  std::unique_ptr<char[]> path = join(getBase(), name);
  if (!path) return kErrNoBase;
  return ::unlink(path.get()) == 0 ? 0 : -errno;
}

std::unique_ptr<PrefFileOpener> makePrefFileOpener() {
  return std::unique_ptr<PrefFileOpener>(new (std::nothrow) PrefFileOpener_POSIX());
}

}  // namespace comsrc

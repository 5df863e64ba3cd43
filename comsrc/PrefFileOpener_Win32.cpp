#include "comsrc/PrefFileOpener_Win32.h"

#include <windows.h>

#include <new>

#include "multio/StreamOpener_File_Win32File.h"

namespace comsrc {

namespace {

// The variable's value, read again with a larger buffer when MAX_PATH is too small;
// empty when it is missing or empty.
std::unique_ptr<char[]> environmentValue(const char* variable, DWORD& length) {
  DWORD size = MAX_PATH;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
    if (!buffer) break;
    length = GetEnvironmentVariableA(variable, buffer.get(), size);
    if (length == 0) break;
    if (length < size) return buffer;
    size = length + 1;  // the needed size, the value having changed size meanwhile at worst
  }
  length = 0;
  return nullptr;
}

std::unique_ptr<char[]> windowsDirectory(DWORD& length) {
  DWORD size = MAX_PATH;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
    if (!buffer) break;
    length = GetWindowsDirectoryA(buffer.get(), size);
    if (length == 0) break;
    if (length < size) return buffer;
    size = length + 1;
  }
  length = 0;
  return nullptr;
}

}  // namespace

int32_t PrefFileOpener_Win32::open(const char* name, int32_t flags, std::unique_ptr<multio::Stream>& out) {
  out.reset();
  std::unique_ptr<char[]> path = join(getBase(), name);
  if (!path) return kErrNoBase;
  return multio::StreamOpener_File_Win32File().open(path.get(), flags, out);
}

int32_t PrefFileOpener_Win32::locateBase() {
  DWORD length = 0;
  std::unique_ptr<char[]> base = environmentValue("APPDATA", length);
  const bool fromWindowsDirectory = !base;
  if (fromWindowsDirectory) {
    base = windowsDirectory(length);
    if (!base) return kErrNoBase;
  }
  if (setBase(base.get(), static_cast<int32_t>(length)) != 0) return kErrNoMemory;
  if (fromWindowsDirectory && enterFolder("Application Data") != 0) return kErrFallbackFolder;
  return 0;
}

int32_t PrefFileOpener_Win32::enterFolder(const char* name) {
  std::unique_ptr<char[]> path = join(getBase(), name);
  if (!path) return kErrNoBase;
  const DWORD attributes = GetFileAttributesA(path.get());
  int32_t result;
  if (attributes == INVALID_FILE_ATTRIBUTES)
    result = CreateDirectoryA(path.get(), nullptr) ? 0 : kErrCreateFolder;
  else
    result = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : kErrNotFolder;
  if (result == 0 && setBase(path.get(), 0) != 0) result = kErrNoMemory;
  return result;
}

bool PrefFileOpener_Win32::baseIsFolder() const {
  const char* base = getBase();
  const DWORD attributes = GetFileAttributesA(base && *base ? base : "\\");
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::unique_ptr<char[]> PrefFileOpener_Win32::join(const char* directory, const char* name) {
  return joinWith('\\', directory, name);
}

int32_t PrefFileOpener_Win32::replaceFile(const char* from, const char* to) {
  std::unique_ptr<char[]> fromPath = join(getBase(), from);
  std::unique_ptr<char[]> toPath = join(getBase(), to);
  if (!fromPath || !toPath) return kErrNoBase;
  if (!MoveFileExA(fromPath.get(), toPath.get(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return -static_cast<int32_t>(GetLastError());
  return 0;
}

int32_t PrefFileOpener_Win32::removeFile(const char* name) {
  std::unique_ptr<char[]> path = join(getBase(), name);
  if (!path) return kErrNoBase;
  return DeleteFileA(path.get()) ? 0 : -static_cast<int32_t>(GetLastError());
}

std::unique_ptr<PrefFileOpener> makePrefFileOpener() {
  return std::unique_ptr<PrefFileOpener>(new (std::nothrow) PrefFileOpener_Win32());
}

}  // namespace comsrc

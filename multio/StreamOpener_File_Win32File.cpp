#include "multio/StreamOpener_File_Win32File.h"

#include <cstring>
#include <new>

#include "multio/Stream_Win32File.h"

namespace multio {

int32_t StreamOpener_File_Win32File::open(const char* name, int32_t flags, std::unique_ptr<Stream>& out) {
  out.reset();
  if (name == nullptr) name = "";
  const size_t length = std::strlen(name);
  std::unique_ptr<char[]> path(new (std::nothrow) char[length + 1]);
  if (!path) return kOpenErrPathCopy;
  for (size_t i = 0; i <= length; ++i) path[i] = name[i] == '/' ? '\\' : name[i];

  DWORD access = 0;
  if (flags & kOpenRead) access |= GENERIC_READ;
  if (flags & kOpenWrite) access |= GENERIC_WRITE;
  if (flags & kOpenExecute) access |= GENERIC_EXECUTE;
  const DWORD share = (flags & kOpenRead) ? FILE_SHARE_READ : 0;
  DWORD disposition;
  if (flags & kOpenCreateNew)
    disposition = CREATE_NEW;
  else if (flags & kOpenCreate)
    disposition = (flags & kOpenTruncate) ? CREATE_ALWAYS : OPEN_ALWAYS;
  else
    disposition = (flags & kOpenTruncate) ? TRUNCATE_EXISTING : OPEN_EXISTING;

  HANDLE handle = CreateFileA(path.get(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  path.reset();
  if (handle == INVALID_HANDLE_VALUE) return -static_cast<int32_t>(GetLastError());
  auto* stream = new (std::nothrow) Stream_Win32File(handle);
  if (stream == nullptr) {
    CloseHandle(handle);
    return kOpenErrNoStream;
  }
  out.reset(stream);
  return 0;
}

std::unique_ptr<StreamOpener> makeFileStreamOpener() {
  return std::unique_ptr<StreamOpener>(new (std::nothrow) StreamOpener_File_Win32File());
}

}  // namespace multio

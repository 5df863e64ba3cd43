#include "multio/Stream_Win32File.h"

namespace multio {

Stream_Win32File::~Stream_Win32File() { close(); }

int32_t Stream_Win32File::close() {
  // Forgetting the handle keeps a second close from hitting a value reused elsewhere.
  if (file != nullptr) CloseHandle(file);
  file = nullptr;
  return 0;
}

int32_t Stream_Win32File::read(void* buffer, int32_t count, int32_t flags) {
  if (flags != 0) return kErrUnsupported;
  auto* out = static_cast<unsigned char*>(buffer);
  int32_t total = 0;
  while (total < count) {
    DWORD got = 0;
    if (!ReadFile(file, out + total, static_cast<DWORD>(count - total), &got, nullptr)) {
      if (total == 0) return kErrGeneric;
      break;  // what arrived before the failure is delivered; the next read reports it
    }
    if (got == 0) {
      atEndFlag = true;
      break;
    }
    total += static_cast<int32_t>(got);
  }
  bytesRead = addCount(bytesRead, total);
  return total;
}

int32_t Stream_Win32File::write(const void* buffer, int32_t count, int32_t flags) {
  if (flags != 0) return kErrUnsupported;
  if (count < 0) return kErrGeneric;
  DWORD put = 0;
  if (!WriteFile(file, buffer, static_cast<DWORD>(count), &put, nullptr)) return kErrGeneric;
  bytesWritten = addCount(bytesWritten, static_cast<int32_t>(put));
  return static_cast<int32_t>(put);
}

int32_t Stream_Win32File::seek(int32_t offset, int32_t origin) {
  if (file == nullptr) return kErrNoHandle;
  DWORD method;
  switch (origin) {
    case 0: method = FILE_BEGIN; break;
    case 1: method = FILE_CURRENT; break;
    case 2: method = FILE_END; break;
    default: return kErrUnsupported;
  }
  LONG high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(file, offset, &high, method);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return kErrGeneric;
  atEndFlag = false;
  return 0;
}

int32_t Stream_Win32File::tell() {
  if (file == nullptr) return kErrNoHandle;
  LONG high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return kErrGeneric;
  atEndFlag = false;
  return static_cast<int32_t>(low);
}

int32_t Stream_Win32File::flush() {
  if (file == nullptr) return kErrNoHandle;
  return FlushFileBuffers(file) ? 0 : kErrSystem;
}

}  // namespace multio

#include <windows.h>

#include <atomic>

#include "link/SerialPort.h"

// The port is opened for synchronous I/O. Shutdown interrupts a write that the device holds up
// with CancelSynchronousIo on the writing thread, repeated until that thread has left the call.
struct SerialPort::Impl {
  std::atomic<HANDLE> handle{INVALID_HANDLE_VALUE};
  std::atomic<bool> interrupted{false};
  std::atomic<HANDLE> busyThread{nullptr};  // thread inside ReadFile or WriteFile, if any
  HANDLE ownThreadHandle = nullptr;         // the last caller's handle, kept open for the cancel
  DWORD ownThreadId = 0;

  void closePort() {
    const HANDLE h = handle.exchange(INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }

  // Marks the calling thread as busy in a call that interrupt() may cancel.
  bool enter() {
    const DWORD id = GetCurrentThreadId();
    if (!ownThreadHandle || ownThreadId != id) {
      if (ownThreadHandle) CloseHandle(ownThreadHandle);
      ownThreadHandle = OpenThread(THREAD_TERMINATE, FALSE, id);  // the right CancelSynchronousIo needs
      ownThreadId = id;
    }
    busyThread = ownThreadHandle;
    if (interrupted) {
      busyThread = nullptr;
      return false;
    }
    return true;
  }
  void leave() { busyThread = nullptr; }
};

namespace {

// Errors with which USB serial drivers (and Wine, when the terminal behind a port hangs up)
// report a device that is no longer there.
bool deviceGone(DWORD error) {
  return error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_BAD_COMMAND || error == ERROR_GEN_FAILURE ||
         error == ERROR_NOT_READY;
}

}  // namespace

SerialPort::SerialPort(const char* portName, int32_t speed, int32_t cts) : impl(std::make_unique<Impl>()) {
  const HANDLE h = CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(h, &dcb);
  dcb.BaudRate = static_cast<DWORD>(speed);
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fParity = 0;
  dcb.fOutxCtsFlow = cts ? 1 : 0;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  SetCommState(h, &dcb);
  impl->handle = h;
}

SerialPort::~SerialPort() {
  impl->closePort();
  if (impl->ownThreadHandle) CloseHandle(impl->ownThreadHandle);
}

bool SerialPort::failed() { return impl->handle.load() == INVALID_HANDLE_VALUE; }

void SerialPort::interrupt() {
  impl->interrupted = true;
  const HANDLE busy = impl->busyThread.load();
  if (busy) CancelSynchronousIo(busy);
}

int32_t SerialPort::write(const void* buffer, int32_t count, int32_t flags) {
  const HANDLE h = impl->handle.load();
  if (h == INVALID_HANDLE_VALUE || count < 0) return -1;
  if (!impl->enter()) return -1;
  DWORD written = 0;
  const BOOL ok = WriteFile(h, buffer, static_cast<DWORD>(count), &written, nullptr);
  const DWORD error = ok ? 0 : GetLastError();
  impl->leave();
  if (ok) return static_cast<int32_t>(written);
  if (deviceGone(error)) impl->closePort();
  if (error == ERROR_OPERATION_ABORTED && written > 0) return static_cast<int32_t>(written);
  return -1;
}

int32_t SerialPort::read(void* buffer, int32_t count, int32_t flags) {
  const HANDLE h = impl->handle.load();
  if (h == INVALID_HANDLE_VALUE || count < 0) return -1;
  if (!impl->enter()) return -1;
  DWORD got = 0;
  const BOOL ok = ReadFile(h, buffer, static_cast<DWORD>(count), &got, nullptr);
  impl->leave();
  return ok ? static_cast<int32_t>(got) : -1;
}

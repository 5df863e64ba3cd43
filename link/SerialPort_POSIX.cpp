#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "link/PortName.h"
#include "link/PortPath_POSIX.h"
#include "link/SerialPort.h"

// termios2 carries the speed as a number (BOTHER), so any bit rate the driver can make is
// accepted, not only those with a Bxxx constant.
struct SerialPort::Impl {
  std::atomic<int> fd{-1};
  int wake = -1;  // eventfd: readable once interrupt() was called
  std::atomic<bool> interrupted{false};

  void closePort() {
    const int f = fd.exchange(-1);
    if (f < 0) return;
    // The exclusive mark outlives this descriptor while anyone else holds the terminal open.
    ioctl(f, TIOCNXCL);
    ::close(f);
  }
};

namespace {

bool configure(int fd, int32_t speed, int32_t cts) {
  struct termios2 tio;
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;  // not a terminal
  tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
  tio.c_oflag &= ~OPOST;
  tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  if (cts) tio.c_cflag |= CRTSCTS;
  if (speed > 0) {
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = tio.c_ospeed = static_cast<speed_t>(speed);
  }
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  ioctl(fd, TCSETS2, &tio);  // a driver that refuses a setting keeps its own, as on Windows
  int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd, TIOCMBIC, &lines);  // pseudo-terminals have no modem lines
  return true;
}

bool deviceGone(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

}  // namespace

SerialPort::SerialPort(const char* portName, int32_t speed, int32_t cts) : impl(std::make_unique<Impl>()) {
  const std::string path = portDevicePath(parsePortName(portName));
  if (path.empty()) return;
  impl->wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (impl->wake < 0) return;
  // Non-blocking, so that neither a missing carrier nor a stalled device can hold a call that
  // shutdown needs to interrupt.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  // No sharing: a port held by another stream does not open again. TIOCEXCL keeps other
  // programs out (root passes it), the lock keeps out everyone who asks for it.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0 || !configure(fd, speed, cts)) {
    ::close(fd);
    return;
  }
  impl->fd = fd;
}

SerialPort::~SerialPort() {
  impl->closePort();
  if (impl->wake >= 0) ::close(impl->wake);
}

bool SerialPort::failed() { return impl->fd.load() < 0; }

void SerialPort::interrupt() {
  impl->interrupted = true;
  if (impl->wake >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(impl->wake, &one, sizeof one);
  }
}

namespace {

// Waits until fd is ready for events or the wake-up event fires. 1 when ready, 0 when woken,
// -1 when the device hung up or went away.
int waitReady(int fd, int wake, short events) {
  for (;;) {
    struct pollfd p[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
    const int n = poll(p, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (p[1].revents) return 0;
    if (p[0].revents & events) return 1;
    if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return -1;
  }
}

}  // namespace

int32_t SerialPort::write(const void* buffer, int32_t count, int32_t flags) {
  const int fd = impl->fd.load();
  if (fd < 0 || count < 0) return -1;
  const char* data = static_cast<const char*>(buffer);
  int32_t done = 0;
  while (done < count) {
    if (impl->interrupted) return done > 0 ? done : -1;
    const ssize_t n = ::write(fd, data + done, static_cast<size_t>(count - done));
    if (n > 0) {
      done += static_cast<int32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      if (deviceGone(errno)) impl->closePort();
      return -1;
    }
    const int ready = waitReady(fd, impl->wake, POLLOUT);
    if (ready == 0) return done > 0 ? done : -1;
    if (ready < 0) {
      impl->closePort();  // hung up: the device is gone
      return -1;
    }
  }
  return done;
}

int32_t SerialPort::read(void* buffer, int32_t count, int32_t flags) {
  const int fd = impl->fd.load();
  if (fd < 0 || count < 0) return -1;
  char* data = static_cast<char*>(buffer);
  int32_t done = 0;
  while (done < count) {
    if (impl->interrupted) return done > 0 ? done : -1;
    const ssize_t n = ::read(fd, data + done, static_cast<size_t>(count - done));
    if (n > 0) {
      done += static_cast<int32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno != EAGAIN) return done > 0 ? done : -1;
    if (waitReady(fd, impl->wake, POLLIN) != 1) return done > 0 ? done : -1;
  }
  return done;
}

#include "source/VDisplaySocket_POSIX.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "comsrc/LinuxToolkit_Linux.h"
#include "source/VDisplayProtocol.h"

namespace vdisplay {

namespace {

bool privateFolder(const std::string& path, bool create) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    if (!create || errno != ENOENT || mkdir(path.c_str(), 0700) != 0) return false;
    if (lstat(path.c_str(), &st) != 0) return false;
  }
  return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}


// Waits for `events` until the deadline; false on timeout or error.
bool waitFor(int sock, short events, int64_t deadline) {
  for (;;) {
    const int64_t left = deadline - monotonicMs();
    if (left <= 0) return false;
    pollfd p{sock, events, 0};
    const int n = poll(&p, 1, int(left));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
}

bool sendAll(int sock, const uint8_t* data, size_t size, int64_t deadline) {
  while (size > 0) {
    const ssize_t n = send(sock, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      data += n, size -= size_t(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      if (!waitFor(sock, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

// Reads exactly `size` bytes (into `data`, or dropped when it is null); descriptors that come
// along go to *fd (the first one, when fd is given) or are closed.
bool receiveAll(int sock, uint8_t* data, size_t size, int* fd, int64_t deadline) {
  uint8_t scratch[256];
  while (size > 0) {
    iovec iov{data ? data : scratch, data ? size : std::min(size, sizeof scratch)};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(sock, &msg, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (n > 0) {
      for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
          int received;
          std::memcpy(&received, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
          if (fd && *fd < 0) *fd = received;
          else close(received);
        }
      }
      if (data) data += n;
      size -= size_t(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      if (!waitFor(sock, POLLIN, deadline)) return false;
    } else {
      return false;  // hung up
    }
  }
  return true;
}

}  // namespace

std::string socketFolder(bool create) {
  std::string folder;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') {
    folder = std::string(runtime) + "/vantela";
  } else {
    folder = "/tmp/vantela-" + std::to_string(getuid());
  }
  return privateFolder(folder, create) ? folder : std::string();
}

std::string socketPath(const std::string& folder, int32_t number) {
  return folder + "/vdisplay-" + std::to_string(number) + ".sock";
}

std::vector<int32_t> socketNumbers(const std::string& folder) {
  std::vector<int32_t> numbers;
  DIR* dir = folder.empty() ? nullptr : opendir(folder.c_str());
  if (!dir) return numbers;
  while (dirent* e = readdir(dir)) {
    const char* name = e->d_name;
    if (std::strncmp(name, "vdisplay-", 9) != 0) continue;
    char* end = nullptr;
    const long n = std::strtol(name + 9, &end, 10);
    if (end == name + 9 || n < 0 || n > 0x7FFFFFFF || std::strcmp(end, ".sock") != 0) continue;
    numbers.push_back(int32_t(n));
  }
  closedir(dir);
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

int connectSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (sock < 0) return -1;
  // A Unix socket connects at once or not at all (a full backlog counts as not listening).
  if (connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(sock);
    return -1;
  }
  return sock;
}

bool transact(int sock, uint32_t code, int32_t inLength, const void* in, int32_t outLength, void* out,
              int32_t& result, uint32_t& outBytes, int* fd, int timeoutMs) {
  if (fd) *fd = -1;
  result = kResultError;
  outBytes = 0;
  if (sock < 0 || inLength < 0 || inLength > kMaxInput || outLength < 0) return false;
  if (!out) outLength = 0;
  outLength = std::min(outLength, kMaxOutput);
  uint8_t request[kRequestHeaderBytes + kMaxInput] = {};
  put32(request, code);
  put32(request + 4, uint32_t(inLength));
  put32(request + 8, uint32_t(outLength));
  if (in && inLength > 0) std::memcpy(request + kRequestHeaderBytes, in, size_t(inLength));
  const int64_t deadline = monotonicMs() + timeoutMs;
  if (!sendAll(sock, request, kRequestHeaderBytes + size_t(inLength), deadline)) return false;

  uint8_t reply[kReplyHeaderBytes];
  bool ok = receiveAll(sock, reply, sizeof reply, fd, deadline);
  if (ok) {
    outBytes = get32(reply + 4);
    ok = outBytes <= uint32_t(outLength) && receiveAll(sock, static_cast<uint8_t*>(out), outBytes, fd, deadline);
  }
  if (!ok) {
    if (fd && *fd >= 0) close(*fd), *fd = -1;
    outBytes = 0;
    return false;
  }
  result = int32_t(get32(reply));
  return true;
}

}  // namespace vdisplay

#include "tools/vdisplay/VDisplayServer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "source/VDisplayProtocol.h"

using namespace vdisplay;

namespace {

const char kIdentity[] = "VTDRV vantela-vdisplay";
constexpr size_t kMaxBuffered = 1 << 16;

}  // namespace

VDisplayServer::~VDisplayServer() {
  for (auto& c : clients) ::close(c->sock);
  if (listener >= 0) {
    ::close(listener);
    unlink(socketPath.c_str());
  }
}

std::string VDisplayServer::listen(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return "the socket path is too long: " + path;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener < 0) return "cannot make a socket";
  // This stand-in owns the X display of that number, so a socket of the same name is stale.
  unlink(path.c_str());
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 16) != 0) {
    ::close(listener);
    listener = -1;
    return "cannot listen on " + path + ": " + std::strerror(errno);
  }
  chmod(path.c_str(), 0600);
  socketPath = path;
  return {};
}

void VDisplayServer::pollFds(std::vector<pollfd>& fds) const {
  fds.push_back(pollfd{listener, POLLIN, 0});
  for (const auto& c : clients) {
    short events = 0;
    // A client with a reply still to take is not read from: it cannot pile up requests.
    if (c->out.empty()) events |= POLLIN;
    else events |= POLLOUT;
    fds.push_back(pollfd{c->sock, events, 0});
  }
}

void VDisplayServer::handle(const pollfd* fds, size_t count) {
  if (count == 0) return;
  const size_t known = clients.size();
  std::vector<bool> drop(known, false);
  for (size_t i = 0; i < known && i + 1 < count; ++i) {
    Client& c = *clients[i];
    const short r = fds[i + 1].revents;
    if (r & (POLLERR | POLLNVAL)) drop[i] = true;
    else if ((r & POLLOUT) && !flush(c)) drop[i] = true;
    else if ((r & (POLLIN | POLLHUP)) && !readFrom(c)) drop[i] = true;
    if (!drop[i] && !serve(c)) drop[i] = true;
  }
  for (size_t i = known; i-- > 0;)
    if (drop[i]) {
      ::close(clients[i]->sock);
      clients.erase(clients.begin() + long(i));
    }
  if (fds[0].revents & POLLIN) accept();
}

void VDisplayServer::drawn(const comsrc::Rect& r) {
  for (auto& c : clients) c->records.add(r);
}

void VDisplayServer::accept() {
  for (;;) {
    const int sock = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (sock < 0) return;
    if (clients.size() >= kMaxClients) {
      ::close(sock);
      continue;
    }
    clients.push_back(std::make_unique<Client>(sock, who.width, who.height));
  }
}

bool VDisplayServer::readFrom(Client& c) {
  uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = recv(c.sock, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      c.in.insert(c.in.end(), buffer, buffer + n);
      if (c.in.size() > kMaxBuffered) return false;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return true;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return false;  // hung up, possibly in the middle of a request
    }
  }
}

// Answers the complete requests that have come, one reply at a time.
bool VDisplayServer::serve(Client& c) {
  size_t used = 0;
  while (c.out.empty() && c.in.size() - used >= kRequestHeaderBytes) {
    const uint8_t* p = c.in.data() + used;
    const uint32_t code = get32(p);
    const int32_t inLength = int32_t(get32(p + 4));
    const int32_t outLength = int32_t(get32(p + 8));
    if (inLength < 0 || inLength > kMaxInput || outLength < 0 || outLength > kMaxOutput) return false;
    if (c.in.size() - used < kRequestHeaderBytes + size_t(inLength)) break;
    answer(c, code, p + kRequestHeaderBytes, inLength, outLength);
    used += kRequestHeaderBytes + size_t(inLength);
    if (!flush(c)) return false;
  }
  c.in.erase(c.in.begin(), c.in.begin() + long(used));
  return true;
}

void VDisplayServer::answer(Client& c, uint32_t code, const uint8_t* in, int32_t inLength, int32_t outLength) {
  int32_t result = kResultError;
  uint32_t outBytes = 0;
  c.out.assign(kReplyHeaderBytes, 0);
  auto reserveOut = [&](uint32_t n) {
    c.out.resize(kReplyHeaderBytes + n);
    return c.out.data() + kReplyHeaderBytes;
  };
  switch (code) {
    case vtdrv::kEscIdentify: {
      outBytes = std::min<uint32_t>(uint32_t(outLength), sizeof kIdentity - 1);
      std::memcpy(reserveOut(outBytes), kIdentity, outBytes);
      result = int32_t(outBytes);
      break;
    }
    case vtdrv::kEscMapFrame:
      if (inLength == 8 && outLength >= int32_t(kMapReplyBytes) && who.frameFd >= 0) {
        uint8_t* o = reserveOut(outBytes = kMapReplyBytes);
        put64(o, who.pixelOffset);
        put32(o + 8, uint32_t(who.width));
        put32(o + 12, uint32_t(who.height));
        c.passFrame = true;
        result = 1;
      }
      break;
    case vtdrv::kEscUnmapFrame:  // the mapping lives in the client's process; nothing to release here
    case vtdrv::kEscKeepAlive:
      result = 1;
      break;
    case vtdrv::kEscStart:
      // A new source has nothing yet: its first records are the whole frame, so that a still
      // display is copied and shown too.
      c.records.clear();
      c.records.add(comsrc::Rect{0, 0, who.width, who.height});
      result = 1;
      break;
    case vtdrv::kEscChangesSize:
      if (outLength >= 4) {
        put32(reserveOut(outBytes = 4), c.records.listBytes());
        result = 0;
      }
      break;
    case vtdrv::kEscChangesFetch: {
      const uint32_t need = c.records.listBytes();
      if (need == 0) {
        // An empty list is one zero length word.
        if (outLength >= 4) put32(reserveOut(outBytes = 4), 0), result = 4;
        break;
      }
      const uint32_t room = std::min(uint32_t(outLength), need);
      outBytes = c.records.take(reserveOut(room), room);  // the whole frame when the list does not fit
      c.out.resize(kReplyHeaderBytes + outBytes);
      if (outBytes > 0) result = int32_t(outBytes);
      break;
    }
    case kDescribe:
      if (outLength >= int32_t(kDescribeBytes)) {
        uint8_t* o = reserveOut(outBytes = kDescribeBytes);
        std::memset(o, 0, kDescribeBytes);
        put32(o, uint32_t(who.x)), put32(o + 4, uint32_t(who.y));
        put32(o + 8, uint32_t(who.width)), put32(o + 12, uint32_t(who.height));
        std::memcpy(o + 16, who.description.data(), std::min<size_t>(who.description.size(), kDescriptionBytes - 1));
        result = 1;
      }
      break;
    default:
      break;
  }
  put32(c.out.data(), uint32_t(result));
  put32(c.out.data() + 4, outBytes);
  c.sent = 0;
}

bool VDisplayServer::flush(Client& c) {
  while (c.sent < c.out.size()) {
    iovec iov{c.out.data() + c.sent, c.out.size() - c.sent};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    if (c.passFrame) {
      msg.msg_control = control;
      msg.msg_controllen = sizeof control;
      cmsghdr* cm = CMSG_FIRSTHDR(&msg);
      cm->cmsg_level = SOL_SOCKET;
      cm->cmsg_type = SCM_RIGHTS;
      cm->cmsg_len = CMSG_LEN(sizeof(int));
      std::memcpy(CMSG_DATA(cm), &who.frameFd, sizeof(int));
    }
    const ssize_t n = sendmsg(c.sock, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      c.sent += size_t(n);
      c.passFrame = false;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return true;  // the rest when the client reads
    } else if (!(n < 0 && errno == EINTR)) {
      return false;
    }
  }
  c.out.clear();
  c.sent = 0;
  return true;
}

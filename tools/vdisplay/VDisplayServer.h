#pragma once

#include <poll.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "comsrc/Rect.h"
#include "tools/vdisplay/ChangeRecords.h"

// What the stand-in tells its clients about itself.
struct VDisplayIdentity {
  std::string description;  // begins with "Vantela", ends with the X display name
  int32_t x = 0, y = 0, width = 0, height = 0;
  int frameFd = -1;          // the frame-buffer file, passed on with every mapping
  uint64_t pixelOffset = 0;
};

// Serves the driver's escapes on a Unix socket to any number of clients at once, without
// blocking: each client has its own change records, so every program sees every change. A
// client that breaks the protocol is dropped; the others go on being served.
class VDisplayServer {
 public:
  static constexpr size_t kMaxClients = 32;

  explicit VDisplayServer(const VDisplayIdentity& identity) : who(identity) {}
  ~VDisplayServer();
  VDisplayServer(const VDisplayServer&) = delete;
  VDisplayServer& operator=(const VDisplayServer&) = delete;

  // Empty on success, else what went wrong. A socket left at `path` by a stand-in that is gone
  // is replaced.
  std::string listen(const std::string& path);
  // Appends the descriptors to wait for; `handle` takes the same entries back after poll.
  void pollFds(std::vector<pollfd>& fds) const;
  void handle(const pollfd* fds, size_t count);
  // Something was drawn: every client's records get it.
  void drawn(const comsrc::Rect& r);
  size_t clientCount() const { return clients.size(); }

 private:
  struct Client {
    explicit Client(int s, int32_t w, int32_t h) : sock(s), records(w, h) {}
    int sock;
    ChangeRecords records;
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
    size_t sent = 0;
    bool passFrame = false;  // the frame-buffer file goes with the reply's first bytes
  };

  void accept();
  bool readFrom(Client& c);
  bool serve(Client& c);
  bool flush(Client& c);
  void answer(Client& c, uint32_t code, const uint8_t* in, int32_t inLength, int32_t outLength);

  VDisplayIdentity who;
  int listener = -1;
  std::string socketPath;
  std::vector<std::unique_ptr<Client>> clients;
};

#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The stand-in display drivers' sockets, as both ends find and use them.
namespace vdisplay {

// $XDG_RUNTIME_DIR/vantela, else /tmp/vantela-<uid>. With `create` it is made (mode 0700) when
// missing. Empty when the folder cannot be used: not a folder of this user's, or open to others.
std::string socketFolder(bool create);
std::string socketPath(const std::string& folder, int32_t displayNumber);  // folder/vdisplay-N.sock
// The display numbers of the sockets in the folder, ascending.
std::vector<int32_t> socketNumbers(const std::string& folder);

// A connected, non-blocking, close-on-exec stream socket; -1 when nothing listens there.
int connectSocket(const std::string& path);

// One request and its reply within timeoutMs. `outBytes` receives how many output bytes came
// (never more than outLength). A descriptor that comes with the reply goes to *fd when fd is
// given (else -1 there) and is closed otherwise. false when the peer did not answer in time,
// hung up or answered out of protocol; the connection is of no further use then.
bool transact(int sock, uint32_t code, int32_t inLength, const void* in, int32_t outLength, void* out,
              int32_t& result, uint32_t& outBytes, int* fd, int timeoutMs);

}  // namespace vdisplay

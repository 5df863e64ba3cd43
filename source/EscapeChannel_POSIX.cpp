#include "source/EscapeChannel_POSIX.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "source/DisplayConnection.h"
#include "source/VDisplayProtocol.h"
#include "source/VDisplaySocket_POSIX.h"

using namespace vdisplay;

namespace {
constexpr uint32_t kMaxSide = 16384;
}  // namespace

EscapeChannel_POSIX::EscapeChannel_POSIX(DisplayConnection& d, int timeout) : display(d), timeoutMs(timeout) {}

EscapeChannel_POSIX::~EscapeChannel_POSIX() {
  disconnect();
  for (const Mapping& m : mappings) munmap(m.base, m.length);
}

void EscapeChannel_POSIX::disconnect() {
  if (sock >= 0) close(sock);
  sock = -1;
}

bool EscapeChannel_POSIX::connected() {
  ScreenContext* now = display.screenContext();
  if (!now) {
    disconnect();
    return false;
  }
  if (now != seen) disconnect();  // reopened: the stand-in may be a new one
  seen = now;
  if (sock >= 0) return true;
  const char* name = display.name();
  const int32_t number = name ? displayNumber(name) : -1;
  const std::string folder = socketFolder(false);
  if (number < 0 || folder.empty()) return false;
  sock = connectSocket(socketPath(folder, number));
  return sock >= 0;
}

int32_t EscapeChannel_POSIX::escape(uint32_t code, int32_t inLength, const void* in, int32_t outLength, void* out) {
  if (inLength < 0 || outLength < 0 || (outLength > 0 && !out)) return kResultError;
  if (code == vtdrv::kEscUnmapFrame) unmapFrame(inLength, in);
  if (!connected()) return kResultError;
  if (code == vtdrv::kEscMapFrame) return mapFrame(inLength, in, outLength, out);
  if (inLength > kMaxInput) return kResultError;
  int32_t result = kResultError;
  uint32_t outBytes = 0;
  if (!transact(sock, code, inLength, in, outLength, out, result, outBytes, nullptr, timeoutMs)) {
    disconnect();
    return kResultError;
  }
  return result;
}

int32_t EscapeChannel_POSIX::mapFrame(int32_t inLength, const void* in, int32_t outLength, void* out) {
  if (inLength != 8 || size_t(outLength) < sizeof(void*)) return kResultError;
  uint8_t reply[kMapReplyBytes];
  int32_t result = kResultError;
  uint32_t outBytes = 0;
  int fd = -1;
  if (!transact(sock, vtdrv::kEscMapFrame, inLength, in, int32_t(sizeof reply), reply, result, outBytes, &fd, timeoutMs)) {
    disconnect();
    return kResultError;
  }
  if (result < 1 || outBytes != sizeof reply || fd < 0) {
    if (fd >= 0) close(fd);
    return result < 1 ? result : kResultError;
  }
  // The sizes come from another process: the file must really hold them.
  const uint64_t offset = get64(reply);
  const uint32_t width = get32(reply + 8), height = get32(reply + 12);
  const uint64_t length = offset + uint64_t(width) * height * 4;
  // The source reads the frame at the size discovery gave the display; a stand-in of another
  // size under the same name (restarted meanwhile) would have it read past the mapping.
  const comsrc::Rect* expected = display.rect();
  const bool sizeAgrees = expected->isEmpty() || (uint32_t(expected->width()) == width && uint32_t(expected->height()) == height);
  struct stat st;
  void* base = MAP_FAILED;
  if (sizeAgrees && width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && offset < (uint64_t(1) << 32) &&
      fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) >= length)
    base = mmap(nullptr, size_t(length), PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (base == MAP_FAILED) return kResultError;
  const uint8_t* pixels = static_cast<const uint8_t*>(base) + offset;
  mappings.push_back(Mapping{base, size_t(length), pixels});
  std::memset(out, 0, size_t(outLength));
  std::memcpy(out, &pixels, sizeof pixels);
  return result;
}

// The input is the handle sent with the mapping, then the address of the pixels.
int32_t EscapeChannel_POSIX::unmapFrame(int32_t inLength, const void* in) {
  if (!in || inLength < vtdrv::kUnmapFrameInBytes) return kResultError;
  const uint8_t* pixels = nullptr;
  std::memcpy(&pixels, static_cast<const uint8_t*>(in) + 4, sizeof pixels);
  for (size_t i = 0; i < mappings.size(); ++i)
    if (mappings[i].pixels == pixels) {
      munmap(mappings[i].base, mappings[i].length);
      mappings.erase(mappings.begin() + long(i));
      return 1;
    }
  return kResultError;
}

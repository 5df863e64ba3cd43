#pragma once

#include <spa/utils/hook.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "comsrc/Rect.h"

struct pw_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct pw_buffer;
struct spa_buffer;
struct spa_pod;

// The newest frame of the screen cast, handed from the stream's thread to the window's under
// `lock`: 32-bit pixels, rows of width × 4 bytes, and what changed since the window last took it.
struct PortalFrames {
  std::mutex lock;
  std::vector<uint8_t> pixels;
  int32_t width = 0, height = 0;
  bool swapRedBlue = false;  // red, green, blue order instead of blue, green, red
  bool any = false;          // a frame came since the format was set
  bool fresh = false;        // one came since the window took the last
  bool damageKnown = false;  // and `damage` bounds what it changed
  comsrc::Rect damage;
  uint32_t count = 0;
  bool failed = false;
  std::string failure;

  // Records the first failure and writes `wake`.
  void fail(const std::string& why, int wake);
};

// A PipeWire video stream read from the screen cast's node in shared memory, in a 32-bit RGB
// format, with the stream's damage where it carries it. Runs on the thread that calls it.
class PortalStream {
 public:
  // A stream that stopped streaming after it streamed (paused, its node gone) and does not
  // stream again within this long has ended: the portal's side may end a cast without closing
  // the session.
  static constexpr int64_t kStallMs = 2000;

  // `wake` (an eventfd) is written whenever `frames` gets a frame or the stream fails.
  PortalStream(PortalFrames& frames, int wake);
  ~PortalStream();
  PortalStream(const PortalStream&) = delete;
  PortalStream& operator=(const PortalStream&) = delete;

  // Takes `fd` (the portal's PipeWire remote) over and asks for `node`.
  bool connect(int fd, uint32_t node, std::string& why);
  // Readable when the stream has something to handle.
  int loopFd() const;
  void iterate();
  // How long the loop may wait before the stream counts as ended for not streaming (-1: no
  // limit); past that, the stream fails.
  int stallWaitMs();

 private:
  static void onStateChanged(void* data, int old, int state, const char* error);
  static void onParamChanged(void* data, uint32_t id, const spa_pod* param);
  static void onProcess(void* data);
  static void onCoreError(void* data, uint32_t id, int seq, int res, const char* message);
  void take(const spa_buffer& buffer, const comsrc::Rect& damage, bool damageKnown);
  void fail(const std::string& why);

  PortalFrames& frames;
  int wake;
  pw_loop* loop = nullptr;
  pw_context* context = nullptr;
  pw_core* core = nullptr;
  pw_stream* stream = nullptr;
  spa_hook streamListener{};
  spa_hook coreListener{};
  bool entered = false;
  bool streamed = false;
  int64_t leftStreamingAt = 0;  // after it streamed; 0 while it streams
  bool skipped = false;         // a buffer was handed back unread since the last frame taken
  int32_t width = 0, height = 0;  // of the format agreed on; only this thread reads them
};

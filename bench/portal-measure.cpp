// portal-measure: the two ends of the desktop portal's stream for bench/portal-figures.sh.
//   portal-measure produce WIDTH HEIGHT BGRx|RGBx square|whole|still
//     A PipeWire video source driving itself, printing its node id on the first line. It sends a
//     frame every 33 ms with damage: a 64 × 64 square moved (square), the whole frame changed
//     (whole), or, for still, frames until SIGUSR1 and none after (a still screen).
//   portal-measure read WIDTH HEIGHT FRAMES
//     The program's portal capture (the portal service on $DBUS_SESSION_BUS_ADDRESS), polled as
//     the program polls its sources; prints "portal <processor ms per frame of this process>"
//     over FRAMES frames read into a WIDTH × HEIGHT bitmap.
#include <pipewire/pipewire.h>
#include <poll.h>
#include <signal.h>
#include <spa/param/video/format-utils.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "comsrc/DIBitmap.h"
#include "comsrc/Rect.h"
#include "source/portal/ScreenCapture_Portal.h"
#include "support/PipeWireBuffers_Linux.h"

namespace {

constexpr int kSquare = 64;
std::atomic<bool> stillNow{false};

double processSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

struct Producer {
  int width = 0, height = 0;
  std::string change;
  pw_thread_loop* loop = nullptr;
  pw_stream* stream = nullptr;
  int frame = 0;
  comsrc::Rect lastSquare;

  void setBuffers(uint32_t id, const spa_pod* param) {
    vltest::offerSharedMemoryBuffers(stream, id, param, width, height);
  }

  // One frame: the square moved (its old and new place damaged) or every pixel changed.
  void send() {
    if (change == "still" && stillNow) return;
    pw_buffer* b = pw_stream_dequeue_buffer(stream);
    if (!b) return;
    spa_data& d = b->buffer->datas[0];
    auto* pixels = static_cast<uint8_t*>(d.data);
    ++frame;
    comsrc::Rect area{0, 0, width, height};
    if (change == "square" && pixels) {
      const int x = (frame * 8) % (width - kSquare), y = (frame * 4) % (height - kSquare);
      const comsrc::Rect now{x, y, x + kSquare, y + kSquare};
      area = frame == 1 ? area : comsrc::boundingRect(lastSquare, now);
      for (int row = area.top; row < area.bottom; ++row)
        std::memset(pixels + size_t(row) * width * 4 + size_t(area.left) * 4, frame & 0xff, size_t(area.width()) * 4);
      lastSquare = now;
    } else if (pixels) {
      std::memset(pixels, frame & 0xff, size_t(width) * height * 4);
    }
    d.chunk->offset = 0, d.chunk->stride = width * 4, d.chunk->size = uint32_t(width * height * 4);
    if (spa_meta* meta = spa_buffer_find_meta(b->buffer, SPA_META_VideoDamage)) {
      auto* r = static_cast<spa_meta_region*>(meta->data);
      r[0].region = SPA_REGION(area.left, area.top, uint32_t(area.width()), uint32_t(area.height()));
      r[1].region = SPA_REGION(0, 0, 0, 0);
    }
    pw_stream_queue_buffer(stream, b);
  }
};

int produce(int width, int height, const std::string& format, const std::string& change) {
  signal(SIGUSR1, [](int) { stillNow = true; });
  pw_init(nullptr, nullptr);
  Producer p;
  p.width = width, p.height = height, p.change = change;
  p.loop = pw_thread_loop_new("producer", nullptr);
  pw_thread_loop_lock(p.loop);
  pw_thread_loop_start(p.loop);
  static const pw_stream_events events = [] {
    pw_stream_events e{};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.param_changed = [](void* d, uint32_t id, const spa_pod* param) { static_cast<Producer*>(d)->setBuffers(id, param); };
    e.process = [](void* d) { static_cast<Producer*>(d)->send(); };
    return e;
  }();
  p.stream = pw_stream_new_simple(pw_thread_loop_get_loop(p.loop), "portal-bench-producer",
                                  pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", nullptr), &events, &p);
  uint8_t storage[512];
  spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof storage);
  spa_rectangle size{uint32_t(width), uint32_t(height)};
  spa_fraction rate{30, 1};
  const spa_pod* param = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
      SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
      SPA_POD_Id(format == "RGBx" ? SPA_VIDEO_FORMAT_RGBx : SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size,
      SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
  pw_stream_connect(p.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                    pw_stream_flags(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), &param, 1);
  // The frames are paced by a timer on the stream's own loop.
  spa_source* timer = pw_loop_add_timer(
      pw_thread_loop_get_loop(p.loop), [](void* d, uint64_t) { pw_stream_trigger_process(static_cast<Producer*>(d)->stream); },
      &p);
  timespec period{0, 33'000'000};
  pw_loop_update_timer(pw_thread_loop_get_loop(p.loop), timer, &period, &period, false);
  pw_thread_loop_unlock(p.loop);
  uint32_t node = SPA_ID_INVALID;
  for (int i = 0; i < 200 && node == SPA_ID_INVALID; ++i) {
    pw_thread_loop_lock(p.loop);
    node = pw_stream_get_node_id(p.stream);
    pw_thread_loop_unlock(p.loop);
    if (node == SPA_ID_INVALID) poll(nullptr, 0, 25);
  }
  if (node == SPA_ID_INVALID) return 1;
  std::printf("%u\n", node);
  std::fflush(stdout);
  for (;;) pause();  // ended by SIGTERM
}

bool frameWithin(ScreenCapture& capture, int ms) {
  pollfd p{int(capture.drawingEvents(nullptr)), POLLIN, 0};
  poll(&p, 1, ms);
  return capture.drawing(nullptr) == Drawing::drawn;
}

int readFrames(int width, int height, int frames) {
  std::string why;
  std::unique_ptr<ScreenCapture> capture = makeScreenCapture_Portal(nullptr, nullptr, why);
  if (!capture) {
    std::fprintf(stderr, "no capture: %s\n", why.c_str());
    return 1;
  }
  comsrc::DIBitmap target;
  if (target.createWithDepth(width, height, 32) != 0) return 1;
  // The session, the link and the first frames before the count starts.
  for (int i = 0, tries = 0; i < 10; ++tries) {
    if (capture->lost() || tries == 300) return std::fprintf(stderr, "no first frames\n"), 1;
    if (frameWithin(*capture, 100)) capture->blitFromScreen(target, nullptr, 0, 0), ++i;
  }
  const double c0 = processSeconds();
  for (int i = 0; i < frames;) {
    if (capture->lost()) return std::fprintf(stderr, "lost\n"), 1;
    if (!frameWithin(*capture, 1000)) continue;
    capture->blitFromScreen(target, nullptr, 0, 0);
    comsrc::Rect damage;
    capture->damagedArea(damage);
    ++i;
  }
  std::printf("portal %.3f\n", (processSeconds() - c0) * 1e3 / frames);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "produce" && argc == 6) return produce(std::atoi(argv[2]), std::atoi(argv[3]), argv[4], argv[5]);
  if (mode == "read" && argc == 5) return readFrames(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
  std::fprintf(stderr,
               "usage: %s produce WIDTH HEIGHT BGRx|RGBx square|whole|still\n"
               "       %s read WIDTH HEIGHT FRAMES\n",
               argv[0], argv[0]);
  return 2;
}

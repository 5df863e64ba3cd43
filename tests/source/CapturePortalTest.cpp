// The desktop portal's screen cast against a real PipeWire (with wireplumber) on a private
// session bus: a stand-in portal service answers the ScreenCast calls and hands out the node of
// a producer in this process, which shows a known picture, then moves a square with damage.
#include <gtest/gtest.h>
#include <pipewire/pipewire.h>
#include <poll.h>
#include <signal.h>
#include <spa/param/video/format-utils.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/ChildProcess_POSIX.h"
#include "support/HostTools_POSIX.h"
#include "support/PipeWireBuffers_Linux.h"
#include "support/TempDir.h"
#include "comsrc/DIBitmap.h"
#include "comsrc/Rect.h"
#include "settings/CaptureOptions.h"
#include "settings/ScopedEnv.h"
#include "source/portal/ScreenCapture_Portal.h"

namespace {

constexpr int kWidth = 320, kHeight = 240;
constexpr comsrc::Rect kSquare{100, 80, 140, 120};

// The picture in red, green, blue order; the square is green once shown.
void pixelAt(int x, int y, bool square, uint8_t rgb[3]) {
  const bool in = square && x >= kSquare.left && x < kSquare.right && y >= kSquare.top && y < kSquare.bottom;
  rgb[0] = in ? 0 : uint8_t(x * 255 / (kWidth - 1));
  rgb[1] = in ? 255 : uint8_t(y);
  rgb[2] = in ? 0 : 0x80;
}

// A video source node driving itself: RGBx frames in memfd buffers with damage.
class Producer {
 public:
  Producer() {
    pw_init(nullptr, nullptr);
    loop = pw_thread_loop_new("producer", nullptr);
    pw_thread_loop_lock(loop);
    pw_thread_loop_start(loop);
    static const pw_stream_events events = [] {
      pw_stream_events e{};
      e.version = PW_VERSION_STREAM_EVENTS;
      e.param_changed = [](void* d, uint32_t id, const spa_pod* p) { static_cast<Producer*>(d)->setBuffers(id, p); };
      return e;
    }();
    stream = pw_stream_new_simple(pw_thread_loop_get_loop(loop), "portal-test-producer",
                                  pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", nullptr), &events, this);
    uint8_t storage[512];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof storage);
    spa_rectangle size{kWidth, kHeight};
    spa_fraction rate{0, 1};
    const spa_pod* format = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_Id(SPA_VIDEO_FORMAT_RGBx), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
    pw_stream_connect(stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                      pw_stream_flags(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), &format, 1);
    pw_thread_loop_unlock(loop);
  }
  ~Producer() {
    pw_thread_loop_stop(loop);
    pw_stream_destroy(stream);
    pw_thread_loop_destroy(loop);
  }

  uint32_t node() {
    for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
      pw_thread_loop_lock(loop);
      const uint32_t id = pw_stream_get_node_id(stream);
      pw_thread_loop_unlock(loop);
      if (id != SPA_ID_INVALID) return id;
    }
    return SPA_ID_INVALID;
  }

  // A stride too small for the rows makes the frame one to refuse; a corrupted one is skipped.
  // The damage is the square's, or the whole frame without it, unless `damaged` says otherwise.
  void show(bool withSquare, int32_t rowBytes = kWidth * 4, bool corrupted = false,
            const comsrc::Rect* damaged = nullptr) {
    pw_thread_loop_lock(loop);
    square = withSquare;
    stride = rowBytes;
    fill(corrupted, damaged);  // queued before the cycle that sends it
    pw_stream_trigger_process(stream);
    pw_thread_loop_unlock(loop);
  }

  void setBuffers(uint32_t id, const spa_pod* param) {
    vltest::offerSharedMemoryBuffers(stream, id, param, kWidth, kHeight);
  }

  // Paused, the stream stops streaming, as a cast the portal's side ended without a word.
  void setActive(bool active) {
    pw_thread_loop_lock(loop);
    pw_stream_set_active(stream, active);
    pw_thread_loop_unlock(loop);
  }

 private:
  void fill(bool corrupted, const comsrc::Rect* damaged) {
    pw_buffer* b = pw_stream_dequeue_buffer(stream);
    if (!b) return;
    spa_data& d = b->buffer->datas[0];
    auto* pixels = static_cast<uint8_t*>(d.data);
    for (int y = 0; y < kHeight && pixels; ++y)
      for (int x = 0; x < kWidth; ++x, pixels += 4) pixelAt(x, y, square, pixels), pixels[3] = 0xff;
    d.chunk->offset = 0, d.chunk->stride = stride, d.chunk->size = kWidth * kHeight * 4;
    d.chunk->flags = corrupted ? SPA_CHUNK_FLAG_CORRUPTED : SPA_CHUNK_FLAG_NONE;
    if (spa_meta* meta = spa_buffer_find_meta(b->buffer, SPA_META_VideoDamage)) {
      auto* r = static_cast<spa_meta_region*>(meta->data);
      const comsrc::Rect area = damaged ? *damaged : square ? kSquare : comsrc::Rect{0, 0, kWidth, kHeight};
      r[0].region = SPA_REGION(area.left, area.top, uint32_t(area.width()), uint32_t(area.height()));
      r[1].region = SPA_REGION(0, 0, 0, 0);
    }
    pw_stream_queue_buffer(stream, b);
  }

  pw_thread_loop* loop = nullptr;
  pw_stream* stream = nullptr;
  bool square = false;
  int32_t stride = kWidth * 4;
};

bool waitForFile(const std::string& path, const std::string& text) {
  for (int i = 0; i < 200; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(25)))
    if (vltest::TempDir::readFile(path).find(text) != std::string::npos) return true;
  return false;
}

// The part (16, 8) 200 × 150 of the monitor, compared pixel by pixel.
int wrongPixels(ScreenCapture& capture, bool square) {
  comsrc::DIBitmap target;
  if (target.createWithDepth(200, 150, 32) != 0) return -1;
  capture.blitFromScreen(target, nullptr, 16, 8);
  const uint8_t* pixels = target.lockPixels();
  int wrong = 0;
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x) {
      uint8_t rgb[3];
      pixelAt(x + 16, y + 8, square, rgb);
      const uint8_t* p = pixels + y * target.getStride() + x * 4;
      wrong += p[0] != rgb[2] || p[1] != rgb[1] || p[2] != rgb[0];
    }
  target.unlockPixels();
  return wrong;
}

bool frameWithin(ScreenCapture& capture, int ms) {
  pollfd p{int(capture.drawingEvents(nullptr)), POLLIN, 0};
  poll(&p, 1, ms);
  return capture.drawing(nullptr) == Drawing::drawn;
}

// Shows the picture until the capture has it (a new consumer is linked in its own time, so the
// first frames may go nowhere), then takes the frames still on their way.
bool pictureArrives(ScreenCapture& capture, Producer& producer, bool square) {
  for (int i = 0; i < 50; ++i) {
    producer.show(square);
    if (!frameWithin(capture, 200) || wrongPixels(capture, square) != 0) continue;
    while (frameWithin(capture, 300))
      if (wrongPixels(capture, square) != 0) return false;
    return true;
  }
  return false;
}

bool lostWithin5s(ScreenCapture& capture) {
  for (int i = 0; i < 50 && !capture.lost(); ++i) frameWithin(capture, 100);
  return capture.lost();
}

int countLines(const std::string& text, const std::string& start) {
  int n = 0;
  for (size_t at = text.find(start); at != std::string::npos; at = text.find(start, at + 1)) n += at == 0 || text[at - 1] == '\n';
  return n;
}

TEST(CapturePortal, PictureDamageCloseRestoreAndRefusal) {
  for (const char* program : {"dbus-daemon", "pipewire", "wireplumber"}) VL_SKIP_WITHOUT_PROGRAM(program);
  if (std::system("/usr/bin/python3 -c 'import dbus, dbus.mainloop.glib, gi.repository.GLib' 2>/dev/null") != 0)
    GTEST_SKIP() << "/usr/bin/python3 with D-Bus and GLib bindings is missing";
  const char* sourceDir = std::getenv("VL_SOURCE_DIR");
  ASSERT_TRUE(sourceDir);
  vltest::TempDir dir;
  chmod(dir.path().c_str(), 0700);
  vltest::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path().c_str()), state("XDG_STATE_HOME", dir.path().c_str()),
      config("XDG_CONFIG_HOME", dir.path().c_str()), remote("PIPEWIRE_REMOTE", nullptr);
  vltest::ChildIo busIo;
  busIo.stdoutFile = dir.file("bus-address");
  busIo.quiet = true;
  const pid_t bus = vltest::spawnTied({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, busIo);
  ASSERT_TRUE(waitForFile(busIo.stdoutFile, "\n"));
  std::string address = vltest::TempDir::readFile(busIo.stdoutFile);
  vltest::ScopedEnv busAddress("DBUS_SESSION_BUS_ADDRESS", address.substr(0, address.find('\n')).c_str());
  vltest::ChildIo quiet;
  quiet.quiet = true;
  const pid_t pipewire = vltest::spawnTied({"pipewire"}, quiet);
  for (int i = 0; i < 200 && !vltest::TempDir::exists(dir.file("pipewire-0")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  const pid_t wireplumber = vltest::spawnTied({"wireplumber"}, quiet);
  pid_t service = -1;
  {
    Producer producer;
    const uint32_t node = producer.node();
    ASSERT_NE(node, SPA_ID_INVALID);
    const std::string log = dir.file("portal.log");
    service = vltest::spawnTied({"/usr/bin/python3", std::string(sourceDir) + "/tests/source/portal-service.py",
                                 std::to_string(node), log});
    ASSERT_TRUE(waitForFile(log, "ready\n"));

    std::string why;
    CaptureOptions options;
    bool refused = false;
    std::unique_ptr<ScreenCapture> capture = makeScreenCapture_Portal(&options, &refused, why);
    ASSERT_TRUE(capture) << why;
    ASSERT_TRUE(pictureArrives(*capture, producer, false)) << vltest::TempDir::readFile(log);
    // One frame with the square: its area alone is reported, in the captured part's coordinates.
    producer.show(true);
    ASSERT_TRUE(frameWithin(*capture, 5000));
    EXPECT_EQ(wrongPixels(*capture, true), 0);
    comsrc::Rect damage;
    ASSERT_TRUE(capture->damagedArea(damage));
    EXPECT_EQ(damage, comsrc::offsetRect(kSquare, -16, -8));
    EXPECT_EQ(capture->drawing(nullptr), Drawing::nothing) << "nothing new after the blit";
    EXPECT_NE(vltest::TempDir::readFile(log).find("SelectSources types=1 cursor_mode=1 persist_mode=2 restore_token=-"),
              std::string::npos);
    EXPECT_EQ(options.portalToken, "token-1");
    // The square goes in a buffer handed back unread; the next frame names only a corner as
    // changed, yet the square's place must not stay stale.
    const comsrc::Rect corner{0, 0, 8, 8};
    producer.show(false, kWidth * 4, true);
    // A second cycle started before the first is done would replace its buffer unsent.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    producer.show(false, kWidth * 4, false, &corner);
    ASSERT_TRUE(frameWithin(*capture, 5000));
    int wrong = wrongPixels(*capture, false);
    while (frameWithin(*capture, 300)) wrong = wrongPixels(*capture, false);
    EXPECT_EQ(wrong, 0);

    // The user stops sharing: lost; the next session sends the token and reads the picture.
    kill(service, SIGUSR1);
    EXPECT_TRUE(lostWithin5s(*capture));
    capture = makeScreenCapture_Portal(&options, &refused, why);
    ASSERT_TRUE(capture) << why;
    ASSERT_TRUE(pictureArrives(*capture, producer, true));
    EXPECT_NE(vltest::TempDir::readFile(log).find("restore_token=token-1\n"), std::string::npos);
    EXPECT_EQ(options.portalToken, "token-2");

    // The stream stops streaming and does not come back: lost; the next session restores the
    // permission with the token and streams again.
    producer.setActive(false);
    EXPECT_TRUE(lostWithin5s(*capture));
    producer.setActive(true);
    capture = makeScreenCapture_Portal(&options, &refused, why);
    ASSERT_TRUE(capture) << why;
    ASSERT_TRUE(pictureArrives(*capture, producer, true));
    EXPECT_NE(vltest::TempDir::readFile(log).find("restore_token=token-2\n"), std::string::npos);

    // A frame buffer that cannot hold its rows is refused.
    producer.show(true, kWidth * 4 - 4);
    EXPECT_TRUE(lostWithin5s(*capture));

    // A window chosen in the portal's dialog, under a token of its own; the window closed ends the
    // stream: lost, and the next window session restores it with the window's token.
    for (const char* token : {"-", "token-4"}) {
      capture = makeWindowCapture_Portal(&options, &refused, why);
      ASSERT_TRUE(capture) << why;
      ASSERT_TRUE(pictureArrives(*capture, producer, true));
      EXPECT_NE(vltest::TempDir::readFile(log).find(std::string("SelectSources types=2 cursor_mode=1 persist_mode=2 "
                                                                "restore_token=") + token + "\n"),
                std::string::npos);
      producer.setActive(false);
      EXPECT_TRUE(lostWithin5s(*capture));
      producer.setActive(true);
    }
    EXPECT_EQ(options.portalToken, "token-3");
    EXPECT_EQ(options.portalWindowToken, "token-5");

    // The next session is refused: lost, and no new session asks again.
    kill(service, SIGUSR2);
    ASSERT_TRUE(waitForFile(log, "refusing\n"));
    capture = makeScreenCapture_Portal(&options, &refused, why);
    ASSERT_TRUE(capture) << why;
    EXPECT_TRUE(lostWithin5s(*capture));
    capture.reset();
    EXPECT_TRUE(refused);
    EXPECT_FALSE(makeScreenCapture_Portal(&options, &refused, why));
    EXPECT_EQ(countLines(vltest::TempDir::readFile(log), "CreateSession"), 6);
  }
  for (pid_t child : {service, wireplumber, pipewire, bus}) vltest::endChild(child);
}

}  // namespace

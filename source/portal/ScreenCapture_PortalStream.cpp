#include "source/portal/ScreenCapture_PortalStream.h"

#include <pipewire/pipewire.h>
#include <spa/debug/types.h>
#include <spa/param/video/format-utils.h>
#include <spa/param/video/type-info.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "comsrc/LinuxToolkit_Linux.h"
#include "source/MemoryCapture.h"
#include "comsrc/Trace.h"

namespace {

constexpr uint32_t kDamageRegions = 16;

bool readable(uint32_t format, bool& swapRedBlue) {
  return readableFormat(format, {SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA},
                        {SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA}, swapRedBlue);
}

}  // namespace

PortalStream::PortalStream(PortalFrames& shared, int wakeFd) : frames(shared), wake(wakeFd) {}

PortalStream::~PortalStream() {
  if (stream) pw_stream_destroy(stream);
  if (core) pw_core_disconnect(core);
  if (context) pw_context_destroy(context);
  if (loop) {
    if (entered) pw_loop_leave(loop);
    pw_loop_destroy(loop);
  }
}

bool PortalStream::connect(int fd, uint32_t node, std::string& why) {
  pw_init(nullptr, nullptr);
  loop = pw_loop_new(nullptr);
  context = loop ? pw_context_new(loop, nullptr, 0) : nullptr;
  if (!context) {
    ::close(fd);
    why = "PipeWire could not be set up";
    return false;
  }
  pw_loop_enter(loop);
  entered = true;
  core = pw_context_connect_fd(context, fd, nullptr, 0);
  if (!core) {
    why = "the PipeWire remote could not be reached";
    return false;
  }
  static const pw_core_events coreEvents = [] {
    pw_core_events e{};
    e.version = PW_VERSION_CORE_EVENTS;
    e.error = onCoreError;
    return e;
  }();
  pw_core_add_listener(core, &coreListener, &coreEvents, this);

  // The portal names the node by its id, which goes to pw_stream_connect below. The target
  // object property would be matched against the node's serial or name instead, and serials
  // part from ids once pipewire has reused an id.
  stream = pw_stream_new(core, "vantelink",
                         pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                           PW_KEY_MEDIA_ROLE, "Screen", nullptr));
  if (!stream) {
    why = "no PipeWire stream could be made";
    return false;
  }
  static const pw_stream_events streamEvents = [] {
    pw_stream_events e{};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.state_changed = [](void* data, pw_stream_state old, pw_stream_state state, const char* error) {
      onStateChanged(data, old, state, error);
    };
    e.param_changed = onParamChanged;
    e.process = onProcess;
    return e;
  }();
  pw_stream_add_listener(stream, &streamListener, &streamEvents, this);

  uint8_t storage[1024];
  spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof storage);
  spa_rectangle size{1920, 1080}, minSize{1, 1}, maxSize{kMaxCaptureSide, kMaxCaptureSide};
  spa_fraction rate{0, 1}, minRate{0, 1}, maxRate{1000, 1};
  const spa_pod* formats = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
      SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
      SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                             SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
      SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &minSize, &maxSize), SPA_FORMAT_VIDEO_framerate,
      SPA_POD_CHOICE_RANGE_Fraction(&rate, &minRate, &maxRate)));
  if (pw_stream_connect(stream, PW_DIRECTION_INPUT, node,
                        pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), &formats, 1) < 0) {
    why = "the PipeWire stream could not be connected";
    return false;
  }
  return true;
}

int PortalStream::loopFd() const { return loop ? pw_loop_get_fd(loop) : -1; }

void PortalStream::iterate() {
  if (loop) pw_loop_iterate(loop, 0);
}

void PortalFrames::fail(const std::string& why, int wake) {
  {
    std::lock_guard<std::mutex> hold(lock);
    if (failed) return;
    failed = true;
    failure = why;
  }
  signalWake(wake);
}

void PortalStream::fail(const std::string& why) { frames.fail(why, wake); }

int PortalStream::stallWaitMs() {
  if (leftStreamingAt == 0) return -1;
  const int64_t left = leftStreamingAt + kStallMs - monotonicMs();
  if (left > 0) return int(left);
  fail("the screen cast's stream stopped streaming");
  return -1;
}

void PortalStream::onCoreError(void* data, uint32_t id, int, int res, const char* message) {
  if (id == PW_ID_CORE)
    static_cast<PortalStream*>(data)->fail(std::string("PipeWire went away: ") + (message ? message : std::strerror(-res)));
}

void PortalStream::onStateChanged(void* data, int, int state, const char* error) {
  auto* self = static_cast<PortalStream*>(data);
  if (state == PW_STREAM_STATE_STREAMING) {
    self->streamed = true;
    self->leftStreamingAt = 0;
  } else if (self->streamed && self->leftStreamingAt == 0) {
    self->leftStreamingAt = std::max<int64_t>(monotonicMs(), 1);
  }
  if (state == PW_STREAM_STATE_ERROR)
    self->fail(std::string("the screen cast's stream failed: ") + (error ? error : "no reason given"));
  else if (state == PW_STREAM_STATE_UNCONNECTED && self->streamed)
    self->fail("the screen cast's stream ended");
}

// The format agreed on: one of ours, of a sane size; then buffers in shared memory, and damage.
void PortalStream::onParamChanged(void* data, uint32_t id, const spa_pod* param) {
  auto* self = static_cast<PortalStream*>(data);
  if (id != SPA_PARAM_Format || !param) return;
  uint32_t mediaType = 0, mediaSubtype = 0;
  spa_video_info_raw info{};
  bool swap = false;
  if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
      mediaSubtype != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(param, &info) < 0 ||
      !readable(info.format, swap) || info.size.width < 1 || info.size.height < 1 ||
      info.size.width > uint32_t(kMaxCaptureSide) || info.size.height > uint32_t(kMaxCaptureSide)) {
    char text[160];
    std::snprintf(text, sizeof text, "refused the stream's format %s, %ux%u; expected 32-bit RGB",
                  spa_debug_type_find_short_name(spa_type_video_format, info.format), info.size.width,
                  info.size.height);
    return self->fail(text);
  }
  self->width = int32_t(info.size.width);
  self->height = int32_t(info.size.height);
  {
    std::lock_guard<std::mutex> hold(self->frames.lock);
    self->frames.pixels.assign(size_t(self->width) * self->height * 4, 0);
    self->frames.width = self->width;
    self->frames.height = self->height;
    self->frames.swapRedBlue = swap;
    self->frames.any = self->frames.fresh = false;
  }
  uint8_t storage[1024];
  spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof storage);
  const spa_pod* params[2];
  params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
      SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
  params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoDamage),
      SPA_PARAM_META_size,
      SPA_POD_CHOICE_RANGE_Int(sizeof(spa_meta_region) * kDamageRegions, sizeof(spa_meta_region) * 1,
                               sizeof(spa_meta_region) * kDamageRegions)));
  pw_stream_update_params(self->stream, params, 2);
}

// Every buffer that waits is taken: the newest picture, the damage of all of them. A buffer
// without a picture (a corrupted one, or metadata alone) is handed back at once.
void PortalStream::onProcess(void* data) {
  auto* self = static_cast<PortalStream*>(data);
  pw_buffer* newest = nullptr;
  comsrc::Rect damage;
  bool damageKnown = !self->skipped;
  while (pw_buffer* b = pw_stream_dequeue_buffer(self->stream)) {
    const spa_data* d = b->buffer->n_datas > 0 ? b->buffer->datas : nullptr;
    if (!d || !d->chunk || d->chunk->size == 0 || (d->chunk->flags & SPA_CHUNK_FLAG_CORRUPTED)) {
      // What changed in it is not known to the next frame's damage.
      damageKnown = false;
      self->skipped = true;
      pw_stream_queue_buffer(self->stream, b);
      continue;
    }
    // A frame comes because something changed: damage that names no region is taken as unknown.
    const spa_meta* meta = spa_buffer_find_meta(b->buffer, SPA_META_VideoDamage);
    bool named = false;
    if (meta && damageKnown) {
      spa_meta_region* r;
      spa_meta_for_each(r, meta) {
        if (!spa_meta_region_is_valid(r)) break;
        named = true;
        const int32_t x = std::clamp(r->region.position.x, 0, kMaxCaptureSide);
        const int32_t y = std::clamp(r->region.position.y, 0, kMaxCaptureSide);
        damage = comsrc::boundingRect(damage, comsrc::Rect{x, y, x + int32_t(std::min<uint32_t>(r->region.size.width, kMaxCaptureSide)),
                                                  y + int32_t(std::min<uint32_t>(r->region.size.height, kMaxCaptureSide))});
      }
    }
    damageKnown = damageKnown && named;
    if (newest) pw_stream_queue_buffer(self->stream, newest);
    newest = b;
  }
  if (!newest) return;
  self->skipped = false;
  self->take(*newest->buffer, damage, damageKnown);
  pw_stream_queue_buffer(self->stream, newest);
}

void PortalStream::take(const spa_buffer& buffer, const comsrc::Rect& reported, bool damageKnown) {
  if (width <= 0) return;
  const spa_data& d = buffer.datas[0];
  const size_t rowBytes = size_t(width) * 4;
  const int32_t stride = d.chunk->stride;
  const size_t offset = d.chunk->offset;
  if (!d.data || stride < 0 || size_t(stride) < rowBytes || offset > d.maxsize ||
      d.maxsize - offset < size_t(stride) * (height - 1) + rowBytes) {
    char text[200];
    std::snprintf(text, sizeof text, "refused a %dx%d frame buffer: stride %d, offset %zu, %u bytes, %s", width, height,
                  stride, offset, d.maxsize, d.data ? "mapped" : "not in shared memory");
    return fail(text);
  }
  const auto* from = static_cast<const uint8_t*>(d.data) + offset;
  const comsrc::Rect whole{0, 0, width, height};
  comsrc::Rect damage;
  if (damageKnown) intersectRect(damage, reported, whole);
  {
    std::lock_guard<std::mutex> hold(frames.lock);
    // Unchanged parts are already held, from the frames before.
    const comsrc::Rect copied = frames.any && damageKnown ? damage : whole;
    for (int32_t y = copied.top; y < copied.bottom; ++y)
      std::memcpy(frames.pixels.data() + size_t(y) * rowBytes + size_t(copied.left) * 4,
                  from + size_t(y) * stride + size_t(copied.left) * 4, size_t(copied.width()) * 4);
    frames.damageKnown = (frames.fresh ? frames.damageKnown : true) && frames.any && damageKnown;
    frames.damage = comsrc::boundingRect(frames.fresh ? frames.damage : comsrc::Rect{}, damage);
    frames.any = frames.fresh = true;
    ++frames.count;
  }
  traceFrame("portal frame", frames.count, damageKnown ? &damage : nullptr);
  signalWake(wake);
}

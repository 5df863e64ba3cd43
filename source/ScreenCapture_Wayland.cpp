#include "source/ScreenCapture_Wayland.h"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <utility>

#include "comsrc/DIBitmap.h"
#include "comsrc/Rect.h"
#include "comsrc/LinuxToolkit_Linux.h"
#include "source/MemoryCapture.h"
#include "source/ScreenCopyFrames.h"
#include "comsrc/Trace.h"
#include "source/protocol/wlr-screencopy-unstable-v1-client-protocol.h"
#include "source/protocol/xdg-output-unstable-v1-client-protocol.h"

namespace {

constexpr int kSetupTimeoutMs = 2000;
// The first frame of a new request comes at once (all of it is damage); a capture made just
// before it would show black until the next change.
constexpr int kFirstFrameTimeoutMs = 500;

bool readable(uint32_t format, bool& swapRedBlue) {
  return readableFormat(format, {WL_SHM_FORMAT_XRGB8888, WL_SHM_FORMAT_ARGB8888},
                        {WL_SHM_FORMAT_XBGR8888, WL_SHM_FORMAT_ABGR8888}, swapRedBlue);
}

struct Output {
  wl_output* proxy = nullptr;
  zxdg_output_v1* logical = nullptr;
  uint32_t global = 0;
  std::string name;
  int32_t x = 0, y = 0;           // as wl_output says (wlroots: always 0, 0)
  int32_t width = 0, height = 0;  // the current mode, in the output's own pixels
  int32_t scale = 1;
  int32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
  comsrc::Rect placed;  // in the compositor's layout, as xdg-output says; empty without it
  bool gone = false;

  // Its pixels as shown: turned a quarter, its sides trade places.
  int32_t shownWidth() const { return (transform & 1) ? height : width; }
  int32_t shownHeight() const { return (transform & 1) ? width : height; }
  // Where it lies in the compositor's layout, in the layout's units.
  comsrc::Rect layoutRect() const {
    if (!placed.isEmpty()) return placed;
    const int32_t factor = std::clamp(scale, 1, 16);
    return comsrc::rectAt(x, y, shownWidth() / factor, shownHeight() / factor);
  }
  bool holds(int32_t px, int32_t py) const {
    const comsrc::Rect r = layoutRect();
    return px >= r.left && px < r.right && py >= r.top && py < r.bottom;
  }
};

class ScreenCapture_Wayland : public MemoryCapture {
 public:
  ~ScreenCapture_Wayland() override {
    if (frame) zwlr_screencopy_frame_v1_destroy(frame);
    releaseBuffers();
    for (Output& o : outputs) {
      if (o.logical) zxdg_output_v1_destroy(o.logical);
      if (o.proxy) wl_output_destroy(o.proxy);
    }
    if (layout) zxdg_output_manager_v1_destroy(layout);
    if (manager) zwlr_screencopy_manager_v1_destroy(manager);
    if (shm) wl_shm_destroy(shm);
    if (registry) wl_registry_destroy(registry);
    if (display) wl_display_disconnect(display);
  }

  // Connects and picks the output: the one named, else the one that holds (areaX, areaY); false
  // with the reason in `why`.
  bool connect(const std::string& wanted, int32_t areaX, int32_t areaY, std::string& why, bool& answered) {
    display = wl_display_connect(nullptr);
    if (!display) {
      why = "no Wayland compositor answers";
      return false;
    }
    registry = wl_display_get_registry(display);
    static const wl_registry_listener registryEvents{onGlobal, onGlobalRemove};
    if (!registry || wl_registry_add_listener(registry, &registryEvents, this) != 0) {
      why = "the compositor's registry could not be read";
      return false;
    }
    // The globals, then the outputs' descriptions.
    if (!roundTrip() || !roundTrip()) {
      why = "the compositor did not answer";
      return false;
    }
    answered = true;
    if (!manager) {
      why = "the compositor offers no zwlr_screencopy_manager_v1 (version 2 or later)";
      return false;
    }
    if (!shm) {
      why = "the compositor offers no wl_shm";
      return false;
    }
    followsArea = wanted.empty();
    output = followsArea ? outputHolding(areaX, areaY) : nullptr;
    for (Output& o : outputs)
      if (!output && o.name == wanted) output = &o;
    if (!output) {
      why = wanted.empty() ? "the compositor has no output" : "the compositor has no output named " + wanted;
      return false;
    }
    char text[200];
    std::snprintf(text, sizeof text, "output %s, %dx%d pixels, scale %d", output->name.c_str(), output->width,
                  output->height, output->scale);
    why = text;
    return true;
  }

  // (srcX, srcY) lie in the compositor's layout, and the area is copied from the output that
  // holds them; on a named output they lie on it.
  bool blitFromScreen(comsrc::DIBitmap& target, ScreenContext*, int32_t srcX, int32_t srcY) override {
    if (target.getBitsPerPixel() != 32) return false;
    const comsrc::Rect wanted = comsrc::rectAt(srcX, srcY, target.getWidth(), target.getHeight());
    if (!requestSet || wanted != layoutArea) {
      if (Output* holding = followsArea ? outputHolding(srcX, srcY) : output; holding != output) {
        output = holding;
        trace("screen copy", ("the area moved to output " + output->name).c_str());
      }
      layoutArea = wanted;
      // The output's own pixels from the point of the layout at its top left.
      comsrc::Rect placed = output->layoutRect();
      // A named output takes the area from its own top left, as it always has.
      if (!followsArea) placed = comsrc::offsetRect(placed, -placed.left, -placed.top);
      const auto onOutput = [](int32_t at, int32_t from, int32_t units, int32_t pixels) {
        const int64_t scaled = units > 0 ? (int64_t{at} - from) * pixels / units : 0;
        return int32_t(std::clamp<int64_t>(scaled, -kMaxCaptureSide, kMaxCaptureSide));
      };
      startOver(comsrc::rectAt(onOutput(srcX, placed.left, placed.width(), output->shownWidth()),
                               onOutput(srcY, placed.top, placed.height(), output->shownHeight()), wanted.width(),
                               wanted.height()));
    }
    if (frames.waitForFirst()) {
      const int64_t end = monotonicMs() + kFirstFrameTimeoutMs;
      for (int64_t left = kFirstFrameTimeoutMs; !frames.anyFrame() && !broken && left > 0; left = end - monotonicMs())
        pump(int(left));
    }
    // The held frame, seen through the output's transform; black without one.
    const uint8_t* from = held >= 0 ? slots[held].pixels : nullptr;
    const auto at = [&](int32_t x, int32_t y, ptrdiff_t& step) {
      int32_t bx, by, dx, dy;
      bufferPlace(x, y, bx, by, dx, dy);
      step = ptrdiff_t{dy} * stride + ptrdiff_t{dx} * 4;
      return from + ptrdiff_t{by} * stride + ptrdiff_t{bx} * 4;
    };
    if (!copyFrame(target, area, origin.x, origin.y, from ? shownWidth() : 0, shownHeight(), swapRedBlue, at))
      return false;
    noteDamage(from != nullptr, from ? frames.take() : comsrc::Rect{}, area);
    pump(0);  // the next request goes out at once
    return true;
  }

  Drawing drawing(ScreenContext*) override {
    pump(0);
    return broken ? Drawing::unknown : frames.drawing();
  }

  // Everything that came was read by the last pump, so the socket wakes a wait for the next.
  intptr_t drawingEvents(ScreenContext*) override { return broken ? -1 : wl_display_get_fd(display); }

  bool lost() const override { return broken; }

 private:
  struct Slot {
    wl_buffer* buffer = nullptr;
    uint8_t* pixels = nullptr;
  };

  static void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto* self = static_cast<ScreenCapture_Wayland*>(data);
    if (std::strcmp(interface, wl_shm_interface.name) == 0 && !self->shm) {
      self->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0 && version >= 2 &&
               !self->manager) {
      self->managerVersion = std::min<uint32_t>(version, 3);
      self->manager = static_cast<zwlr_screencopy_manager_v1*>(
          wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, self->managerVersion));
    } else if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= 2) {
      static const wl_output_listener outputEvents{onGeometry, onMode, onOutputDone, onScale, onName, onDescription};
      Output o;
      o.global = name;
      o.proxy = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 4u)));
      if (!o.proxy) return;
      self->outputs.push_back(o);
      wl_output_add_listener(o.proxy, &outputEvents, self);
      self->placeOutputs();
    } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 && !self->layout) {
      self->layout = static_cast<zxdg_output_manager_v1*>(
          wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface, std::min(version, 2u)));
      self->placeOutputs();
    }
  }

  // Asks where each output lies in the layout, once the outputs and the manager are both known.
  void placeOutputs() {
    static const zxdg_output_v1_listener placeEvents{onLogicalPosition, onLogicalSize, onPlaceDone, onPlaceName,
                                                     onPlaceDescription};
    for (Output& o : outputs) {
      if (!layout || o.logical) continue;
      o.logical = zxdg_output_manager_v1_get_xdg_output(layout, o.proxy);
      if (o.logical) zxdg_output_v1_add_listener(o.logical, &placeEvents, this);
    }
  }
  static Output* placedOutput(void* data, zxdg_output_v1* logical) {
    for (Output& o : static_cast<ScreenCapture_Wayland*>(data)->outputs)
      if (o.logical == logical) return &o;
    return nullptr;
  }
  static void onLogicalPosition(void* data, zxdg_output_v1* logical, int32_t x, int32_t y) {
    if (Output* o = placedOutput(data, logical)) o->placed = comsrc::rectAt(x, y, o->placed.width(), o->placed.height());
  }
  static void onLogicalSize(void* data, zxdg_output_v1* logical, int32_t width, int32_t height) {
    const auto side = [](int32_t v) { return std::clamp(v, 0, kMaxCaptureSide); };
    if (Output* o = placedOutput(data, logical))
      o->placed = comsrc::rectAt(o->placed.left, o->placed.top, side(width), side(height));
  }
  static void onPlaceDone(void*, zxdg_output_v1*) {}
  static void onPlaceName(void*, zxdg_output_v1*, const char*) {}
  static void onPlaceDescription(void*, zxdg_output_v1*, const char*) {}

  static void onGlobalRemove(void* data, wl_registry*, uint32_t name) {
    auto* self = static_cast<ScreenCapture_Wayland*>(data);
    for (Output& o : self->outputs)
      if (o.global == name) o.gone = true;
    if (self->output && self->output->global == name) self->fail("the output went away");
  }

  static Output* outputOf(void* data, wl_output* proxy) {
    for (Output& o : static_cast<ScreenCapture_Wayland*>(data)->outputs)
      if (o.proxy == proxy) return &o;
    return nullptr;
  }
  static void onGeometry(void* data, wl_output* proxy, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*,
                         const char*, int32_t transform) {
    if (Output* o = outputOf(data, proxy)) o->x = x, o->y = y, o->transform = transform;
  }
  static void onMode(void* data, wl_output* proxy, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if (Output* o = outputOf(data, proxy); o && (flags & WL_OUTPUT_MODE_CURRENT)) o->width = width, o->height = height;
  }
  static void onOutputDone(void*, wl_output*) {}
  static void onScale(void* data, wl_output* proxy, int32_t factor) {
    if (Output* o = outputOf(data, proxy)) o->scale = factor;
  }
  static void onName(void* data, wl_output* proxy, const char* name) {
    if (Output* o = outputOf(data, proxy)) o->name = name;
  }
  static void onDescription(void*, wl_output*, const char*) {}

  static void onBuffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height,
                       uint32_t stride) {
    auto* self = static_cast<ScreenCapture_Wayland*>(data);
    bool swap = false, chosenSwaps = false;
    // A readable format, one without swapping first; each offer comes with its own size.
    if (readable(format, swap) && (!self->offered || (readable(self->offer.format, chosenSwaps) && chosenSwaps && !swap))) {
      self->offered = true;
      self->offer = {format, width, height, stride};
    } else if (!self->offered) {
      self->offer = {format, width, height, stride};
    }
    if (self->managerVersion < 3) onBufferDone(data, self->frame);
  }
  static void onFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
    static_cast<ScreenCapture_Wayland*>(data)->frameYInvert = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
  }
  static void onReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
    static_cast<ScreenCapture_Wayland*>(data)->frameReady();
  }
  static void onFailed(void* data, zwlr_screencopy_frame_v1*) {
    static_cast<ScreenCapture_Wayland*>(data)->fail("the compositor could not copy the output");
  }
  static void onDamage(void* data, zwlr_screencopy_frame_v1*, uint32_t x, uint32_t y, uint32_t width,
                       uint32_t height) {
    auto* self = static_cast<ScreenCapture_Wayland*>(data);
    const auto clamp = [](uint32_t v) { return int32_t(std::min<uint32_t>(v, kMaxCaptureSide)); };
    self->frameDamage =
        comsrc::boundingRect(self->frameDamage, comsrc::rectAt(clamp(x), clamp(y), clamp(width), clamp(height)));
  }
  static void onDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}
  static void onBufferDone(void* data, zwlr_screencopy_frame_v1*) {
    static_cast<ScreenCapture_Wayland*>(data)->copyOffered();
  }

  // The output that holds the point of the layout, else the one at its origin, else the first.
  Output* outputHolding(int32_t x, int32_t y) {
    Output* found = nullptr;
    for (Output& o : outputs)
      if (!o.gone && (o.holds(x, y) || (!found && o.x == 0 && o.y == 0))) found = &o;
    for (Output& o : outputs)
      if (!found && !o.gone) found = &o;
    return found;
  }

  // Output pixels are requested as a region where they are also the compositor's units.
  bool regionCopy() const { return output->scale == 1 && output->transform == WL_OUTPUT_TRANSFORM_NORMAL; }

  // A new request for another area: what is held belongs to the old one.
  void startOver(const comsrc::Rect& wanted) {
    if (frame) zwlr_screencopy_frame_v1_destroy(frame);
    frame = nullptr;
    frameSlot = -1;
    area = wanted;
    requestSet = true;
    held = -1;
    frames.restart();
    origin = {0, 0};
    copied = comsrc::Rect{};
    if (regionCopy()) intersectRect(copied, area, comsrc::Rect{0, 0, output->width, output->height});
    expectedWidth = output->width, expectedHeight = output->height;
    if (!copied.isEmpty()) origin = {copied.left, copied.top}, expectedWidth = copied.width(), expectedHeight = copied.height();
  }

  void request() {
    static const zwlr_screencopy_frame_v1_listener frameEvents{onBuffer, onFlags, onReady, onFailed,
                                                               onDamage, onDmabuf, onBufferDone};
    frame = copied.isEmpty()
                ? zwlr_screencopy_manager_v1_capture_output(manager, 0, output->proxy)
                : zwlr_screencopy_manager_v1_capture_output_region(manager, 0, output->proxy, copied.left, copied.top,
                                                                    copied.width(), copied.height());
    if (!frame) return fail("no frame could be requested");
    offered = false;
    offer = {};
    frameYInvert = false;
    frameDamage = comsrc::Rect{};
    zwlr_screencopy_frame_v1_add_listener(frame, &frameEvents, this);
  }

  void copyOffered() {
    if (!frame || frameSlot >= 0) return;
    const bool fits = offered && offer.width == uint32_t(expectedWidth) && offer.height == uint32_t(expectedHeight) &&
                      offer.width > 0 && offer.height > 0 && offer.width <= kMaxCaptureSide && offer.height <= kMaxCaptureSide &&
                      offer.stride % 4 == 0 && offer.stride >= offer.width * 4 &&
                      offer.stride <= uint32_t(kMaxCaptureSide) * 4;
    if (!fits) {
      char text[200];
      std::snprintf(text, sizeof text, "refused a %ux%u buffer (stride %u, format 0x%08x); expected %dx%d, 32-bit RGB",
                    offer.width, offer.height, offer.stride, offer.format, expectedWidth, expectedHeight);
      return fail(text);
    }
    if (!buffersFit() && !makeBuffers()) return fail("no shared memory for the frames");
    frameSlot = held == 0 ? 1 : 0;
    zwlr_screencopy_frame_v1_copy_with_damage(frame, slots[frameSlot].buffer);
  }

  void frameReady() {
    zwlr_screencopy_frame_v1_destroy(frame);
    frame = nullptr;
    if (frameSlot < 0) return;
    held = frameSlot;
    frameSlot = -1;
    heldYInvert = frameYInvert;
    // A turned or turned-over frame's damage is not worth turning too.
    const comsrc::Rect drawn = frames.arrived(frameDamage, comsrc::Rect{0, 0, shownWidth(), shownHeight()},
                                              frameYInvert || output->transform != WL_OUTPUT_TRANSFORM_NORMAL);
    ++copies;
    traceFrame("screen copy", copies, &drawn);
  }

  void fail(const char* why) {
    if (!broken) trace("screen copy", why);
    broken = true;
  }

  bool buffersFit() const {
    return slots[0].buffer && format == offer.format && width == offer.width && height == offer.height &&
           stride == offer.stride;
  }

  bool makeBuffers() {
    releaseBuffers();
    const size_t slotBytes = size_t(offer.stride) * offer.height;
    const int fd = memfd_create("vantelink-screen-copy", MFD_CLOEXEC);
    if (fd < 0) return false;
    bool made = false;
    if (ftruncate(fd, off_t(slotBytes * 2)) == 0) {
      void* mapped = mmap(nullptr, slotBytes * 2, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (mapped != MAP_FAILED) {
        mapping = static_cast<uint8_t*>(mapped);
        mappingBytes = slotBytes * 2;
        wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int32_t(slotBytes * 2));
        for (int i = 0; pool && i < 2; ++i) {
          slots[i].pixels = mapping + slotBytes * i;
          slots[i].buffer = wl_shm_pool_create_buffer(pool, int32_t(slotBytes * i), int32_t(offer.width),
                                                      int32_t(offer.height), int32_t(offer.stride), offer.format);
        }
        if (pool) wl_shm_pool_destroy(pool);
        made = slots[0].buffer && slots[1].buffer;
      }
    }
    ::close(fd);
    format = offer.format, width = offer.width, height = offer.height, stride = offer.stride;
    readable(format, swapRedBlue);
    held = -1;
    frames.buffersRemade();
    return made;
  }

  void releaseBuffers() {
    for (Slot& s : slots) {
      if (s.buffer) wl_buffer_destroy(s.buffer);
      s = Slot{};
    }
    if (mapping) munmap(mapping, mappingBytes);
    mapping = nullptr;
    mappingBytes = 0;
  }

  // The frame as the output shows it: turned a quarter, its sides trade places.
  bool quarterTurned() const { return (output->transform & 1) != 0; }
  int32_t shownWidth() const { return int32_t(quarterTurned() ? height : width); }
  int32_t shownHeight() const { return int32_t(quarterTurned() ? width : height); }

  // Where the shown frame's pixel (x, y) lies in the buffer, through the inverse of the output's
  // transform (a flip around the vertical axis, then turns counter-clockwise), and the buffer
  // step from it to (x + 1, y).
  void bufferPlace(int32_t x, int32_t y, int32_t& bx, int32_t& by, int32_t& dx, int32_t& dy) const {
    const int32_t w = shownWidth(), h = shownHeight();
    switch (output->transform) {
      case WL_OUTPUT_TRANSFORM_90: bx = y, by = w - 1 - x, dx = 0, dy = -1; break;
      case WL_OUTPUT_TRANSFORM_180: bx = w - 1 - x, by = h - 1 - y, dx = -1, dy = 0; break;
      case WL_OUTPUT_TRANSFORM_270: bx = h - 1 - y, by = x, dx = 0, dy = 1; break;
      case WL_OUTPUT_TRANSFORM_FLIPPED: bx = w - 1 - x, by = y, dx = -1, dy = 0; break;
      case WL_OUTPUT_TRANSFORM_FLIPPED_90: bx = y, by = x, dx = 0, dy = 1; break;
      case WL_OUTPUT_TRANSFORM_FLIPPED_180: bx = x, by = h - 1 - y, dx = 1, dy = 0; break;
      case WL_OUTPUT_TRANSFORM_FLIPPED_270: bx = h - 1 - y, by = w - 1 - x, dx = 0, dy = -1; break;
      default: bx = x, by = y, dx = 1, dy = 0; break;
    }
    if (heldYInvert) by = int32_t(height) - 1 - by, dy = -dy;
  }

  // Sends what is queued, reads what came within `timeoutMs` and handles it; asks for the next
  // frame when none is on its way. Never waits longer: the window must not.
  void pump(int timeoutMs) {
    if (broken) return;
    if (!frame && requestSet) request();
    if (wl_display_flush(display) < 0 && errno != EAGAIN) return fail("the compositor went away");
    while (wl_display_prepare_read(display) != 0) {
      if (wl_display_dispatch_pending(display) < 0) return fail("the compositor went away");
    }
    pollfd p{wl_display_get_fd(display), POLLIN, 0};
    if (poll(&p, 1, timeoutMs) > 0) {
      if (wl_display_read_events(display) < 0) return fail("the compositor went away");
    } else {
      wl_display_cancel_read(display);
    }
    if (wl_display_dispatch_pending(display) < 0 || wl_display_get_error(display) != 0)
      return fail("the compositor went away");
  }

  bool roundTrip() {
    bool done = false;
    static const wl_callback_listener doneEvents{[](void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback* callback = wl_display_sync(display);
    if (!callback) return false;
    wl_callback_add_listener(callback, &doneEvents, &done);
    const int64_t end = monotonicMs() + kSetupTimeoutMs;
    for (int64_t left = kSetupTimeoutMs; !done && !broken && left > 0; left = end - monotonicMs()) pump(int(left));
    wl_callback_destroy(callback);
    return done && !broken;
  }

  struct Offer {
    uint32_t format = 0, width = 0, height = 0, stride = 0;
  };
  struct Point {
    int32_t x = 0, y = 0;
  };

  wl_display* display = nullptr;
  wl_registry* registry = nullptr;
  wl_shm* shm = nullptr;
  zwlr_screencopy_manager_v1* manager = nullptr;
  uint32_t managerVersion = 0;
  zxdg_output_manager_v1* layout = nullptr;  // where the outputs lie, when offered
  std::deque<Output> outputs;  // grows at the back only: `output` points into it
  Output* output = nullptr;
  bool followsArea = false;  // no output named: the one that holds the area's top left
  bool broken = false;

  // The request: the area the target shows, the part of it copied (empty: the whole output),
  // where the frames' first pixel lies on the output and their size.
  bool requestSet = false;
  comsrc::Rect layoutArea;  // as asked for
  comsrc::Rect area, copied;  // on the output
  Point origin;
  int32_t expectedWidth = 0, expectedHeight = 0;

  // The frame on its way.
  zwlr_screencopy_frame_v1* frame = nullptr;
  bool offered = false;
  Offer offer;
  int frameSlot = -1;
  bool frameYInvert = false;
  comsrc::Rect frameDamage;

  // Two frames in shared memory: the newest one received (held) and the one being filled.
  Slot slots[2];
  uint8_t* mapping = nullptr;
  size_t mappingBytes = 0;
  uint32_t format = 0, width = 0, height = 0, stride = 0;
  bool swapRedBlue = false;
  int held = -1;
  bool heldYInvert = false;
  ScreenCopyFrames frames;
  uint32_t copies = 0;
};

}  // namespace

std::unique_ptr<ScreenCapture> makeScreenCapture_Wayland(const std::string& outputName, int32_t areaX,
                                                         int32_t areaY, std::string& why, bool& answered) {
  std::unique_ptr<ScreenCapture_Wayland> capture(new (std::nothrow) ScreenCapture_Wayland());
  if (!capture) {
    why = "out of memory";
    return nullptr;
  }
  answered = false;
  if (!capture->connect(outputName, areaX, areaY, why, answered)) return nullptr;
  return capture;
}

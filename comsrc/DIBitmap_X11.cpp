#include "comsrc/DIBitmap_X11.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "comsrc/DrawingContext_DIBitmap.h"
#include "comsrc/ScreenContext_X11.h"

namespace comsrc {

namespace {

bool isBgrx(const ScreenContext& s) {
  return s.bitsPerPixel == 32 && s.lsbFirst && s.redMask == 0xFF0000 && s.greenMask == 0xFF00 && s.blueMask == 0xFF;
}

// One colour channel of a pixel value scaled to 8 bits.
uint32_t channel(uint32_t pixel, uint32_t mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const uint64_t max = mask >> shift;
  return uint32_t((((pixel & mask) >> shift) * 255 + max / 2) / max);
}

// The pixel value at byte `p` of a Z-format image of 16, 24 or 32 bits per pixel.
uint32_t pixelAt(const uint8_t* p, int bytes, bool lsbFirst) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * (lsbFirst ? i : bytes - 1 - i));
  return v;
}

}  // namespace

struct DIBitmap_X11::X11 {
  ScreenContext screen;  // a copy: shares the connection
  bool allowShm = true;
  uint8_t* shmaddr = nullptr;
  xcb_shm_seg_t segment = 0;
  bool attached = false;

  ~X11() {
    if (attached && !screen.lost()) {
      xcb_shm_detach(screen.connection.get(), segment);
      xcb_flush(screen.connection.get());
    }
    if (shmaddr) shmdt(shmaddr);
  }

  bool attachShared(int32_t width, int32_t height) {
    xcb_connection_t* c = screen.connection.get();
    if (!allowShm || !screen.shmOffered || screen.depth < 24 || !isBgrx(screen) || screen.lost()) return false;
    const int shmid = shmget(IPC_PRIVATE, size_t(width) * 4 * size_t(height), IPC_CREAT | 0600);
    if (shmid < 0) return false;
    void* at = shmat(shmid, nullptr, 0);
    // Marked for removal at once: it goes when the server and this process have let go.
    shmctl(shmid, IPC_RMID, nullptr);
    if (at == reinterpret_cast<void*>(-1)) return false;
    shmaddr = static_cast<uint8_t*>(at);
    segment = xcb_generate_id(c);
    xcb_generic_error_t* error = xcb_request_check(c, xcb_shm_attach_checked(c, segment, uint32_t(shmid), 0));
    attached = !error && !screen.lost();
    std::free(error);
    return attached;
  }

  // Rows of w pixels one after the other at the start of the segment.
  bool readShared(xcb_drawable_t from, int32_t x, int32_t y, int32_t w, int32_t h) {
    xcb_connection_t* c = screen.connection.get();
    xcb_generic_error_t* error = nullptr;
    xcb_shm_get_image_reply_t* reply = xcb_shm_get_image_reply(
        c, xcb_shm_get_image(c, from, int16_t(x), int16_t(y), uint16_t(w), uint16_t(h), ~0u,
                             XCB_IMAGE_FORMAT_Z_PIXMAP, segment, 0),
        &error);
    const bool ok = reply && !error;
    std::free(reply);
    std::free(error);
    return ok;
  }

  // A Z-format image of (left, top, right, bottom) of the drawable, copied to `pixels`.
  int32_t readPlain(xcb_drawable_t drawable, uint8_t* pixels, int32_t stride, int32_t left, int32_t top, int32_t right,
                    int32_t bottom) {
    const int bytes = screen.bitsPerPixel / 8;
    if (screen.lost() || bytes < 2 || bytes > 4 || screen.bitsPerPixel % 8) return -1;
    xcb_connection_t* c = screen.connection.get();
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, int16_t(left), int16_t(top), uint16_t(right - left),
                         uint16_t(bottom - top), ~0u),
        nullptr);
    if (!image) return -1;
    const uint8_t* data = xcb_get_image_data(image);
    const int length = xcb_get_image_data_length(image);
    const int32_t rows = bottom - top, cols = right - left;
    // Rows are padded as the server's format says; the reply's length tells the stride.
    const int32_t line = rows > 0 ? length / rows : 0;
    if (line < cols * bytes) {
      std::free(image);
      return -1;
    }
    const bool direct = isBgrx(screen);
    for (int32_t row = 0; row < rows; ++row) {
      uint8_t* to = pixels + ptrdiff_t{row} * stride;
      const uint8_t* from = data + ptrdiff_t{row} * line;
      if (direct) {
        std::memcpy(to, from, size_t(cols) * 4);
        continue;
      }
      for (int32_t col = 0; col < cols; ++col) {
        const uint32_t p = pixelAt(from + ptrdiff_t{col} * bytes, bytes, screen.lsbFirst);
        const uint32_t v = channel(p, screen.redMask) << 16 | channel(p, screen.greenMask) << 8 |
                           channel(p, screen.blueMask);
        std::memcpy(to + ptrdiff_t{col} * 4, &v, 4);
      }
    }
    std::free(image);
    return 0;
  }
};

DIBitmap_X11::DIBitmap_X11(ScreenContext* screen, bool allowSharedMemory) : DIBitmap(kBitmapKindDIBX11) {
  if (!screen || !screen->connection) return;
  x.reset(new (std::nothrow) X11);
  if (!x) return;
  x->screen = *screen;
  x->allowShm = allowSharedMemory;
}

DIBitmap_X11::~DIBitmap_X11() {
  context.reset();
  pixels = nullptr;
  x.reset();
}

int32_t DIBitmap_X11::createWithDepth(int32_t width, int32_t height, int32_t bitsPerPixel) {
  PixelFormat standard;
  if (buildStandardFormat(standard, bitsPerPixel) != 0) return -1;
  return createWithFormat(width, height, standard);
}

int32_t DIBitmap_X11::createWithFormat(int32_t width, int32_t height, const PixelFormat& wanted) {
  PixelFormat bgrx;
  buildStandardFormat(bgrx, 32);
  if (pixels || !(wanted == bgrx)) return -1;
  if (width < 1 || height < 1) return -10;
  if (!x) return -1;
  if (int64_t{width} * height > (int64_t{1} << 28)) return -4;
  if (x->attachShared(width, height)) {
    pixels = x->shmaddr;
    stride = width * 4;
    format = bgrx;
    this->width = width;
    this->height = height;
    context.reset(new (std::nothrow) DrawingContext_DIBitmap(this));
    contextLocked = 0;
    pixelsLocked = 0;
    return 0;
  }
  // Ordinary memory; XShm is not offered or the server cannot see this process's memory.
  X11* keep = x.release();
  x.reset(new (std::nothrow) X11);
  if (!x) {
    x.reset(keep);
    return -4;
  }
  x->screen = keep->screen;
  x->allowShm = false;
  delete keep;
  const int32_t result = DIBitmap::createWithFormat(width, height, bgrx);
  if (result == 0) clear();
  return result;
}

int32_t DIBitmap_X11::capture(int32_t left, int32_t top) {
  if (!x) return -1;
  return captureFrom(x->screen.root, Rect{0, 0, x->screen.width, x->screen.height}, left, top);
}

int32_t DIBitmap_X11::captureFrom(uint32_t drawable, const Rect& part, int32_t left, int32_t top) {
  if (!pixels || !x) return -1;
  // What of this bitmap's rectangle the part holds, in the drawable's coordinates.
  const int64_t fromX = int64_t{part.left} + left, fromY = int64_t{part.top} + top;
  const int32_t readLeft = int32_t(std::clamp<int64_t>(fromX, part.left, part.right));
  const int32_t readTop = int32_t(std::clamp<int64_t>(fromY, part.top, part.bottom));
  const int32_t readRight = int32_t(std::clamp<int64_t>(fromX + width, readLeft, part.right));
  const int32_t readBottom = int32_t(std::clamp<int64_t>(fromY + height, readTop, part.bottom));
  const int32_t w = readRight - readLeft, h = readBottom - readTop;
  // Where it lands in this bitmap.
  const Rect into{int32_t(readLeft - fromX), int32_t(readTop - fromY), int32_t(readLeft - fromX) + w,
                  int32_t(readTop - fromY) + h};
  if (w > 0 && h > 0) {
    uint8_t* at = pixels + ptrdiff_t{into.top} * stride + ptrdiff_t{into.left} * 4;
    if (x->attached) {
      if (!x->readShared(drawable, readLeft, readTop, w, h)) return -1;
      // The server packed the rows; from the last one up, each moves to where it belongs
      // without overwriting one still to move.
      if (at != pixels || w != width)
        for (int32_t row = h - 1; row >= 0; --row)
          std::memmove(at + ptrdiff_t{row} * stride, pixels + ptrdiff_t{row} * w * 4, size_t(w) * 4);
    } else if (x->readPlain(drawable, at, stride, readLeft, readTop, readRight, readBottom) != 0) {
      return -1;
    }
  }
  blackOutside(into.isEmpty() ? Rect{} : into);
  return 0;
}

void DIBitmap_X11::blackOutside(const Rect& kept) {
  if (kept == Rect{0, 0, width, height}) return;
  for (int32_t row = 0; row < height; ++row) {
    uint8_t* line = pixels + ptrdiff_t{row} * stride;
    if (row < kept.top || row >= kept.bottom || kept.isEmpty()) {
      std::memset(line, 0, size_t(width) * 4);
      continue;
    }
    std::memset(line, 0, size_t(kept.left) * 4);
    std::memset(line + ptrdiff_t{kept.right} * 4, 0, size_t(width - kept.right) * 4);
  }
}

bool DIBitmap_X11::usesSharedMemory() const { return x && x->attached; }

}  // namespace comsrc

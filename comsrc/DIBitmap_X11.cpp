#include "comsrc/DIBitmap_X11.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "comsrc/DrawingContext_DIBitmap.h"
#include "comsrc/ScreenContext_X11.h"

namespace comsrc {

namespace {

// Xlib's default error handler ends the process; while a request that the server may refuse
// is in flight, errors are noted instead.
int trappedErrors = 0;
int noteError(Display*, XErrorEvent*) {
  ++trappedErrors;
  return 0;
}
class ErrorTrap {
 public:
  ErrorTrap() : previous(XSetErrorHandler(noteError)) { trappedErrors = 0; }
  ~ErrorTrap() { XSetErrorHandler(previous); }
  bool failed() const { return trappedErrors != 0; }

 private:
  int (*previous)(Display*, XErrorEvent*);
};

bool isBgrx(const XImage* image) {
  return image->bits_per_pixel == 32 && image->byte_order == LSBFirst && image->red_mask == 0xFF0000 &&
         image->green_mask == 0xFF00 && image->blue_mask == 0xFF;
}

// One colour channel of a pixel value scaled to 8 bits.
uint32_t channel(unsigned long pixel, unsigned long mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const unsigned long max = mask >> shift;
  return uint32_t((((pixel & mask) >> shift) * 255 + max / 2) / max);
}

}  // namespace

struct DIBitmap_X11::X11 {
  ScreenContext screen;  // a copy: shares the connection
  bool allowShm = true;
  XImage* shmImage = nullptr;
  XShmSegmentInfo segment{};
  bool attached = false;

  ~X11() {
    if (attached) {
      XShmDetach(screen.display.get(), &segment);
      XSync(screen.display.get(), False);
    }
    if (shmImage) {
      shmImage->data = nullptr;
      XDestroyImage(shmImage);
    }
    if (segment.shmaddr && segment.shmaddr != reinterpret_cast<char*>(-1)) shmdt(segment.shmaddr);
  }

  bool attachShared(int32_t width, int32_t height) {
    Display* d = screen.display.get();
    if (!allowShm || !screen.shmOffered || screen.depth < 24) return false;
    shmImage = XShmCreateImage(d, screen.visual, unsigned(screen.depth), ZPixmap, nullptr, &segment, unsigned(width),
                               unsigned(height));
    if (!shmImage) return false;
    if (!isBgrx(shmImage) || shmImage->bytes_per_line != width * 4) return false;
    segment.shmid = shmget(IPC_PRIVATE, size_t(shmImage->bytes_per_line) * size_t(height), IPC_CREAT | 0600);
    if (segment.shmid < 0) return false;
    segment.shmaddr = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
    // Marked for removal at once: it goes when the server and this process have let go.
    shmctl(segment.shmid, IPC_RMID, nullptr);
    if (segment.shmaddr == reinterpret_cast<char*>(-1)) return false;
    segment.readOnly = False;
    shmImage->data = segment.shmaddr;
    ErrorTrap trap;
    const bool ok = XShmAttach(d, &segment) && (XSync(d, False), !trap.failed());
    attached = ok;
    return ok;
  }

  // XGetImage of the part of (x, y, w, h) on the screen, copied into the pixels.
  int32_t readPlain(uint8_t* pixels, int32_t stride, int32_t x, int32_t y, int32_t w, int32_t h) {
    const int32_t left = std::max(x, 0), top = std::max(y, 0);
    const int32_t right = int32_t(std::min<int64_t>(int64_t{x} + w, screen.width));
    const int32_t bottom = int32_t(std::min<int64_t>(int64_t{y} + h, screen.height));
    if (left >= right || top >= bottom) return 0;
    XImage* image;
    {
      ErrorTrap trap;
      image = XGetImage(screen.display.get(), screen.root, left, top, unsigned(right - left), unsigned(bottom - top),
                        AllPlanes, ZPixmap);
    }
    if (!image) return -1;
    const bool direct = isBgrx(image);
    for (int32_t row = 0; row < bottom - top; ++row) {
      uint8_t* to = pixels + ptrdiff_t{top - y + row} * stride + ptrdiff_t{left - x} * 4;
      if (direct) {
        std::memcpy(to, image->data + ptrdiff_t{row} * image->bytes_per_line, size_t(right - left) * 4);
        continue;
      }
      for (int32_t col = 0; col < right - left; ++col) {
        const unsigned long p = XGetPixel(image, col, row);
        const uint32_t v = channel(p, image->red_mask) << 16 | channel(p, image->green_mask) << 8 |
                           channel(p, image->blue_mask);
        std::memcpy(to + ptrdiff_t{col} * 4, &v, 4);
      }
    }
    XDestroyImage(image);
    return 0;
  }
};

DIBitmap_X11::DIBitmap_X11(ScreenContext* screen, bool allowSharedMemory) : DIBitmap(kBitmapKindDIBX11) {
  if (!screen || !screen->display) return;
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
    pixels = reinterpret_cast<uint8_t*>(x->segment.shmaddr);
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
  if (!pixels || !x) return -1;
  const bool inside = left >= 0 && top >= 0 && int64_t{left} + width <= x->screen.width &&
                      int64_t{top} + height <= x->screen.height;
  if (x->attached && inside) {
    ErrorTrap trap;
    const Bool ok = XShmGetImage(x->screen.display.get(), x->screen.root, x->shmImage, left, top, AllPlanes);
    return ok && !trap.failed() ? 0 : -1;
  }
  return x->readPlain(pixels, stride, left, top, width, height);
}

bool DIBitmap_X11::usesSharedMemory() const { return x && x->attached; }

}  // namespace comsrc

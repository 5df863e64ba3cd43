// wayland-painter: a window of the compositor's choosing filled with a known picture and a black
// 96-pixel square; SIGUSR1 moves the square, and with VL_PAINTER_ANIMATE set it moves at every
// frame the compositor shows (for the benchmarks). Prints "shown N" once the compositor has shown
// the N-th picture (N from 1), so that a test knows when to look.
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/source/xdg-shell-client-protocol.h"

namespace {

volatile std::sig_atomic_t moves = 0;

struct Painter {
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  xdg_wm_base* shell = nullptr;
  int32_t width = 0, height = 0;
  bool configured = false;
  bool presented = false;
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  auto* p = static_cast<Painter*>(data);
  if (!std::strcmp(interface, wl_compositor_interface.name))
    p->compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
  else if (!std::strcmp(interface, wl_shm_interface.name))
    p->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  else if (!std::strcmp(interface, xdg_wm_base_interface.name))
    p->shell = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}
void onPing(void*, xdg_wm_base* shell, uint32_t serial) { xdg_wm_base_pong(shell, serial); }
void onSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
  xdg_surface_ack_configure(surface, serial);
  static_cast<Painter*>(data)->configured = true;
}
void onToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
  auto* p = static_cast<Painter*>(data);
  if (width > 0 && height > 0) p->width = width, p->height = height;
}
void onClose(void*, xdg_toplevel*) {}
void onBounds(void*, xdg_toplevel*, int32_t, int32_t) {}
void onCapabilities(void*, xdg_toplevel*, wl_array*) {}
void onFrameDone(void* data, wl_callback* callback, uint32_t) {
  static_cast<Painter*>(data)->presented = true;
  wl_callback_destroy(callback);
}

// Bands of grey ramps, a diagonal pattern and colour fields: enough structure that a wrong
// offset, stride, row order or channel order shows on the panel.
void paint(uint32_t* pixels, int32_t w, int32_t h, int32_t squareX, int32_t squareY) {
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint32_t r = uint32_t(x * 255 / w), g = uint32_t(y * 255 / h), b = ((x / 24 + y / 24) % 2) * 200;
      if (y % 120 < 40) r = g = b = uint32_t((x * 3 + y) % 256);
      const bool inSquare = x >= squareX && x < squareX + 96 && y >= squareY && y < squareY + 96;
      pixels[size_t(y) * w + x] = inSquare ? 0xff000000u : 0xff000000u | r << 16 | g << 8 | b;
    }
}

}  // namespace

int main() {
  std::signal(SIGUSR1, [](int) { moves = moves + 1; });
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return 2;
  Painter p;
  static const wl_registry_listener registryEvents{onGlobal, onGlobalRemove};
  wl_registry_add_listener(wl_display_get_registry(display), &registryEvents, &p);
  wl_display_roundtrip(display);
  if (!p.compositor || !p.shm || !p.shell) return 2;
  static const xdg_wm_base_listener shellEvents{onPing};
  xdg_wm_base_add_listener(p.shell, &shellEvents, &p);
  wl_surface* surface = wl_compositor_create_surface(p.compositor);
  xdg_surface* xsurface = xdg_wm_base_get_xdg_surface(p.shell, surface);
  static const xdg_surface_listener surfaceEvents{onSurfaceConfigure};
  xdg_surface_add_listener(xsurface, &surfaceEvents, &p);
  xdg_toplevel* toplevel = xdg_surface_get_toplevel(xsurface);
  static const xdg_toplevel_listener toplevelEvents{onToplevelConfigure, onClose, onBounds, onCapabilities};
  xdg_toplevel_add_listener(toplevel, &toplevelEvents, &p);
  xdg_toplevel_set_title(toplevel, "painter");
  wl_surface_commit(surface);
  while (!p.configured)
    if (wl_display_dispatch(display) < 0) return 2;
  // The picture keeps the first size the compositor asked for.
  const int32_t width = p.width > 0 ? p.width : 640, height = p.width > 0 ? p.height : 480;

  const size_t bytes = size_t(width) * height * 4;
  const int fd = memfd_create("painter", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, off_t(bytes)) != 0) return 2;
  auto* pixels = static_cast<uint32_t*>(mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  if (pixels == MAP_FAILED) return 2;
  wl_shm_pool* pool = wl_shm_create_pool(p.shm, fd, int32_t(bytes));
  wl_buffer* buffer =
      wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888);

  static const wl_callback_listener frameEvents{onFrameDone};
  const bool animate = std::getenv("VL_PAINTER_ANIMATE") != nullptr;
  int shown = 0;
  int drawnMoves = -1;
  int32_t lastX = 0, lastY = 0;
  for (;;) {
    if (drawnMoves != moves) {
      drawnMoves = moves;
      const int32_t squareX = 100 + (160 * drawnMoves) % 320, squareY = 120 + (40 * drawnMoves) % 240;
      paint(pixels, width, height, squareX, squareY);
      wl_surface_attach(surface, buffer, 0, 0);
      // After the first picture only the square's old and new places change: the compositor's
      // damage then covers them alone.
      if (drawnMoves == 0) {
        wl_surface_damage_buffer(surface, 0, 0, width, height);
      } else {
        wl_surface_damage_buffer(surface, lastX, lastY, 96, 96);
        wl_surface_damage_buffer(surface, squareX, squareY, 96, 96);
      }
      lastX = squareX, lastY = squareY;
      p.presented = false;
      wl_callback_add_listener(wl_surface_frame(surface), &frameEvents, &p);
      wl_surface_commit(surface);
    }
    wl_display_flush(display);
    pollfd pfd{wl_display_get_fd(display), POLLIN, 0};
    if (poll(&pfd, 1, 50) > 0 && wl_display_dispatch(display) < 0) return 0;
    wl_display_dispatch_pending(display);
    if (p.presented && shown <= drawnMoves) {
      shown = drawnMoves + 1;
      if (!animate || shown == 1) {
        std::printf("shown %d\n", shown);
        std::fflush(stdout);
      }
      if (animate) moves = moves + 1;
    }
  }
}

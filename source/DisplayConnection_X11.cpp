#include <xcb/shm.h>

#include <new>

#include "source/DisplayConnection.h"
#include "comsrc/ScreenContext_X11.h"

namespace {

// The channel masks of the root's visual and the pixel size of its depth.
void describePixels(const xcb_setup_t* setup, const xcb_screen_t* s, ScreenContext& dc) {
  for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
    if (f.data->depth == s->root_depth) dc.bitsPerPixel = f.data->bits_per_pixel;
  dc.lsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
  for (auto d = xcb_screen_allowed_depths_iterator(s); d.rem; xcb_depth_next(&d))
    for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
      if (v.data->visual_id == s->root_visual) {
        dc.redMask = v.data->red_mask;
        dc.greenMask = v.data->green_mask;
        dc.blueMask = v.data->blue_mask;
      }
}

ScreenContext* openContext(const char* deviceName) {
  std::string displayName;
  if (deviceName) {
    displayName = deviceName;
    if (const size_t space = displayName.rfind(' '); space != std::string::npos) displayName.erase(0, space + 1);
  }
  int screenNumber = 0;
  std::shared_ptr<xcb_connection_t> c(xcb_connect(deviceName ? displayName.c_str() : nullptr, &screenNumber),
                                      xcb_disconnect);
  if (xcb_connection_has_error(c.get())) return nullptr;
  const xcb_setup_t* setup = xcb_get_setup(c.get());
  auto it = xcb_setup_roots_iterator(setup);
  for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
  if (!it.rem) return nullptr;
  const xcb_screen_t* s = it.data;
  auto* dc = new (std::nothrow) ScreenContext;
  if (!dc) return nullptr;
  dc->connection = c;
  dc->root = s->root;
  dc->width = s->width_in_pixels;
  dc->height = s->height_in_pixels;
  dc->depth = s->root_depth;
  describePixels(setup, s, *dc);
  const xcb_query_extension_reply_t* shm = xcb_get_extension_data(c.get(), &xcb_shm_id);
  dc->shmOffered = shm && shm->present;
  return dc;
}

void releaseContext(ScreenContext* dc) { delete dc; }

constexpr ScreenContextAccess kX11Access{openContext, releaseContext};

}  // namespace

DisplayConnection::DisplayConnection(const char* name) : DisplayConnection(name, &kX11Access) {}

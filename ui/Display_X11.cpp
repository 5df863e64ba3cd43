#include "ui/Display_X11.h"

#include <X11/Xresource.h>
#include <fontconfig/fontconfig.h>

#include <cmath>
#include <cstdlib>

namespace ui::x11 {

namespace {

Connection g_connection;
int g_users = 0;

// Windows draws the face "MS UI Gothic"; here it resolves to an installed Japanese Gothic,
// never to a Latin face without kana.
const char kFontAlias[] = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <alias binding="strong">
    <family>MS UI Gothic</family>
    <prefer>
      <family>IPAPGothic</family>
      <family>IPAGothic</family>
      <family>Noto Sans CJK JP</family>
      <family>VL PGothic</family>
      <family>Takao PGothic</family>
    </prefer>
  </alias>
</fontconfig>
)";

// Xft.dpi as the desktop published it on the server (the resource manager property), 0 if unset.
double resourceDpi(Display* dpy) {
  const char* resources = XResourceManagerString(dpy);
  if (!resources) return 0.0;
  XrmInitialize();
  XrmDatabase db = XrmGetStringDatabase(resources);
  if (!db) return 0.0;
  double dpi = 0.0;
  char* type = nullptr;
  XrmValue value{};
  if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
    dpi = std::strtod(static_cast<const char*>(value.addr), nullptr);
  XrmDestroyDatabase(db);
  return dpi;
}

// The desktop's Xft.dpi; else the screen's own from its size in millimetres, in quarter steps of
// 96 since monitors report their size roughly (a 100-dpi report stays at 96).
int32_t screenDpi(Display* dpy, int screen) {
  if (const double d = resourceDpi(dpy); d > 0.0) return saneDpi(d);
  const int mm = DisplayWidthMM(dpy, screen);
  if (mm <= 0) return 96;
  const double measured = DisplayWidth(dpy, screen) * 25.4 / mm;
  return saneDpi(24.0 * std::round(measured / 24.0));
}

XftFont* openFont(Connection& c, int weight, int32_t percent) {
  FcMatrix narrow;
  FcMatrixInit(&narrow);
  narrow.xx = percent / 100.0;
  if (percent == 100)
    return XftFontOpen(c.dpy, c.screen, XFT_FAMILY, XftTypeString, "MS UI Gothic", XFT_SIZE, XftTypeDouble, 9.0,
                       XFT_DPI, XftTypeDouble, double(c.scale.dpi), XFT_WEIGHT, XftTypeInteger, weight, nullptr);
  return XftFontOpen(c.dpy, c.screen, XFT_FAMILY, XftTypeString, "MS UI Gothic", XFT_SIZE, XftTypeDouble, 9.0,
                     XFT_DPI, XftTypeDouble, double(c.scale.dpi), XFT_WEIGHT, XftTypeInteger, weight, XFT_MATRIX,
                     XftTypeMatrix, &narrow, nullptr);
}

int weightOf(Font font) { return font == Font::bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR; }

bool allocColour(Connection& c, Colour colour) {
  const uint32_t ref = colourRef(colour);
  XRenderColor rc;
  rc.red = static_cast<unsigned short>((ref & 0xFF) * 0x101);
  rc.green = static_cast<unsigned short>(((ref >> 8) & 0xFF) * 0x101);
  rc.blue = static_cast<unsigned short>(((ref >> 16) & 0xFF) * 0x101);
  rc.alpha = 0xFFFF;
  return XftColorAllocValue(c.dpy, c.visual, c.colormap, &rc, &c.colours[static_cast<int>(colour)]);
}

void closeAll() {
  Connection& c = g_connection;
  for (XftFont*& f : c.fonts) {
    if (f) XftFontClose(c.dpy, f);
    f = nullptr;
  }
  for (Connection::Condensed& n : c.condensed)
    if (n.xft) XftFontClose(c.dpy, n.xft);
  for (XftColor& col : c.colours) XftColorFree(c.dpy, c.visual, c.colormap, &col);
  XCloseDisplay(c.dpy);
  c = Connection{};
}

// Xlib's default handler ends the process on any protocol error; a failed request of ours (a
// focus change racing an unmap, say) is not worth that.
int ignoreError(Display*, XErrorEvent*) { return 0; }

std::string patternString(XftFont* f, const char* object) {
  FcChar8* s = nullptr;
  if (!f || FcPatternGetString(f->pattern, object, 0, &s) != FcResultMatch || !s) return {};
  return reinterpret_cast<const char*>(s);
}

}  // namespace

bool installFontAlias() {
  static int installed = -1;
  if (installed < 0) {
    FcConfig* config = FcConfigGetCurrent();
    installed = config && FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(kFontAlias), FcTrue)
                    ? 1
                    : 0;
  }
  return installed == 1;
}

Connection* acquire() {
  if (g_users > 0) {
    ++g_users;
    return &g_connection;
  }
  Connection& c = g_connection;
  c.dpy = XOpenDisplay(nullptr);
  if (!c.dpy) return nullptr;
  XSetErrorHandler(ignoreError);
  c.screen = DefaultScreen(c.dpy);
  c.visual = DefaultVisual(c.dpy, c.screen);
  c.colormap = DefaultColormap(c.dpy, c.screen);
  c.scale.dpi = screenDpi(c.dpy, c.screen);
  c.cellHeight = (9 * c.scale.dpi + 36) / 72;
  c.wmProtocols = XInternAtom(c.dpy, "WM_PROTOCOLS", False);
  c.wmDeleteWindow = XInternAtom(c.dpy, "WM_DELETE_WINDOW", False);
  c.netWmName = XInternAtom(c.dpy, "_NET_WM_NAME", False);
  c.netWmIcon = XInternAtom(c.dpy, "_NET_WM_ICON", False);
  c.netWmWindowType = XInternAtom(c.dpy, "_NET_WM_WINDOW_TYPE", False);
  c.netWmWindowTypeDialog = XInternAtom(c.dpy, "_NET_WM_WINDOW_TYPE_DIALOG", False);
  c.utf8String = XInternAtom(c.dpy, "UTF8_STRING", False);
  installFontAlias();
  c.fonts[0] = openFont(c, weightOf(Font::normal), 100);
  c.fonts[1] = openFont(c, weightOf(Font::bold), 100);
  bool ok = c.fonts[0] && c.fonts[1];
  for (Colour col : {Colour::white, Colour::black, Colour::grey}) ok = allocColour(c, col) && ok;
  if (!ok) {
    closeAll();
    return nullptr;
  }
  g_users = 1;
  return &c;
}

void release() {
  if (g_users > 1) --g_users;
  // The last user keeps the connection: like the fonts, it lives until the process ends. (Closing
  // and reopening a display leaves the rendering extension's per-display state dangling.)
}

Connection* current() { return g_users > 0 ? &g_connection : nullptr; }

unsigned long pixel(const Connection& c, Colour colour) { return c.colours[static_cast<int>(colour)].pixel; }

XftFont* condensedFont(Connection& c, Font font, int32_t percent) {
  if (percent >= 100) return c.fonts[static_cast<int>(font)];
  for (const Connection::Condensed& n : c.condensed)
    if (n.font == font && n.percent == percent) return n.xft;
  XftFont* f = openFont(c, weightOf(font), percent);
  c.condensed.push_back({font, percent, f});
  return f;
}

std::string fontFamily(const Connection& c, Font font) {
  return patternString(c.fonts[static_cast<int>(font)], FC_FAMILY);
}

std::string fontFile(const Connection& c, Font font) { return patternString(c.fonts[static_cast<int>(font)], FC_FILE); }

}  // namespace ui::x11

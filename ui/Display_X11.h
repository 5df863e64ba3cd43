#pragma once

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/DpiScale.h"
#include "ui/Painter.h"

namespace ui::x11 {

// The one connection to the X server that the program's windows share, with the three colours
// and the two fonts. Opened by the first window and kept until the process ends.
struct Connection {
  Display* dpy = nullptr;
  int screen = 0;
  Visual* visual = nullptr;
  Colormap colormap = 0;
  XftColor colours[3]{};  // indexed by ui::Colour
  XftFont* fonts[2]{};    // indexed by ui::Font
  Atom wmProtocols = 0;
  Atom wmDeleteWindow = 0;
  Atom netWmName = 0;
  Atom netWmIcon = 0;
  Atom netWmWindowType = 0;
  Atom netWmWindowTypeDialog = 0;
  Atom utf8String = 0;
  DpiScale scale;            // the desktop's dots per inch: layout and fonts follow it
  int32_t cellHeight = 12;  // text line height: 9 points at that dpi, the Windows font's cell height
  struct Condensed {
    Font font;
    int32_t percent;
    XftFont* xft;
  };
  std::vector<Condensed> condensed;  // narrowed faces, opened on demand and kept like the others
};

Connection* acquire();  // null when the display cannot be opened or the fonts are missing
void release();         // the connection stays open for later windows
Connection* current();  // the open connection or null

unsigned long pixel(const Connection& c, Colour colour);

// The font narrowed to percent of its width (the font itself at 100); null if it cannot open.
XftFont* condensedFont(Connection& c, Font font, int32_t percent);

// Maps the face "MS UI Gothic" to the installed Japanese Gothic, before any font is opened.
bool installFontAlias();

// Family and file of the font that text is drawn with (for checking the font set-up).
std::string fontFamily(const Connection& c, Font font);
std::string fontFile(const Connection& c, Font font);

}  // namespace ui::x11

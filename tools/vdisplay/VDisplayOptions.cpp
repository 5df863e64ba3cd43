#include "tools/vdisplay/VDisplayOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kHelp[] =
    "usage: vantela-vdisplay [--size WxH] [--position X,Y] [--display :N]\n"
    "\n"
    "Adds an external monitor for Vantelink on Linux: starts a virtual X display (Xvfb) whose\n"
    "frame buffer the program maps, and serves the driver's escapes for it on the socket\n"
    "$XDG_RUNTIME_DIR/vantela/vdisplay-N.sock (else /tmp/vantela-<uid>/vdisplay-N.sock).\n"
    "Once the display is ready it prints DISPLAY=:N; run programs there with DISPLAY=:N\n"
    "and switch Vantelink's window to the external monitor. SIGINT or SIGTERM ends it.\n"
    "\n"
    "  --size WxH       size of the display in pixels (default 640x480)\n"
    "  --position X,Y   where the display lies on the desktop, as its adapter reports it\n"
    "                   (default 0,0)\n"
    "  --display :N     the X display number to take (default: the first free one)\n";

bool integer(const char*& p, long low, long high, int32_t& out) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(p, &end, 10);
  if (end == p || errno || v < low || v > high) return false;
  out = int32_t(v);
  p = end;
  return true;
}

// "A<sep>B" with both parts in range and nothing after.
bool pair(const char* text, char sep, long low, long high, int32_t& a, int32_t& b) {
  const char* p = text;
  return integer(p, low, high, a) && *p++ == sep && integer(p, low, high, b) && *p == '\0';
}

}  // namespace

int parseVDisplayOptions(int argc, char** argv, VDisplayOptions& out) {
  auto fail = [](const char* what, const char* arg) {
    std::fprintf(stderr, "vantela-vdisplay: %s%s%s (try --help)\n", what, arg ? ": " : "", arg ? arg : "");
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (!value) {
      return fail("missing value or unknown option", a);
    } else if (!std::strcmp(a, "--size")) {
      if (!pair(value, 'x', 16, 8192, out.width, out.height)) return fail("size must be WxH, 16 to 8192 each", value);
    } else if (!std::strcmp(a, "--position")) {
      if (!pair(value, ',', -100000, 100000, out.x, out.y)) return fail("position must be X,Y", value);
    } else if (!std::strcmp(a, "--display")) {
      const char* p = value + (value[0] == ':');
      if (!integer(p, 0, 65535, out.display) || *p) return fail("display must be :N", value);
    } else {
      return fail("unknown option", a);
    }
    ++i;
  }
  return -1;
}

#include "tools/sim/SimOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kHelp[] =
    "usage: vantela-sim (--port N | --link PATH) [--speed BPS] [--png FILE] [--wire FILE]\n"
    "                   [--log FILE] [--window] [--seconds S] [--away S]\n"
    "\n"
    "Plays a Vantela device on a pseudo-terminal: decodes the 57-byte line records it receives\n"
    "into a 400 x 240 panel (a set bit is bright), skipping bytes that form no record.\n"
    "\n"
    "  --port N      link the terminal as COM N (1-63): the link comN in the ports folder\n"
    "                ($XDG_CONFIG_HOME/vantela/ports, else ~/.config/vantela/ports)\n"
    "  --link PATH   link the terminal at PATH instead (for Wine: $WINEPREFIX/dosdevices/comN)\n"
    "  --speed BPS   read at the pace of BPS bit/s, 10 bits a byte (default 500000;\n"
    "                0 reads as fast as bytes come)\n"
    "  --png FILE    write the panel as PNG at exit and on SIGUSR1\n"
    "  --wire FILE   write every byte received, in order\n"
    "  --log FILE    write a line per decoded record: the time its last byte crossed the line\n"
    "                (CLOCK_MONOTONIC, nanoseconds), its address, its number of bright pixels, and\n"
    "                1 when it changed the panel line it wrote, else 0\n"
    "  --window      show the panel live in an X11 window beside the captured area (the\n"
    "                screen's top left 640 x 480): right of it, under the program's settings\n"
    "                window, or below it; doubled where that fits, else at 1:1, never off the\n"
    "                screen\n"
    "  --seconds S   stop after S seconds (default: run until SIGINT or SIGTERM)\n"
    "  --away S      on SIGUSR2 play an unplugged device: close the terminal, remove the link,\n"
    "                wait S seconds (default 1), then link a new terminal at the same place\n"
    "\n"
    "At exit it prints one line: records R bytes B skipped K.\n";

bool number(const char* text, double low, double high, double& out) {
  if (!text || !*text) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (errno || *end || !(v >= low && v <= high)) return false;
  out = v;
  return true;
}

}  // namespace

int parseSimOptions(int argc, char** argv, SimOptions& out) {
  auto fail = [](const char* what, const char* arg) {
    std::fprintf(stderr, "vantela-sim: %s%s%s (try --help)\n", what, arg ? ": " : "", arg ? arg : "");
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    double v = 0;
    if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (!std::strcmp(a, "--window")) {
      out.window = true;
      continue;
    } else if (!value) {
      return fail("missing value or unknown option", a);
    } else if (!std::strcmp(a, "--port")) {
      if (!number(value, 1, 63, v) || v != static_cast<int>(v)) return fail("port must be 1 to 63", value);
      out.port = static_cast<int32_t>(v);
    } else if (!std::strcmp(a, "--link")) {
      out.link = value;
    } else if (!std::strcmp(a, "--speed")) {
      if (!number(value, 0, 100e6, v) || v != static_cast<int64_t>(v)) return fail("bad speed", value);
      out.speed = static_cast<int64_t>(v);
    } else if (!std::strcmp(a, "--png")) {
      out.png = value;
    } else if (!std::strcmp(a, "--wire")) {
      out.wire = value;
    } else if (!std::strcmp(a, "--log")) {
      out.log = value;
    } else if (!std::strcmp(a, "--seconds")) {
      if (!number(value, 0, 1e7, v)) return fail("bad seconds", value);
      out.seconds = v;
    } else if (!std::strcmp(a, "--away")) {
      if (!number(value, 0, 3600, v)) return fail("bad away time", value);
      out.away = v;
    } else {
      return fail("unknown option", a);
    }
    ++i;
  }
  if ((out.port != 0) == !out.link.empty()) return fail("give one of --port and --link", nullptr);
  return -1;
}

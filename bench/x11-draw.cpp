// x11-draw: draws timed changes on the root window of $DISPLAY for the program-wide figures
// (bench/program-figures.sh, scripts/soak). See usage below.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <unistd.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kUsage[] =
    "usage: x11-draw (--bands | --scroll | --typing | --rows TOP END) [--every MS] [--jitter MS]\n"
    "                [--count N] [--seconds S] [--log FILE] [--window TITLE]\n"
    "\n"
    "Draws on the top left 640 x 480 of the root window of $DISPLAY, after painting it black.\n"
    "  --bands      change i fills the 640 x 24 band i % 10 of the top 240 rows, white in even\n"
    "               rounds of ten and black in odd ones\n"
    "  --scroll     moves grey stripes across the whole 640 x 480 by 4 pixels each change\n"
    "  --typing     change i erases the white 16 x 16 block of change i - 1 and draws one 24 rows\n"
    "               lower (rows 8 to 215, then from the top again) and 40 columns to the right\n"
    "               (columns 248 to 343, which devices placed at 0,0 and 240,0 both show)\n"
    "  --rows TOP END  change i fills rows TOP to END - 1 across the 640 columns, white in even\n"
    "               changes and black in odd ones\n"
    "  --every MS   time between changes (default 40)\n"
    "  --jitter MS  adds (i * 7919) % MS milliseconds before change i, so that changes fall at\n"
    "               every phase of a periodic reader\n"
    "  --count N    stop after N changes; --seconds S: after S seconds (default: until SIGTERM)\n"
    "  --log FILE   a line per change: CLOCK_MONOTONIC nanoseconds just before it was drawn,\n"
    "               then for --bands and --rows its first row, its end row and 1 when white, 0 when black;\n"
    "               for --typing the new block's first row, its end row, 1 and its width\n"
    "  --window TITLE  draws in a 640 x 480 window of that title (class X11draw) instead, whose\n"
    "               right half another window covers; the first change comes 2 s after it is\n"
    "               shown (a mirror looks for it once a second), and it stays until SIGTERM\n";

constexpr int kWidth = 640, kHeight = 480, kBandRows = 24, kBands = 10, kStripe = 16;
constexpr int kBlock = 16, kBlockTop = 8, kBlockStep = 24, kBlockRows = 9, kBlockLeft = 248, kBlockShift = 40,
              kBlockColumns = 3;

volatile sig_atomic_t g_stop = 0;
void onStop(int) { g_stop = 1; }

int64_t monotonicNs() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

void sleepUntil(int64_t ns) {
  struct timespec t{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR && !g_stop) {
  }
}

unsigned long grey(int level) { return static_cast<unsigned long>(level) * 0x010101; }

// Vertical stripes of four greys, one period wider than the screen so that any offset fits.
Pixmap makeStripes(Display* dpy, Window root, GC gc) {
  const int depth = DefaultDepth(dpy, DefaultScreen(dpy));
  Pixmap p = XCreatePixmap(dpy, root, kWidth + 4 * kStripe, kHeight, static_cast<unsigned>(depth));
  static const int kGreys[4] = {0, 90, 170, 255};
  for (int x = 0; x < kWidth + 4 * kStripe; x += kStripe) {
    XSetForeground(dpy, gc, grey(kGreys[(x / kStripe) % 4]));
    XFillRectangle(dpy, p, gc, x, 0, kStripe, kHeight);
  }
  return p;
}

// A mapped 640 x 480 window of that title at (40, 40), its right half under another window.
Window showWindow(Display* dpy, const char* title) {
  const Window root = DefaultRootWindow(dpy);
  const Window w = XCreateSimpleWindow(dpy, root, 40, 40, kWidth, kHeight, 0, 0, 0);
  XStoreName(dpy, w, title);
  XClassHint hint{const_cast<char*>("x11-draw"), const_cast<char*>("X11draw")};
  XSetClassHint(dpy, w, &hint);
  const Window cover = XCreateSimpleWindow(dpy, root, 40 + kWidth / 2, 40, kWidth / 2, kHeight, 0, 0, grey(200));
  XStoreName(dpy, cover, "cover");
  XSelectInput(dpy, w, ExposureMask);
  XMapWindow(dpy, w);
  XMapWindow(dpy, cover);
  XEvent e;
  XWindowEvent(dpy, w, ExposureMask, &e);
  return w;
}

}  // namespace

int main(int argc, char** argv) {
  bool bands = false, scroll = false, typing = false, rows = false;
  int rowsTop = 0, rowsEnd = 0;
  long every = 40, jitter = 0, count = 0;
  double seconds = 0;
  const char* logPath = nullptr;
  const char* title = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!std::strcmp(a, "--bands")) {
      bands = true;
    } else if (!std::strcmp(a, "--scroll")) {
      scroll = true;
    } else if (i + 2 < argc && !std::strcmp(a, "--rows")) {
      rows = true;
      rowsTop = std::atoi(argv[++i]);
      rowsEnd = std::atoi(argv[++i]);
    } else if (!std::strcmp(a, "--typing")) {
      typing = true;
    } else if (v && !std::strcmp(a, "--every")) {
      every = std::atol(argv[++i]);
    } else if (v && !std::strcmp(a, "--jitter")) {
      jitter = std::atol(argv[++i]);
    } else if (v && !std::strcmp(a, "--count")) {
      count = std::atol(argv[++i]);
    } else if (v && !std::strcmp(a, "--seconds")) {
      seconds = std::atof(argv[++i]);
    } else if (v && !std::strcmp(a, "--log")) {
      logPath = argv[++i];
    } else if (v && !std::strcmp(a, "--window")) {
      title = argv[++i];
    } else {
      std::fputs(kUsage, std::strcmp(a, "--help") ? stderr : stdout);
      return std::strcmp(a, "--help") ? 2 : 0;
    }
  }
  if (bands + scroll + typing + rows != 1 || rowsEnd < rowsTop || every < 1 || jitter < 0) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fputs("x11-draw: cannot open the display\n", stderr);
    return 1;
  }
  FILE* log = logPath ? std::fopen(logPath, "w") : nullptr;
  if (logPath && !log) {
    std::fprintf(stderr, "x11-draw: cannot write %s\n", logPath);
    return 1;
  }
  signal(SIGTERM, onStop);
  signal(SIGINT, onStop);

  const Window target = title ? showWindow(dpy, title) : DefaultRootWindow(dpy);
  GC gc = XCreateGC(dpy, target, 0, nullptr);
  XSetSubwindowMode(dpy, gc, ClipByChildren);
  const Pixmap stripes = scroll ? makeStripes(dpy, target, gc) : 0;
  XSetForeground(dpy, gc, grey(0));
  XFillRectangle(dpy, target, gc, 0, 0, kWidth, kHeight);
  XSync(dpy, False);
  if (title) sleepUntil(monotonicNs() + 2000000000);

  const int64_t start = monotonicNs();
  const int64_t end = seconds > 0 ? start + static_cast<int64_t>(seconds * 1e9) : 0;
  int64_t next = start + every * 1000000;
  for (long i = 0; !g_stop && (count == 0 || i < count); ++i) {
    next += (jitter ? (i * 7919) % jitter : 0) * 1000000;
    if (end && next > end) break;
    sleepUntil(next);
    if (g_stop) break;
    const int64_t at = monotonicNs();
    if (bands) {
      const int top = static_cast<int>(i % kBands) * kBandRows;
      const int white = (i / kBands) % 2 == 0;
      XSetForeground(dpy, gc, grey(white ? 255 : 0));
      XFillRectangle(dpy, target, gc, 0, top, kWidth, kBandRows);
      if (log) std::fprintf(log, "%lld %d %d %d\n", static_cast<long long>(at), top, top + kBandRows, white);
    } else if (rows) {
      const int white = i % 2 == 0;
      XSetForeground(dpy, gc, grey(white ? 255 : 0));
      XFillRectangle(dpy, target, gc, 0, rowsTop, kWidth, static_cast<unsigned>(rowsEnd - rowsTop));
      if (log) std::fprintf(log, "%lld %d %d %d\n", static_cast<long long>(at), rowsTop, rowsEnd, white);
    } else if (typing) {
      auto left = [](long k) { return kBlockLeft + static_cast<int>(k % kBlockColumns) * kBlockShift; };
      auto top = [](long k) { return kBlockTop + static_cast<int>(k % kBlockRows) * kBlockStep; };
      if (i > 0) {
        XSetForeground(dpy, gc, grey(0));
        XFillRectangle(dpy, target, gc, left(i - 1), top(i - 1), kBlock, kBlock);
      }
      XSetForeground(dpy, gc, grey(255));
      XFillRectangle(dpy, target, gc, left(i), top(i), kBlock, kBlock);
      if (log) std::fprintf(log, "%lld %d %d 1 %d\n", static_cast<long long>(at), top(i), top(i) + kBlock, kBlock);
    } else {
      XCopyArea(dpy, stripes, target, gc, static_cast<int>((i * 4) % (4 * kStripe)), 0, kWidth, kHeight, 0, 0);
      if (log) std::fprintf(log, "%lld\n", static_cast<long long>(at));
    }
    XSync(dpy, False);
    next += every * 1000000;
  }
  if (log) std::fclose(log);
  while (title && !g_stop) pause();
  if (stripes) XFreePixmap(dpy, stripes);
  XFreeGC(dpy, gc);
  XCloseDisplay(dpy);
  return 0;
}

// screencopy-measure MODE WIDTH HEIGHT FRAMES SERVER-PID: processor time per frame of reading a
// WIDTH × HEIGHT area from (0, 0), printed as "<mode> <client ms> <server ms> <server ms alone>":
// this process's (grim's, for mode grim) and the display server's (from /proc), and the server's
// over as long a time without the reader (its own drawing). Modes: screencopy (the program's
// Wayland capture, each frame waited for; the screen must be changing), x11 (the program's XShm
// capture of $DISPLAY), grim (grim run once per frame, writing PPM to /dev/null).
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "comsrc/DIBitmap.h"
#include "source/DisplayConnection.h"
#include "source/ScreenCapture_Wayland.h"
#include "source/ScreenCapture_X11.h"

namespace {

double processSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double childSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// User and system time of another process, from /proc/PID/stat.
double serverSeconds(long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t end = all.rfind(')');
  if (end == std::string::npos) return 0;
  std::istringstream fields(all.substr(end + 2));
  std::string skip;
  for (int i = 0; i < 11; ++i) fields >> skip;
  double user = 0, system = 0;
  fields >> user >> system;
  return (user + system) / double(sysconf(_SC_CLK_TCK));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s screencopy|x11|grim WIDTH HEIGHT FRAMES SERVER-PID\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  const int w = std::atoi(argv[2]), h = std::atoi(argv[3]), frames = std::atoi(argv[4]);
  const long server = std::atol(argv[5]);
  double client = 0;
  const auto start = std::chrono::steady_clock::now();
  const double server0 = serverSeconds(server);

  if (mode == "grim") {
    const std::string area = "0,0 " + std::to_string(w) + "x" + std::to_string(h);
    const double c0 = childSeconds();
    for (int i = 0; i < frames; ++i) {
      const pid_t child = fork();
      if (child == 0) {
        execlp("grim", "grim", "-t", "ppm", "-g", area.c_str(), "/dev/null", static_cast<char*>(nullptr));
        _exit(127);
      }
      int status = 0;
      waitpid(child, &status, 0);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
    }
    client = childSeconds() - c0;
  } else {
    DisplayConnection display;
    std::unique_ptr<ScreenCapture> capture;
    std::string why;
    bool answered = false;
    if (mode == "x11") {
      if (display.open() != 0) return 1;
      capture = makeScreenCapture_X11(true);
    } else {
      capture = makeScreenCapture_Wayland("", 0, 0, why, answered);
    }
    if (!capture) {
      std::fprintf(stderr, "no capture: %s\n", why.c_str());
      return 1;
    }
    std::unique_ptr<comsrc::DIBitmap> target = capture->createCaptureBitmap(display.screenContext(), w, h);
    if (!target) return 1;
    capture->blitFromScreen(*target, display.screenContext(), 0, 0);  // the connection and first frame
    const double c0 = processSeconds();
    for (int i = 0; i < frames; ++i) {
      if (mode == "screencopy") {
        // Polled as the program polls its sources, until a frame is there.
        while (capture->drawing(display.screenContext()) == Drawing::nothing) {
          if (capture->lost()) return 1;
          usleep(4000);
        }
      }
      capture->blitFromScreen(*target, display.screenContext(), 0, 0);
    }
    client = processSeconds() - c0;
  }
  const double server1 = serverSeconds(server);
  std::this_thread::sleep_for(std::chrono::steady_clock::now() - start);
  const double alone = serverSeconds(server) - server1;
  std::printf("%s %.3f %.3f %.3f\n", mode.c_str(), client * 1e3 / frames, (server1 - server0) * 1e3 / frames,
              alone * 1e3 / frames);
  return 0;
}

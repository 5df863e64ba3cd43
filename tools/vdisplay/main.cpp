// vantela-vdisplay: the external monitor on Linux. A virtual X display whose frame buffer the
// program maps, and the driver's escapes for it on a Unix socket. See --help.
#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "source/VDisplaySocket_POSIX.h"
#include "tools/vdisplay/DamageWatcher_X11.h"
#include "tools/vdisplay/FrameFile.h"
#include "tools/vdisplay/VDisplayOptions.h"
#include "tools/vdisplay/VDisplayServer.h"
#include "tools/vdisplay/XvfbProcess.h"

namespace {

constexpr char kFrameFile[] = "Xvfb_screen0";  // the name Xvfb gives screen 0's frame buffer

// Removed at every exit, also when Xlib ends the process because the display went away.
std::string frameFolder, framePath, socketPathToRemove;

void removeFiles() {
  if (!socketPathToRemove.empty()) unlink(socketPathToRemove.c_str());
  if (!framePath.empty()) unlink(framePath.c_str());
  if (!frameFolder.empty()) rmdir(frameFolder.c_str());
}

// Frame-buffer folders of stand-ins that were killed outright, named after their process.
void removeFramesOfTheGone(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* e = readdir(dir)) {
    char* end = nullptr;
    if (std::strncmp(e->d_name, "frame-", 6) != 0) continue;
    const long pid = std::strtol(e->d_name + 6, &end, 10);
    if (end == e->d_name + 6 || *end || pid <= 0 || kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
    const std::string gone = folder + "/" + e->d_name;
    unlink((gone + "/" + kFrameFile).c_str());
    rmdir(gone.c_str());
  }
  closedir(dir);
}

int refuse(const std::string& why) {
  std::fprintf(stderr, "vantela-vdisplay: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  VDisplayOptions options;
  const int status = parseVDisplayOptions(argc, argv, options);
  if (status >= 0) return status;

  const std::string folder = vdisplay::socketFolder(true);
  if (folder.empty()) return refuse("no private folder for the socket ($XDG_RUNTIME_DIR/vantela or /tmp/vantela-<uid>)");
  removeFramesOfTheGone(folder);
  frameFolder = folder + "/frame-" + std::to_string(getpid());
  framePath = frameFolder + "/" + kFrameFile;
  unlink(framePath.c_str());
  if (mkdir(frameFolder.c_str(), 0700) != 0 && errno != EEXIST)
    return refuse("cannot make a folder for the frame buffer in " + folder);
  std::atexit(removeFiles);

  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGCHLD}) sigaddset(&signals, s);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);

  XvfbProcess xvfb;
  std::string error = xvfb.start(options.display, options.width, options.height, frameFolder);
  if (!error.empty()) return refuse(error);
  const std::string displayName = ":" + std::to_string(xvfb.number());

  FrameFile frame;
  error = openFrameFile(framePath, options.width, options.height, frame);
  if (!error.empty()) return refuse(error);

  DamageWatcher watcher;
  error = watcher.open(displayName);
  if (!error.empty()) return refuse(error);

  VDisplayIdentity identity;
  identity.description = "Vantela stand-in display " + displayName;
  identity.x = options.x, identity.y = options.y, identity.width = options.width, identity.height = options.height;
  identity.frameFd = frame.fd;
  identity.pixelOffset = frame.pixelOffset;
  {
    VDisplayServer server(identity);
    const std::string path = vdisplay::socketPath(folder, xvfb.number());
    error = server.listen(path);
    if (!error.empty()) return refuse(error);
    socketPathToRemove = path;
    std::printf("DISPLAY=%s\n", displayName.c_str());
    std::fflush(stdout);

    std::vector<pollfd> fds;
    for (bool running = true; running;) {
      watcher.drain([&](const comsrc::Rect& r) { server.drawn(r); });
      fds.assign({pollfd{signalFd, POLLIN, 0}, pollfd{watcher.fd(), POLLIN, 0}});
      server.pollFds(fds);
      if (poll(fds.data(), fds.size(), -1) < 0) continue;
      if (fds[0].revents & POLLIN) {
        signalfd_siginfo info;
        while (read(signalFd, &info, sizeof info) == ssize_t(sizeof info))
          if (info.ssi_signo != SIGCHLD) running = false;
        if (xvfb.ended()) {
          std::fprintf(stderr, "vantela-vdisplay: Xvfb on %s ended\n", displayName.c_str());
          running = false;
        }
      }
      // What was drawn before a request is in the records that request sees.
      if (fds[1].revents & POLLIN) watcher.drain([&](const comsrc::Rect& r) { server.drawn(r); });
      server.handle(fds.data() + 2, fds.size() - 2);
    }
  }
  socketPathToRemove.clear();
  watcher.close();
  xvfb.stop();
  close(frame.fd);
  removeFiles();
  return 0;
}

#include "tools/sim/SimTerminal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

bool SimTerminal::plug(std::string& error) {
  unplug();
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    unplug();
    return false;
  }
  char name[PATH_MAX];
  if (ptsname_r(master_, name, sizeof name) != 0) {
    error = "cannot name the pseudo-terminal";
    unplug();
    return false;
  }
  slavePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) {
    error = "cannot open " + slavePath_ + ": " + std::strerror(errno);
    unplug();
    return false;
  }
  // Raw from the start, so that no byte is translated whoever writes.
  struct termios tio;
  if (tcgetattr(slave_, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  // The link appears at once, complete: made under a temporary name and renamed into place.
  const std::string temp = linkPath_ + ".new";
  ::unlink(temp.c_str());
  if (::symlink(name, temp.c_str()) != 0 || ::rename(temp.c_str(), linkPath_.c_str()) != 0) {
    error = "cannot link " + linkPath_ + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    unplug();
    return false;
  }
  return true;
}

void SimTerminal::unplug() {
  if (!slavePath_.empty()) {
    // Remove the link only while it is still ours.
    char target[PATH_MAX];
    const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n > 0) {
      target[n] = 0;
      if (slavePath_ == target) ::unlink(linkPath_.c_str());
    }
  }
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
  slave_ = master_ = -1;
  slavePath_.clear();
}

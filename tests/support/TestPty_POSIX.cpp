#include "support/TestPty_POSIX.h"

#include <stdlib.h>
#include <termios.h>

namespace vltest {

int openRawTerminal(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio;
  if (fd >= 0 && tcgetattr(fd, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
  }
  return fd;
}

TestPty::TestPty() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) || unlockpt(master_)) return;
  char name[256];
  if (ptsname_r(master_, name, sizeof name)) return;
  path_ = name;
  slave_ = openRawTerminal(path_);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

}  // namespace vltest

#include "TestPty_POSIX.h"

#include <stdlib.h>
#include <termios.h>

namespace vltest {

TestPty::TestPty() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) || unlockpt(master_)) return;
  char name[256];
  if (ptsname_r(master_, name, sizeof name)) return;
  path_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio;
  if (slave_ >= 0 && tcgetattr(slave_, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

}  // namespace vltest

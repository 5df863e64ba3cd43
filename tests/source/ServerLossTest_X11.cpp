// X servers that go away under the program: during discovery and under a capture. Neither may
// end the program, and a lost connection is closed without being used again.
#include <gtest/gtest.h>
// (keep)
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "SourceFakes.h"
#include "XServer_X11.h"
#include "source/DevMed_HDC.h"
#include "source/DisplayPlatform.h"
#include "source/HDCAcquirer.h"
#include "source/ScreenCapture_X11.h"
#include "support/HostTools_POSIX.h"
#include "support/TempDir.h"

using comsrc::Rect;
using namespace std::chrono_literals;

namespace {

int openSockets() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  while (dirent* e = d ? readdir(d) : nullptr) {
    struct stat st;
    n += fstatat(dirfd(d), e->d_name, &st, 0) == 0 && S_ISSOCK(st.st_mode);
  }
  if (d) closedir(d);
  return n;
}

// In a child process, discovery asks the server over and over while it is stopped; the loss
// lands inside one of the short-lived connections (Xlib's default would end the process there
// with 1). The child ends 0 once the screen is no longer found.
TEST(ServerLossX11, DiscoveryThatLosesItsServerFindsNoDisplayAndTheProgramGoesOn) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  vltest::TempDir noStandIns;
  for (int round = 0; round < 3; ++round) {
    auto x = std::make_unique<vltest::XServer>("320x240x24");
    ASSERT_TRUE(x->ok());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      setenv("DISPLAY", x->name().c_str(), 1);
      setenv("XDG_RUNTIME_DIR", noStandIns.path().c_str(), 1);
      DisplayPlatform& platform = systemDisplayPlatform();
      DisplayAdapter adapter;
      for (int i = 0; i < 200000; ++i)
        if (!platform.adapter(0, adapter)) _exit(platform.virtualScreenWidth() == 0 ? 0 : 3);
      _exit(2);
    }
    std::this_thread::sleep_for(100ms);
    x.reset();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "round " << round;
    ASSERT_EQ(WEXITSTATUS(status), 0) << "round " << round << " (1: the loss ended the process)";
  }
}

// The server of a captured display goes away between two frames: the next frame fails without
// hanging, and closing the connection leaves no socket behind.
TEST(ServerLossX11, CaptureWhoseServerGoesAwayFailsItsFramesAndClosesItsConnection) {
  VL_SKIP_WITHOUT_PROGRAM("Xvfb");
  for (bool shm : {true, false}) {
    const int before = openSockets();
    auto x = std::make_unique<vltest::XServer>("320x240x24");
    ASSERT_TRUE(x->ok());
    HDCAcquirer acquirer(x->name().c_str());
    ASSERT_EQ(acquirer.open(), 0);
    vltest::FakeCounter counter;
    vltest::RecordingList list;
    {
      DevMed_HDC source(acquirer, list, Rect{0, 0, 320, 240}, makeScreenCapture_X11(shm), counter);
      ASSERT_EQ(source.refresh(), 1);
      x.reset();
      for (int frame = 0; frame < 3; ++frame) {
        counter.advanceMs(40);
        source.refresh();
      }
    }
    EXPECT_EQ(acquirer.close(), 0);
    EXPECT_EQ(acquirer.open(), -1);
    EXPECT_EQ(openSockets(), before) << (shm ? "shared memory" : "plain");
  }
}

}  // namespace
